#pragma once
// The module's settings file, read at every Open: the file KORVEL_CONFIG
// names, else Korvel.ini beside Korvel.dll, with the assignments KORVEL_SET
// holds on top. Without a file every station has the defaults. Paths are
// found and opened in UTF-16 and shown in UTF-8, as the frame trace and the
// tools show them.
#include <windows.h>

#include <string>

#include "settings/SettingsFile.h"

// Where the settings were looked for.
struct SettingsLookup {
    std::string path;    // the file, in UTF-8
    bool named = false;  // by KORVEL_CONFIG, rather than beside the module
    bool found = false;  // whether there was a file
};

// The most a settings file may hold; a larger one is no settings file.
constexpr uint32_t kMaxSettingsFileBytes = 1024 * 1024;

// Puts what the file and the overrides give in place of settings, with
// Korvel.ini looked for beside module. Returns an empty text, or why they
// were not taken: then settings are as they were.
std::string LoadModuleSettings(HMODULE module, modbus::SettingsFile& settings, SettingsLookup& lookup);
// The same beside the module this code is in.
std::string LoadModuleSettings(modbus::SettingsFile& settings);
