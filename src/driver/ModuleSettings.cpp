#include "driver/ModuleSettings.h"

#include <optional>

#include "driver/Environment.h"
#include "driver/FileText.h"

namespace {

// The longest path Windows knows, in characters.
constexpr size_t kLongestPath = 32768;

std::string Utf8Of(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// Empty when the module's path cannot be had. The buffer grows until the
// whole path fits: a truncated path fills it.
std::wstring ModuleFileName(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    while (path.size() <= kLongestPath) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
    return {};
}

// The file KORVEL_CONFIG names, else Korvel.ini in the folder of module;
// empty when that folder cannot be found.
std::wstring SettingsFilePath(HMODULE module, bool& named) {
    std::wstring path = WideEnvironmentValue(modbus::kSettingsFileVariable);
    named = !path.empty();
    if (named) return path;
    const std::wstring modulePath = module != nullptr ? ModuleFileName(module) : std::wstring();
    if (modulePath.empty()) return {};
    const std::string name = modbus::kSettingsFileName;
    return modulePath.substr(0, modulePath.find_last_of(L"\\/") + 1) + std::wstring(name.begin(), name.end());
}

HMODULE ModuleOfThisCode() {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    const auto address = reinterpret_cast<LPCWSTR>(&ModuleOfThisCode);
    return GetModuleHandleExW(flags, address, &module) ? module : nullptr;
}

// A file KORVEL_CONFIG names must be there; Korvel.ini may be missing.
std::string ReadSettingsFile(const std::wstring& path, const std::string& shownPath, bool named,
                             std::optional<std::string>& text) {
    std::string content;
    std::string reason;
    const FileRead read = ReadRegularFile(path, kMaxSettingsFileBytes, content, reason);
    if (read == FileRead::kRead) text = std::move(content);
    if (read == FileRead::kMissing && named) reason = "cannot be read: there is no such file";
    if (reason.empty()) return {};
    return shownPath + ": " + reason + (named ? std::string(" (named by ") + modbus::kSettingsFileVariable + ")" : "");
}

}  // namespace

std::string LoadModuleSettings(HMODULE module, modbus::SettingsFile& settings, SettingsLookup& lookup) {
    const std::wstring path = SettingsFilePath(module, lookup.named);
    if (path.empty()) {
        return "the folder of the driver module cannot be found (Windows error " + std::to_string(GetLastError()) +
               ")";
    }
    lookup.path = Utf8Of(path);
    std::optional<std::string> text;
    if (std::string reason = ReadSettingsFile(path, lookup.path, lookup.named, text); !reason.empty()) return reason;
    lookup.found = text.has_value();
    return modbus::LoadSettings(text, lookup.path, EnvironmentValue(modbus::kSettingOverridesVariable), settings);
}

std::string LoadModuleSettings(modbus::SettingsFile& settings) {
    SettingsLookup lookup;
    return LoadModuleSettings(ModuleOfThisCode(), settings, lookup);
}
