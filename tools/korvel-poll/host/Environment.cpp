#include "korvel-poll/host/Environment.h"

#include <windows.h>

void SetEnvironmentValue(const char* name, const std::string& value) {
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}
