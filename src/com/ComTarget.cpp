#include "com/ComTarget.h"

CComTarget::CComTarget() : m_xDispatch(this) {}

CComTarget::~CComTarget() = default;

HRESULT CComTarget::ExternalQueryInterface(const IID* iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == nullptr) return E_INVALIDARG;
    IUnknown* part = FindInterface(*iid);
    if (part == nullptr) return E_NOINTERFACE;
    ExternalAddRef();
    *object = part;
    return S_OK;
}

ULONG CComTarget::ExternalAddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

ULONG CComTarget::ExternalRelease() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) OnFinalRelease();
    return static_cast<ULONG>(count);
}

void CComTarget::OnFinalRelease() {
    delete this;
}

void CComTarget::EnableAutomation() {
    m_automationEnabled = true;
}

// IUnknown is the first interface that answers, so every interface of the
// object yields the same identity; IDispatch is the automation part.
IUnknown* CComTarget::FindInterface(const IID& iid) {
    bool wantsIdentity = IsEqualIID(iid, IID_IUnknown);
    for (const InterfaceMapEntry* entry = GetInterfaceMap(); entry->iid != nullptr; ++entry) {
        IUnknown* part = PartAt(*entry);
        if (part != nullptr && (wantsIdentity || IsEqualIID(iid, *entry->iid))) return part;
    }
    if (m_automationEnabled && (wantsIdentity || IsEqualIID(iid, IID_IDispatch))) return &m_xDispatch;
    return nullptr;
}

// A row naming the automation part stays silent until automation is enabled.
IUnknown* CComTarget::PartAt(const InterfaceMapEntry& entry) {
    auto* part = reinterpret_cast<IUnknown*>(reinterpret_cast<char*>(this) + entry.offset);
    if (part == &m_xDispatch && !m_automationEnabled) return nullptr;
    return part;
}
