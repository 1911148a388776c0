// The automation IDispatch of a CComTarget. The object publishes no
// properties or methods, so lookups fail the way automation clients expect.
#include "com/ComTarget.h"

HRESULT __stdcall CComTarget::XDispatch::QueryInterface(REFIID iid, void** object) {
    return m_owner->ExternalQueryInterface(&iid, object);
}

ULONG __stdcall CComTarget::XDispatch::AddRef() {
    return m_owner->ExternalAddRef();
}

ULONG __stdcall CComTarget::XDispatch::Release() {
    return m_owner->ExternalRelease();
}

HRESULT __stdcall CComTarget::XDispatch::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT __stdcall CComTarget::XDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT __stdcall CComTarget::XDispatch::GetIDsOfNames(REFIID iid, LPOLESTR*, UINT count, LCID,
                                                       DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (count > 0 && ids == nullptr) return E_POINTER;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT __stdcall CComTarget::XDispatch::Invoke(DISPID, REFIID iid, LCID, WORD, DISPPARAMS*, VARIANT*,
                                                EXCEPINFO*, UINT*) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return DISP_E_MEMBERNOTFOUND;
}
