#include "korvel-poll/reports/InfoReport.h"

#include <string>

#include "korvel-poll/host/DataTypes.h"

namespace {

// A module that reports more devices than this is broken; its count is not
// worth a long loop.
constexpr uint32_t kMostDevices = 64;

std::string FixedText(const char* field, size_t width) {
    size_t length = 0;
    while (length < width && field[length] != '\0') ++length;
    return std::string(field, length);
}

const char* AccessText(uint32_t access) {
    static const char* const kAccess[] = {"none", "read", "write", "read/write"};
    return kAccess[access & 3];
}

std::string TypeMaskText(uint32_t mask) {
    std::string types;
    for (int bit = 0; bit < 16; ++bit) {
        int16_t code = static_cast<int16_t>(1 << bit);
        if ((mask & code) == 0) continue;
        types += (types.empty() ? "" : ", ") + std::string(DataTypeText(code));
    }
    return types;
}

void PrintDevices(const DriverHost& host, uint32_t count, std::ostream& out) {
    for (uint32_t index = 0; index < count; ++index) {
        DeviceInfo device{};
        if (!host.GetDeviceInfo(static_cast<int32_t>(index), device)) {
            out << "  device " << index << ": GetDeviceInfo failed\n";
            continue;
        }
        std::string name = FixedText(device.deviceName, sizeof device.deviceName);
        out << "  device " << index << "  " << name << std::string(name.size() < 10 ? 10 - name.size() : 1, ' ')
            << FixedText(device.deviceId, sizeof device.deviceId) << '\n';
    }
}

void PrintAreas(IDeviceDriver& driver, std::ostream& out) {
    AreaDescriptor* areas = nullptr;
    int16_t count = 0;
    driver.GetAreaTable(&areas, &count);
    out << "areas: " << count << '\n';
    for (int16_t i = 0; areas != nullptr && i < count; ++i) {
        const AreaDescriptor& area = areas[i];
        std::string access = AccessText(area.access);
        out << "  " << i << "  " << FixedText(area.name, sizeof area.name) << "  " << access
            << std::string(12 - access.size(), ' ') << TypeMaskText(area.typeMask1) << '\n';
    }
}

}  // namespace

void PrintModuleInfo(const DriverHost& host, std::ostream& out) {
    ModuleInfo module{};
    out << "module: " << host.Path() << '\n';
    if (!host.GetModuleInfo(module)) {
        out << "  GetModuleInfo failed\n";
        return;
    }
    out << "  name " << FixedText(module.moduleName, sizeof module.moduleName) << ", " << module.deviceCount
        << " devices\n";
    PrintDevices(host, module.deviceCount < kMostDevices ? module.deviceCount : kMostDevices, out);
    PrintAreas(host.Driver(), out);
}
