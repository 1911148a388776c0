#pragma once
// Loads Korvel.dll the way a host does: by path, finding every export by its
// exported name. Nothing of the module is linked into the test program.
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <string>

#include "driver/IDeviceDriver.h"
#include "support/HostLink.h"

struct KorvelExports {
    HMODULE module;
    HRESULT(__stdcall* canUnloadNow)();
    HRESULT(__stdcall* getClassObject)(REFCLSID, REFIID, void**);
    HRESULT(__stdcall* registerServer)();
    int32_t(__stdcall* getDeviceInfo)(int32_t index, void* record, uint32_t size);
    int32_t(__stdcall* getModuleInfo)(void* record, uint32_t size);
};

// Loaded once, on first use, and kept for the whole program.
const KorvelExports& Korvel();
const char* KorvelPath();
std::wstring KorvelPathW();

// The identities a host knows from the module's documentation.
GUID GuidOf(const wchar_t* text);
inline const GUID kClsidModbusRtuDEC = GuidOf(L"{30F4085C-B3FD-4F01-B6B6-DEC72F65CED5}");
inline const GUID kIidModbusRtuDEC = GuidOf(L"{1FBFF658-B4A4-4268-AA62-4B0FE67C079E}");
inline const GUID kIidDeviceDriver = GuidOf(L"{276E54C1-65E3-11D3-9945-444553540000}");
inline const GUID kLibidKorvel = GuidOf(L"{249F6A59-2789-426C-A42A-1A9E0743D48B}");

// A new CModbusRtuDEC through DllGetClassObject and its factory, asked for
// iid; of Korvel.dll unless module names another copy of it.
template <class Interface>
Interface* CreateDriverObject(const GUID& iid, HMODULE module = nullptr) {
    using GetClassObject = decltype(KorvelExports::getClassObject);
    const GetClassObject getClassObject =
        module == nullptr ? Korvel().getClassObject
                          : reinterpret_cast<GetClassObject>(
                                reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (getClassObject == nullptr ||
        FAILED(getClassObject(kClsidModbusRtuDEC, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return nullptr;
    void* object = nullptr;
    factory->CreateInstance(nullptr, iid, &object);
    factory->Release();
    return static_cast<Interface*>(object);
}

// The interface iid of from, or null; the caller releases it.
template <class Interface>
Interface* Query(IUnknown* from, const GUID& iid) {
    void* object = nullptr;
    return SUCCEEDED(from->QueryInterface(iid, &object)) ? static_cast<Interface*>(object) : nullptr;
}
