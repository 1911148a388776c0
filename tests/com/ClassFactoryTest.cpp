#include <gtest/gtest.h>

#include "ProbeTarget.h"
#include "com/ClassFactory.h"

namespace {

// {5D0B7A30-2C4E-4B8A-9E61-0C3F2A7B9D11}
const CLSID kProbeClsid = {0x5D0B7A30, 0x2C4E, 0x4B8A, {0x9E, 0x61, 0x0C, 0x3F, 0x2A, 0x7B, 0x9D, 0x11}};

bool g_outOfMemory = false;
bool g_lastDeleted = false;

CComTarget* CreateProbe() {
    if (g_outOfMemory) return nullptr;
    g_lastDeleted = false;
    return new CProbeTarget(&g_lastDeleted, true);
}

const ComClass kProbeClass = {&kProbeClsid, L"Korvel.ComProbe", L"CProbeTarget", &CreateProbe};
CClassFactory g_factories[] = {CClassFactory(kProbeClass)};

IClassFactory* ProbeFactory() {
    void* object = nullptr;
    GetClassObject(g_factories, 1, kProbeClsid, IID_IClassFactory, &object);
    return static_cast<IClassFactory*>(object);
}

}  // namespace

TEST(ClassFactory, CreateInstanceRefusesAggregationAndReportsFailures) {
    IClassFactory* factory = ProbeFactory();
    ASSERT_NE(factory, nullptr);
    IUnknown* outer = reinterpret_cast<IUnknown*>(factory);
    void* object = reinterpret_cast<void*>(1);

    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_TRUE(g_lastDeleted);

    g_outOfMemory = true;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IProbe, &object), E_OUTOFMEMORY);
    g_outOfMemory = false;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IProbe, nullptr), E_POINTER);

    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IProbe, &object), S_OK);
    auto* probe = static_cast<IProbe*>(object);
    EXPECT_EQ(probe->Answer(), 42);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_TRUE(g_lastDeleted);
    factory->Release();
}

TEST(ClassFactory, UnlockWithoutALockLeavesTheModuleCountAtZero) {
    ASSERT_FALSE(ComModuleInUse());
    EXPECT_EQ(g_factories[0].LockServer(FALSE), S_OK);
    EXPECT_EQ(g_factories[0].LockServer(TRUE), S_OK);
    EXPECT_TRUE(ComModuleInUse());
    EXPECT_EQ(g_factories[0].LockServer(FALSE), S_OK);
    EXPECT_FALSE(ComModuleInUse());
}
