#pragma once
// The process environment, through which the tool tells the driver it loads
// where its settings file and frame trace are: the driver reads them there,
// with the reader the tool shares.
#include <string>

#include "driver/Environment.h"

// An empty value removes the variable.
void SetEnvironmentValue(const char* name, const std::string& value);
