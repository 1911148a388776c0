#pragma once
// Base of a COM object whose interfaces all share one reference count.
// Interfaces are found through a table the derived class supplies.
#include <windows.h>
#include <unknwn.h>

#include <cstddef>

class CComTarget;

// One row of an object's interface table: the IID and the byte offset of the
// interface object inside the COM object. The table ends with a null IID.
struct InterfaceMapEntry {
    const IID* iid;
    ptrdiff_t offset;
};

class CComTarget {
public:
    CComTarget();
    virtual ~CComTarget();

    HRESULT ExternalQueryInterface(const IID* iid, void** object);
    ULONG ExternalAddRef();
    ULONG ExternalRelease();

protected:
    virtual const InterfaceMapEntry* GetInterfaceMap() const = 0;
    // Called when the last reference goes; deletes the object.
    virtual void OnFinalRelease();
    // Makes IDispatch (and the object's dispinterface) answer with an
    // automation dispatcher that has no members.
    void EnableAutomation();

private:
    IUnknown* FindInterface(const IID& iid);

    LONG m_refCount = 1;
    struct Dispatcher;
    Dispatcher* m_dispatcher = nullptr;
};
