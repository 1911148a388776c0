#pragma once
// The example settings file shipped beside the module: every key of the
// table at its default, commented out, under a line saying what it does and
// what it accepts, and a commented station section to copy. Taken as it is,
// it gives every station the defaults. Lines end in CRLF, for Notepad.
#include <string>

namespace modbus {

std::string SettingsExampleText();

}  // namespace modbus
