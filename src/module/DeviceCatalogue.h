#pragma once
// What the module tells the host about itself: its name and its devices,
// all of them served by the one Modbus RTU driver class.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "module/InfoRecords.h"

struct DeviceEntry {
    std::string_view name;
    std::string_view id;
};

inline constexpr std::string_view kModuleName = "Toledo";
inline constexpr uint32_t kModuleHostFlag = 1;

inline constexpr DeviceEntry kDeviceCatalogue[] = {
    {"8140", "9BCC0222-6655-11D6-AAE4-00E04C3FA026"},
    {"PUMA", "4E71E4A2-158C-11D6-970F-0000E890D27A"},
    {"Panther", "1B19FBA7-B99D-11D6-8AE2-0000E890DF69"},
};
inline constexpr size_t kDeviceCount = sizeof(kDeviceCatalogue) / sizeof(kDeviceCatalogue[0]);

inline constexpr int32_t kDeviceHostValues[4] = {-1, 0x40, 0xFF33, 0x8412};

// Every text must leave room for its terminator in the record.
constexpr bool CatalogueFitsRecords() {
    if (kModuleName.size() >= sizeof(ModuleInfo::moduleName)) return false;
    for (const DeviceEntry& device : kDeviceCatalogue) {
        if (device.name.size() >= sizeof(DeviceInfo::deviceName)) return false;
        if (device.id.size() >= sizeof(DeviceInfo::deviceId)) return false;
    }
    return true;
}
static_assert(CatalogueFitsRecords(), "a catalogue text does not fit its record field");
