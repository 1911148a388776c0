#include <gtest/gtest.h>

#include "ProbeTarget.h"

namespace {

template <class Interface>
Interface* Query(IUnknown* from, const IID& iid) {
    void* object = nullptr;
    return SUCCEEDED(from->QueryInterface(iid, &object)) ? static_cast<Interface*>(object) : nullptr;
}

IProbe* NewProbe(bool* deleted, bool automation) {
    CComTarget* target = new CProbeTarget(deleted, automation);
    void* object = nullptr;
    target->ExternalQueryInterface(&IID_IProbe, &object);
    target->ExternalRelease();
    return static_cast<IProbe*>(object);
}

}  // namespace

TEST(ComTarget, QueryInterfaceFindsEveryMappedPartWithOneIdentity) {
    bool deleted = false;
    IProbe* probe = NewProbe(&deleted, true);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->Answer(), 42);

    IUnknown* identity = Query<IUnknown>(probe, IID_IUnknown);
    IDispatch* dispatch = Query<IDispatch>(probe, IID_IDispatch);
    IDispatch* dispinterface = Query<IDispatch>(probe, IID_IProbeDispatch);
    ASSERT_NE(identity, nullptr);
    EXPECT_EQ(dispatch, dispinterface);
    IUnknown* identityFromDispatch = Query<IUnknown>(dispatch, IID_IUnknown);
    IProbe* probeFromDispatch = Query<IProbe>(dispatch, IID_IProbe);
    EXPECT_EQ(identityFromDispatch, identity);
    EXPECT_EQ(probeFromDispatch, probe);

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(probe->QueryInterface(IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(probe->QueryInterface(IID_IProbe, nullptr), E_POINTER);

    // Every successful query took a reference: six in all, the creator's included.
    for (IUnknown* part : {static_cast<IUnknown*>(dispatch), static_cast<IUnknown*>(dispinterface), identity,
                           identityFromDispatch, static_cast<IUnknown*>(probeFromDispatch)}) {
        part->Release();
    }
    EXPECT_FALSE(deleted);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_TRUE(deleted);
}

TEST(ComTarget, DispatchPartsStaySilentWithoutAutomation) {
    IProbe* probe = NewProbe(nullptr, false);
    EXPECT_EQ(Query<IDispatch>(probe, IID_IDispatch), nullptr);
    EXPECT_EQ(Query<IDispatch>(probe, IID_IProbeDispatch), nullptr);
    // With the first row silent, the probe part carries the identity.
    EXPECT_EQ(Query<IUnknown>(probe, IID_IUnknown), static_cast<IUnknown*>(probe));
    probe->Release();
    EXPECT_EQ(probe->Release(), 0u);
}

TEST(ComTarget, ReferencesTakenOnAnyPartCountOnTheObject) {
    bool deleted = false;
    IProbe* probe = NewProbe(&deleted, true);
    IDispatch* dispatch = Query<IDispatch>(probe, IID_IDispatch);
    EXPECT_EQ(probe->AddRef(), 3u);
    EXPECT_EQ(dispatch->AddRef(), 4u);
    EXPECT_EQ(dispatch->Release(), 3u);
    EXPECT_EQ(dispatch->Release(), 2u);
    EXPECT_EQ(probe->Release(), 1u);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(dispatch->Release(), 0u);
    EXPECT_TRUE(deleted);
}

TEST(ComTarget, AutomationDispatchHasNoMembers) {
    IProbe* probe = NewProbe(nullptr, true);
    IDispatch* dispatch = Query<IDispatch>(probe, IID_IDispatch);
    probe->Release();

    UINT count = 99;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), DISP_E_BADINDEX);
    EXPECT_EQ(info, nullptr);

    wchar_t nameText[] = L"Answer";
    LPOLESTR names[] = {nameText, nameText};
    DISPID ids[2] = {7, 7};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_IProbe, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);

    DISPPARAMS none = {};
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(dispatch->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(dispatch->Release(), 0u);
}
