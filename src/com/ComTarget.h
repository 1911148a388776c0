#pragma once
// Base of a COM object whose interfaces all share one reference count.
// Interfaces are found through a table the derived class supplies.
#include <windows.h>
#include <oaidl.h>
#include <unknwn.h>

#include <cstddef>

class CComTarget;

// One row of an object's interface table: the IID and the byte offset of the
// interface object inside the COM object. The table ends with a null IID.
// Offsets are taken from the start of the object, so CComTarget must be the
// derived class's first (and only) base.
struct InterfaceMapEntry {
    const IID* iid;
    ptrdiff_t offset;
};

class CComTarget {
public:
    CComTarget();
    virtual ~CComTarget();

    CComTarget(const CComTarget&) = delete;
    CComTarget& operator=(const CComTarget&) = delete;

    HRESULT ExternalQueryInterface(const IID* iid, void** object);
    ULONG ExternalAddRef();
    ULONG ExternalRelease();

protected:
    // The automation IDispatch: no members, so every name and every DISPID is
    // unknown. Derived interface maps name it for their dispinterface.
    class XDispatch : public IDispatch {
    public:
        explicit XDispatch(CComTarget* owner) : m_owner(owner) {}

        HRESULT __stdcall QueryInterface(REFIID iid, void** object) override;
        ULONG __stdcall AddRef() override;
        ULONG __stdcall Release() override;
        HRESULT __stdcall GetTypeInfoCount(UINT* count) override;
        HRESULT __stdcall GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
        HRESULT __stdcall GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                        DISPID* ids) override;
        HRESULT __stdcall Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    private:
        CComTarget* m_owner;
    };

    virtual const InterfaceMapEntry* GetInterfaceMap() const = 0;
    // Called when the last reference goes; deletes the object.
    virtual void OnFinalRelease();
    // Makes IDispatch (and the map rows naming m_xDispatch) answer.
    void EnableAutomation();

    XDispatch m_xDispatch;

private:
    IUnknown* FindInterface(const IID& iid);
    IUnknown* PartAt(const InterfaceMapEntry& entry);

    LONG m_refCount = 1;
    bool m_automationEnabled = false;
};
