#include "driver/Environment.h"

#include <windows.h>

std::string EnvironmentValue(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name, value.data(), size));
    return value;
}

// Variable names are ASCII, so each character widens as it is.
std::wstring WideEnvironmentValue(const char* name) {
    const std::string narrow(name);
    const std::wstring wideName(narrow.begin(), narrow.end());
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(wideName.c_str(), value.data(), size));
    return value;
}
