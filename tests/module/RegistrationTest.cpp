#include <gtest/gtest.h>

#include <string>

#include "support/ErrorTexts.h"
#include "support/KorvelHost.h"

namespace {

const wchar_t kClassKey[] = L"CLSID\\{30F4085C-B3FD-4F01-B6B6-DEC72F65CED5}";
const wchar_t kProgId[] = L"Korvel.ModbusRtuDEC";

std::wstring ReadValue(const std::wstring& key, const wchar_t* name) {
    wchar_t text[1024] = {};
    DWORD bytes = sizeof(text);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
        return L"<missing>";
    return text;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// COM for the calling thread, as a host's main thread has it.
class ComApartment {
public:
    ComApartment() { CoInitialize(nullptr); }
    ~ComApartment() { CoUninitialize(); }
};

// Creates through COM's own loader, which finds the DLL by the registry.
void ExpectCreatableThroughCom(const CLSID& clsid) {
    IDeviceDriver* driver = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidDeviceDriver,
                               reinterpret_cast<void**>(&driver)),
              S_OK);
    EXPECT_EQ(CodeOfText(driver->GetErrorText()), 0);
    EXPECT_EQ(driver->Release(), 0u);
}

}  // namespace

// The ctest fixture has run `wine regsvr32` on the DLL before this program.
TEST(Registration, Regsvr32MakesTheClassCreatableByClsidAndProgId) {
    ComApartment apartment;
    ExpectCreatableThroughCom(kClsidModbusRtuDEC);
    CLSID clsid = {};
    ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kClsidModbusRtuDEC));
    ExpectCreatableThroughCom(clsid);
}

TEST(Registration, DllRegisterServerWritesClassAndProgIdKeys) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    ASSERT_EQ(Korvel().registerServer(), S_OK);

    wchar_t dllPath[MAX_PATH] = {};
    GetModuleFileNameW(Korvel().module, dllPath, MAX_PATH);
    const std::wstring classKey = kClassKey;
    const std::wstring progIdKey = kProgId;
    struct Case {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    } cases[] = {
        {classKey, nullptr, L"CModbusRtuDEC"},
        {classKey + L"\\InprocServer32", nullptr, dllPath},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", nullptr, kProgId},
        {progIdKey, nullptr, L"CModbusRtuDEC"},
        {progIdKey + L"\\CLSID", nullptr, L"{30F4085C-B3FD-4F01-B6B6-DEC72F65CED5}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadValue(c.key, c.name), c.value) << Narrow(c.key);
    }

    ComApartment apartment;
    CLSID clsid = {};
    ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    ExpectCreatableThroughCom(clsid);
}
