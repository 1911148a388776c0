#include "korvel-poll/Environment.h"

#include <windows.h>

std::string EnvironmentValue(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name, &value[0], size));
    return value;
}

void SetEnvironmentValue(const char* name, const std::string& value) {
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}
