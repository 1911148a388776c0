#pragma once
// A line's COM port opened as a master other than the driver opens it:
// plain blocking reads and writes, 8N1 at the given baud rate.
#include <windows.h>

#include <string>

// INVALID_HANDLE_VALUE when the port cannot be opened.
HANDLE OpenRawPort(const std::string& devicePath, DWORD baud);
