#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/Registration.h"

namespace {

// {5D0B7A3F-2C4E-4B8A-9E61-0C3F2A7B9D11}
const CLSID kTestClsid = {0x5D0B7A3F, 0x2C4E, 0x4B8A, {0x9E, 0x61, 0x0C, 0x3F, 0x2A, 0x7B, 0x9D, 0x11}};
const wchar_t kClassKey[] = L"CLSID\\{5D0B7A3F-2C4E-4B8A-9E61-0C3F2A7B9D11}";
const ComClass kTestClass = {&kTestClsid, L"Korvel.RegistrationProbe", L"CRegistrationProbe", nullptr};

std::wstring ReadValue(const std::wstring& key, const wchar_t* name) {
    wchar_t text[512] = {};
    DWORD bytes = sizeof(text);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
        return L"<missing>";
    return text;
}

}  // namespace

TEST(Registration, ClassAndProgIdKeysAreWritten) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kTestClass.progId);
    const std::wstring path = L"C:\\Some Dir\\{name}\\Probe.dll";

    ASSERT_EQ(RegisterServerClass(kTestClass, path), ERROR_SUCCESS);

    const std::wstring classKey = kClassKey;
    struct Case {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    } cases[] = {
        {classKey, nullptr, L"CRegistrationProbe"},
        {classKey + L"\\InprocServer32", nullptr, path},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", nullptr, L"Korvel.RegistrationProbe"},
        {L"Korvel.RegistrationProbe", nullptr, L"CRegistrationProbe"},
        {L"Korvel.RegistrationProbe\\CLSID", nullptr, L"{5D0B7A3F-2C4E-4B8A-9E61-0C3F2A7B9D11}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadValue(c.key, c.name), c.value) << std::string(c.key.begin(), c.key.end());
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kTestClass.progId);
}

TEST(Registration, ModulePathOfCodeIsTheRunningProgram) {
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    EXPECT_EQ(ModulePathOf(reinterpret_cast<const void*>(&ModulePathOf)), program);
}

namespace {

// Fails the write of one row, counted from 1, and remembers the rest.
class FailingRegistry : public IRegistryWriter {
public:
    explicit FailingRegistry(int failingWrite) : m_failingWrite(failingWrite) {}
    LONG WriteValue(const std::wstring& key, const wchar_t*, const std::wstring&) override {
        if (++m_writes == m_failingWrite) return ERROR_ACCESS_DENIED;
        written.push_back(key);
        return ERROR_SUCCESS;
    }
    void DeleteTree(const std::wstring& key) override { deleted.push_back(key); }

    std::vector<std::wstring> written;
    std::vector<std::wstring> deleted;

private:
    int m_failingWrite;
    int m_writes = 0;
};

}  // namespace

// Whichever key cannot be written, the call fails with that code and takes
// the class key and the ProgID key away again.
TEST(Registration, AKeyThatCannotBeWrittenFailsAndRemovesTheClass) {
    for (int failing = 1; failing <= 6; ++failing) {
        FailingRegistry registry(failing);
        EXPECT_EQ(RegisterServerClass(kTestClass, L"C:\\Probe.dll", registry), ERROR_ACCESS_DENIED) << failing;
        EXPECT_EQ(registry.written.size(), static_cast<size_t>(failing - 1));
        EXPECT_EQ(registry.deleted, (std::vector<std::wstring>{kClassKey, kTestClass.progId})) << failing;
    }
    FailingRegistry none(0);
    EXPECT_EQ(RegisterServerClass(kTestClass, L"C:\\Probe.dll", none), ERROR_SUCCESS);
    EXPECT_TRUE(none.deleted.empty());
}
