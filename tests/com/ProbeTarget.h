#pragma once
// A small COM object for the framework's tests: one custom interface part
// besides the automation part, and a flag that tells when it was deleted.
#include <cstddef>

#include "com/ComTarget.h"
#include "com/ModuleLock.h"

// {5D0B7A31-2C4E-4B8A-9E61-0C3F2A7B9D11}
inline const IID IID_IProbe = {0x5D0B7A31, 0x2C4E, 0x4B8A, {0x9E, 0x61, 0x0C, 0x3F, 0x2A, 0x7B, 0x9D, 0x11}};
// {5D0B7A32-2C4E-4B8A-9E61-0C3F2A7B9D11}
inline const IID IID_IProbeDispatch = {0x5D0B7A32, 0x2C4E, 0x4B8A, {0x9E, 0x61, 0x0C, 0x3F, 0x2A, 0x7B, 0x9D, 0x11}};

struct IProbe : public IUnknown {
    virtual int __stdcall Answer() = 0;
};

class CProbeTarget : public CComTarget {
public:
    CProbeTarget(bool* deleted, bool automation) : m_xProbe(this), m_deleted(deleted) {
        if (automation) EnableAutomation();
        ComLockModule();
    }
    ~CProbeTarget() override {
        ComUnlockModule();
        if (m_deleted != nullptr) *m_deleted = true;
    }

protected:
    const InterfaceMapEntry* GetInterfaceMap() const override;

private:
    class XProbe : public IProbe {
    public:
        explicit XProbe(CProbeTarget* owner) : m_owner(owner) {}
        HRESULT __stdcall QueryInterface(REFIID iid, void** object) override {
            return m_owner->ExternalQueryInterface(&iid, object);
        }
        ULONG __stdcall AddRef() override { return m_owner->ExternalAddRef(); }
        ULONG __stdcall Release() override { return m_owner->ExternalRelease(); }
        int __stdcall Answer() override { return 42; }

    private:
        CProbeTarget* m_owner;
    };

    XProbe m_xProbe;
    bool* m_deleted;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
inline const InterfaceMapEntry* CProbeTarget::GetInterfaceMap() const {
    static const InterfaceMapEntry kMap[] = {
        {&IID_IProbeDispatch, offsetof(CProbeTarget, m_xDispatch)},
        {&IID_IProbe, offsetof(CProbeTarget, m_xProbe)},
        {nullptr, 0},
    };
    return kMap;
}
#pragma GCC diagnostic pop
