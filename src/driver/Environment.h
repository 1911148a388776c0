#pragma once
// The environment variables through which a host or a tool steers the driver
// (the frame trace, the settings file), read at the moment they matter.
#include <string>

// The variable's value; empty when it is not set.
std::string EnvironmentValue(const char* name);
// The same in UTF-16, for a value that is a path: a narrow value would lose
// the characters outside the system code page.
std::wstring WideEnvironmentValue(const char* name);
