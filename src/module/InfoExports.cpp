// The two plain exports the host asks first: the module's name and device
// count, and one device of the catalogue. A wrong size or a null record is
// refused without writing; a bad index fails after clearing the record.
#include <windows.h>

#include <cstring>

#include "module/DeviceCatalogue.h"
#include "module/InfoRecords.h"

namespace {

void CopyText(char* field, std::string_view text) {
    std::memcpy(field, text.data(), text.size());
}

}  // namespace

extern "C" int32_t WINAPI GetModuleInfo(ModuleInfo* record, uint32_t size) {
    if (record == nullptr || size != sizeof(ModuleInfo)) return 0;
    std::memset(record, 0, sizeof(ModuleInfo));
    record->hostFlag = kModuleHostFlag;
    CopyText(record->moduleName, kModuleName);
    record->deviceCount = static_cast<uint32_t>(kDeviceCount);
    return 1;
}

extern "C" int32_t WINAPI GetDeviceInfo(int32_t index, DeviceInfo* record, uint32_t size) {
    if (record == nullptr || size != sizeof(DeviceInfo)) return 0;
    std::memset(record, 0, sizeof(DeviceInfo));
    if (index < 0 || static_cast<size_t>(index) >= kDeviceCount) return 0;
    const DeviceEntry& device = kDeviceCatalogue[index];
    CopyText(record->deviceName, device.name);
    CopyText(record->deviceId, device.id);
    std::memcpy(record->hostValues, kDeviceHostValues, sizeof(record->hostValues));
    return 1;
}
