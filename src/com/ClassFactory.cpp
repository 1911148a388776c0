#include "com/ClassFactory.h"

#include "com/ComTarget.h"
#include "com/ModuleLock.h"

HRESULT __stdcall CClassFactory::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
}

ULONG __stdcall CClassFactory::AddRef() {
    ComLockModule();
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

ULONG __stdcall CClassFactory::Release() {
    LONG count = InterlockedDecrement(&m_refCount);
    ComUnlockModule();
    return static_cast<ULONG>(count);
}

// The new object starts with one reference; the query adds the caller's,
// and dropping ours leaves the caller as the only owner (or deletes the
// object when the interface is unknown).
HRESULT __stdcall CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    CComTarget* instance = m_class.create();
    if (instance == nullptr) return E_OUTOFMEMORY;
    HRESULT result = instance->ExternalQueryInterface(&iid, object);
    instance->ExternalRelease();
    return result;
}

HRESULT __stdcall CClassFactory::LockServer(BOOL lock) {
    if (lock) {
        ComLockModule();
    } else {
        ComUnlockModule();
    }
    return S_OK;
}

HRESULT GetClassObject(CClassFactory* factories, size_t count, REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (IsEqualCLSID(*factories[i].Class().clsid, clsid)) return factories[i].QueryInterface(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}
