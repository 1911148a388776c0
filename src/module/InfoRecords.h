#pragma once
// The records the host hands to GetModuleInfo and GetDeviceInfo. Binding
// layouts: the host allocates them and reads the fields at these offsets.
#include <cstddef>
#include <cstdint>

struct ModuleInfo {
    uint32_t hostFlag;  // written as 1; only the host gives it a meaning
    char moduleName[128];
    uint32_t deviceCount;
    uint8_t reserved[8];
};
static_assert(offsetof(ModuleInfo, hostFlag) == 0, "ModuleInfo.hostFlag");
static_assert(offsetof(ModuleInfo, moduleName) == 4, "ModuleInfo.moduleName");
static_assert(offsetof(ModuleInfo, deviceCount) == 132, "ModuleInfo.deviceCount");
static_assert(offsetof(ModuleInfo, reserved) == 136, "ModuleInfo.reserved");
static_assert(sizeof(ModuleInfo) == 144, "ModuleInfo size");

struct DeviceInfo {
    char deviceName[128];
    char deviceId[40];  // 36 characters, upper case, no braces
    int32_t hostValues[4];  // the same for every device; only the host gives them a meaning
    uint8_t reserved[8];
};
static_assert(offsetof(DeviceInfo, deviceName) == 0, "DeviceInfo.deviceName");
static_assert(offsetof(DeviceInfo, deviceId) == 128, "DeviceInfo.deviceId");
static_assert(offsetof(DeviceInfo, hostValues) == 168, "DeviceInfo.hostValues");
static_assert(offsetof(DeviceInfo, reserved) == 184, "DeviceInfo.reserved");
static_assert(sizeof(DeviceInfo) == 192, "DeviceInfo size");
