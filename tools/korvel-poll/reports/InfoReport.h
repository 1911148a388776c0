#pragma once
// --info: what the module tells a host about itself.
#include <ostream>

#include "korvel-poll/host/DriverHost.h"

void PrintModuleInfo(const DriverHost& host, std::ostream& out);
