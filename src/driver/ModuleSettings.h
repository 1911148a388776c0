#pragma once
// The module's settings file, read at every Open: the file KORVEL_CONFIG
// names, else Korvel.ini beside Korvel.dll, with the assignments KORVEL_SET
// holds on top. Without a file every station has the defaults.
#include <string>

#include "modbus/SettingsFile.h"

// Replaces settings with what the file and the overrides give. Returns an
// empty text, or why they were not taken: then settings hold the defaults.
std::string LoadModuleSettings(modbus::SettingsFile& settings);
