#pragma once
// Registry entries of an in-process server class, written under
// HKEY_CLASSES_ROOT from a table of keys and values.
#include <windows.h>

#include <string>

#include "com/ClassFactory.h"

// Full path of the module that contains address (a DLL's own path when
// address lies in the DLL); empty when it cannot be found.
std::wstring ModulePathOf(const void* address);

// Writes the class key with its InprocServer32 (serverPath, apartment
// threaded) and ProgID keys, and the ProgID's key pointing back at the class.
// Returns the first registry failure as a Win32 code, 0 when all were written.
LONG RegisterServerClass(const ComClass& comClass, const std::wstring& serverPath);
