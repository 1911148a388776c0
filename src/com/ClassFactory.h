#pragma once
// A class factory per creatable class, and the lookup DllGetClassObject does
// over the module's table of them.
#include <windows.h>
#include <unknwn.h>

#include <cstddef>

class CComTarget;

// What the module knows about one creatable class: its identity, its names
// in the registry, and how to make an instance (null when out of memory).
struct ComClass {
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* name;
    CComTarget* (*create)();
};

// Lives as long as the module; every outstanding reference and every
// LockServer(TRUE) holds the module lock.
class CClassFactory : public IClassFactory {
public:
    explicit CClassFactory(const ComClass& comClass) : m_class(comClass) {}

    HRESULT __stdcall QueryInterface(REFIID iid, void** object) override;
    ULONG __stdcall AddRef() override;
    ULONG __stdcall Release() override;
    HRESULT __stdcall CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT __stdcall LockServer(BOOL lock) override;

    const ComClass& Class() const { return m_class; }

private:
    const ComClass& m_class;
    LONG m_refCount = 0;
};

// The factory for clsid from factories[0..count), asked for iid.
HRESULT GetClassObject(CClassFactory* factories, size_t count, REFCLSID clsid, REFIID iid, void** object);
