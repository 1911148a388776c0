#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "support/KorvelHost.h"

namespace {

using Record = std::array<uint8_t, 256>;
constexpr uint8_t kUntouched = 0xCC;

Record Untouched() {
    Record record;
    record.fill(kUntouched);
    return record;
}

// size bytes: the given bytes at their offsets, zeros elsewhere; beyond size
// the fill byte shows that nothing was written there.
Record Expected(size_t size, const std::vector<std::pair<size_t, std::vector<uint8_t>>>& parts) {
    Record record = Untouched();
    std::fill(record.begin(), record.begin() + size, 0);
    for (const auto& [offset, bytes] : parts) std::copy(bytes.begin(), bytes.end(), record.begin() + offset);
    return record;
}

std::vector<uint8_t> Text(const char* text) {
    return std::vector<uint8_t>(text, text + std::strlen(text));
}

const std::vector<uint8_t> kDeviceNumbers = {0xFF, 0xFF, 0xFF, 0xFF, 0x40, 0x00, 0x00, 0x00,
                                             0x33, 0xFF, 0x00, 0x00, 0x12, 0x84, 0x00, 0x00};

}  // namespace

TEST(InfoExports, ExportsAreFoundByDecoratedNamesAndOrdinals) {
    const KorvelExports& korvel = Korvel();
    ASSERT_NE(korvel.module, nullptr);
    struct Case {
        const char* name;
        WORD ordinal;
        void* function;
    } cases[] = {
        {"DllCanUnloadNow", 1, reinterpret_cast<void*>(korvel.canUnloadNow)},
        {"DllGetClassObject", 2, reinterpret_cast<void*>(korvel.getClassObject)},
        {"DllRegisterServer", 3, reinterpret_cast<void*>(korvel.registerServer)},
        {"_GetDeviceInfo@12", 4, reinterpret_cast<void*>(korvel.getDeviceInfo)},
        {"_GetModuleInfo@8", 5, reinterpret_cast<void*>(korvel.getModuleInfo)},
    };
    for (const Case& c : cases) {
        EXPECT_NE(c.function, nullptr) << c.name;
        EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(korvel.module, MAKEINTRESOURCEA(c.ordinal))), c.function)
            << c.name;
    }
    for (const char* name : {"GetModuleInfo", "GetDeviceInfo", "GetModuleInfo@8", "DllUnregisterServer"}) {
        EXPECT_EQ(GetProcAddress(korvel.module, name), nullptr) << name;
    }
}

TEST(InfoExports, ModuleInfoIsWrittenOnlyIntoARecordOfItsSize) {
    const Record filled = Expected(144, {{0, {1, 0, 0, 0}}, {4, Text("Toledo")}, {132, {3, 0, 0, 0}}});
    struct Case {
        uint32_t size;
        int32_t result;
        Record expected;
    } cases[] = {
        {144, 1, filled},
        {143, 0, Untouched()},
        {145, 0, Untouched()},
        {0, 0, Untouched()},
    };
    for (const Case& c : cases) {
        Record record = Untouched();
        EXPECT_EQ(Korvel().getModuleInfo(record.data(), c.size), c.result) << c.size;
        EXPECT_EQ(record, c.expected) << c.size;
    }
    EXPECT_EQ(Korvel().getModuleInfo(nullptr, 144), 0);
}

TEST(InfoExports, DeviceInfoClearsTheRecordBeforeCheckingTheIndex) {
    auto device = [](const char* name, const char* id) {
        return Expected(192, {{0, Text(name)}, {128, Text(id)}, {168, kDeviceNumbers}});
    };
    struct Case {
        int32_t index;
        uint32_t size;
        int32_t result;
        Record expected;
    } cases[] = {
        {0, 192, 1, device("8140", "9BCC0222-6655-11D6-AAE4-00E04C3FA026")},
        {1, 192, 1, device("PUMA", "4E71E4A2-158C-11D6-970F-0000E890D27A")},
        {2, 192, 1, device("Panther", "1B19FBA7-B99D-11D6-8AE2-0000E890DF69")},
        {3, 192, 0, Expected(192, {})},
        {-1, 192, 0, Expected(192, {})},
        {0, 191, 0, Untouched()},
        {0, 193, 0, Untouched()},
        {-1, 191, 0, Untouched()},
    };
    for (const Case& c : cases) {
        Record record = Untouched();
        EXPECT_EQ(Korvel().getDeviceInfo(c.index, record.data(), c.size), c.result) << c.index << "/" << c.size;
        EXPECT_EQ(record, c.expected) << c.index << "/" << c.size;
    }
    EXPECT_EQ(Korvel().getDeviceInfo(0, nullptr, 192), 0);
}
