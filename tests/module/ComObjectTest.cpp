#include <gtest/gtest.h>

#include <cstring>

#include "support/ErrorTexts.h"
#include "support/KorvelHost.h"

namespace {

IClassFactory* Factory() {
    void* factory = nullptr;
    Korvel().getClassObject(kClsidModbusRtuDEC, IID_IClassFactory, &factory);
    return static_cast<IClassFactory*>(factory);
}

}  // namespace

TEST(ComObject, ClassObjectServesOnlyTheDriverClass) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    factory->Release();

    // The catalogue's device identifiers and the interface identifiers are no classes.
    for (const wchar_t* text : {L"{9BCC0222-6655-11D6-AAE4-00E04C3FA026}", L"{4E71E4A2-158C-11D6-970F-0000E890D27A}",
                                L"{1B19FBA7-B99D-11D6-8AE2-0000E890DF69}", L"{1FBFF658-B4A4-4268-AA62-4B0FE67C079E}",
                                L"{276E54C1-65E3-11D3-9945-444553540000}"}) {
        object = reinterpret_cast<void*>(1);
        EXPECT_EQ(Korvel().getClassObject(GuidOf(text), IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr);
    }
}

TEST(ComObject, EveryInterfaceLeadsToTheOthersAndSharesOneCount) {
    IUnknown* identity = CreateDriverObject<IUnknown>(IID_IUnknown);
    ASSERT_NE(identity, nullptr);
    auto* driver = Query<IDeviceDriver>(identity, kIidDeviceDriver);
    auto* dispatch = Query<IDispatch>(identity, IID_IDispatch);
    auto* dispinterface = Query<IDispatch>(identity, kIidModbusRtuDEC);
    ASSERT_NE(driver, nullptr);
    ASSERT_NE(dispatch, nullptr);
    EXPECT_EQ(dispinterface, dispatch);

    // Through IDeviceDriver back to the object's other interfaces.
    IUnknown* identityFromDriver = Query<IUnknown>(driver, IID_IUnknown);
    auto* dispatchFromDriver = Query<IDispatch>(driver, IID_IDispatch);
    auto* dispinterfaceFromDriver = Query<IDispatch>(driver, kIidModbusRtuDEC);
    auto* driverFromDispatch = Query<IDeviceDriver>(dispatch, kIidDeviceDriver);
    EXPECT_EQ(identityFromDriver, identity);
    EXPECT_EQ(dispatchFromDriver, dispatch);
    EXPECT_EQ(dispinterfaceFromDriver, dispatch);
    EXPECT_EQ(driverFromDispatch, driver);
    EXPECT_EQ(Query<IClassFactory>(driver, IID_IClassFactory), nullptr);

    // Eight references so far: the creator's and one per successful query.
    EXPECT_EQ(driver->AddRef(), 9u);
    EXPECT_EQ(dispatch->AddRef(), 10u);
    EXPECT_EQ(identity->AddRef(), 11u);
    EXPECT_EQ(driver->Release(), 10u);
    for (IUnknown* part : {static_cast<IUnknown*>(dispatch), identity, static_cast<IUnknown*>(dispinterface),
                           identityFromDriver, static_cast<IUnknown*>(dispatchFromDriver),
                           static_cast<IUnknown*>(dispinterfaceFromDriver), static_cast<IUnknown*>(driverFromDispatch),
                           static_cast<IUnknown*>(dispatch)}) {
        part->Release();
    }
    EXPECT_EQ(identity->Release(), 1u);
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_EQ(Korvel().canUnloadNow(), S_OK);
}

TEST(ComObject, ModuleCanUnloadOnlyWithoutObjectsFactoriesAndLocks) {
    ASSERT_EQ(Korvel().canUnloadNow(), S_OK);
    IClassFactory* factory = Factory();
    EXPECT_EQ(Korvel().canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    IUnknown* first = nullptr;
    IUnknown* second = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_NE(first, second);
    factory->Release();
    EXPECT_EQ(Korvel().canUnloadNow(), S_FALSE);

    first->Release();
    second->Release();
    EXPECT_EQ(Korvel().canUnloadNow(), S_FALSE);  // the server lock

    factory = Factory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(Korvel().canUnloadNow(), S_FALSE);  // the factory reference
    factory->Release();
    EXPECT_EQ(Korvel().canUnloadNow(), S_OK);

    // Objects alone keep the module, too.
    IUnknown* object = CreateDriverObject<IUnknown>(IID_IUnknown);
    EXPECT_EQ(Korvel().canUnloadNow(), S_FALSE);
    object->Release();
    EXPECT_EQ(Korvel().canUnloadNow(), S_OK);
}

TEST(ComObject, NewDriverAnswersBeforeAnyLinkIsOpen) {
    auto* driver = CreateDriverObject<IDeviceDriver>(kIidDeviceDriver);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(CodeOfText(driver->GetErrorText()), 0);
    EXPECT_EQ(driver->Initialize(0x12345678), 1);

    AreaDescriptor* areas = nullptr;
    int16_t count = 0;
    EXPECT_NE(driver->GetAreaTable(&areas, &count), 0);
    ASSERT_EQ(count, 4);
    ASSERT_NE(areas, nullptr);
    struct Row {
        const char* name;
        uint32_t access;
        uint32_t typeMask;
    } rows[] = {{"0x", 3, 1}, {"1x", 1, 1}, {"3x", 1, 188}, {"4x", 3, 188}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::memcmp(areas[i].name, rows[i].name, 3), 0) << i;
        EXPECT_EQ(areas[i].access, rows[i].access) << i;
        EXPECT_EQ(areas[i].typeMask1, rows[i].typeMask) << i;
        EXPECT_EQ(areas[i].typeMask2, rows[i].typeMask) << i;
    }

    struct Station {
        const char* text;
        int32_t result;
        int32_t number;
    } stations[] = {{"1", 1, 1}, {"254", 1, 254}, {"0", 0, -1}, {"255", 0, -1}};
    for (const Station& s : stations) {
        int32_t number = -1;
        EXPECT_EQ(driver->CheckStation(s.text, &number), s.result) << s.text;
        if (s.result == 1) {
            EXPECT_EQ(number, s.number) << s.text;
        }
        EXPECT_EQ(CodeOfText(driver->GetErrorText()) == 0, s.result == 1) << s.text;
    }
    EXPECT_EQ(driver->Release(), 0u);
}
