#pragma once
// --info's settings: the file the driver will read at its next Open, with
// the overrides of its environment on top, and what they give one station,
// key by key, with the section (or --set) each value comes from.
#include <windows.h>

#include <cstdint>
#include <ostream>

// module: the Korvel.dll whose folder holds the default file. A port of 0
// shows the file alone. False when the file or an override would be
// refused, which is then shown with its reason.
bool PrintStationSettings(HMODULE module, int32_t port, int32_t station, std::ostream& out);
