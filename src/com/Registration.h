#pragma once
// Registry entries of an in-process server class, written under
// HKEY_CLASSES_ROOT from a table of keys and values.
#include <windows.h>

#include <string>

#include "com/ClassFactory.h"

// Full path of the module that contains address (a DLL's own path when
// address lies in the DLL); empty when it cannot be found.
std::wstring ModulePathOf(const void* address);

// Where registration writes: HKEY_CLASSES_ROOT, or a stand-in for tests.
class IRegistryWriter {
public:
    // Creates key as needed and sets one string value; a null name is the
    // key's default value. Returns a Win32 code.
    virtual LONG WriteValue(const std::wstring& key, const wchar_t* valueName, const std::wstring& value) = 0;
    virtual void DeleteTree(const std::wstring& key) = 0;

protected:
    ~IRegistryWriter() = default;
};

IRegistryWriter& ClassesRoot();

// Writes the class key with its InprocServer32 (serverPath, apartment
// threaded) and ProgID keys, and the ProgID's key pointing back at the class.
// Returns the first registry failure as a Win32 code, 0 when all were
// written. A failure removes the class's keys again: a half-registered class
// would look registered and fail only when the host creates it.
LONG RegisterServerClass(const ComClass& comClass, const std::wstring& serverPath,
                         IRegistryWriter& registry = ClassesRoot());
