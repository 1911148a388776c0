#include "driver/ModuleSettings.h"

#include <windows.h>

#include "driver/Environment.h"

namespace {

// The folder of the module this code is in, with its last separator.
std::string ModuleFolder() {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&LoadModuleSettings), &module)) return {};
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return {};
    const std::string full(path, length);
    return full.substr(0, full.find_last_of("\\/") + 1);
}

}  // namespace

std::string LoadModuleSettings(modbus::SettingsFile& settings) {
    bool fileFound = false;
    return modbus::LoadSettings({EnvironmentValue(modbus::kSettingsFileVariable), ModuleFolder(),
                                 EnvironmentValue(modbus::kSettingOverridesVariable)},
                                settings, fileFound);
}
