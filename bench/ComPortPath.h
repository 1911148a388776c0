#pragma once
// Where a libmodbus master opens a COM port of the line server: the line
// server links $WINEPREFIX/dosdevices/comN to the COM side's pty, which a
// native master opens by the link's target, and a master under Wine by its
// device name.
#include <string>

namespace bench {

bool ComPortPath(const std::string& number, std::string& path, std::string& error);

}  // namespace bench
