#include "driver/ModuleSettings.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace {

// Empty when the variable is not set.
std::string EnvironmentValue(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name, value.data(), size));
    return value;
}

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

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}

}  // namespace

// A file named in the environment must be there: a misspelt name would
// otherwise silently give the defaults. The file beside the module is
// optional.
std::string LoadModuleSettings(modbus::SettingsFile& settings) {
    settings = modbus::SettingsFile();
    const std::string named = EnvironmentValue(modbus::kSettingsFileVariable);
    const std::string path = named.empty() ? ModuleFolder() + modbus::kSettingsFileName : named;
    std::string text;
    if (ReadWholeFile(path, text)) {
        std::string reason = settings.Load(text, path);
        if (!reason.empty()) return reason;
    } else if (!named.empty()) {
        return path + ": cannot be read (named by " + modbus::kSettingsFileVariable + ")";
    }
    std::string reason = modbus::OverrideAll(settings, EnvironmentValue(modbus::kSettingOverridesVariable));
    if (!reason.empty()) settings = modbus::SettingsFile();
    return reason;
}
