#pragma once
// The process environment, through which the tool tells the driver it loads
// where its settings file and frame trace are: the driver reads them there.
#include <string>

// Empty when the variable is not set.
std::string EnvironmentValue(const char* name);
// An empty value removes the variable.
void SetEnvironmentValue(const char* name, const std::string& value);
