#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tags/AddressParser.h"
#include "tags/TagOperations.h"

namespace {

constexpr int16_t kOldArea = 77;
constexpr int32_t kOldAddress = 7777;
constexpr int16_t kOldCount = 777;

TagAddress RecordOfType(int16_t dataType) {
    TagAddress tag;
    std::memset(&tag, 0xA5, sizeof(tag));
    tag.area = kOldArea;
    tag.address = kOldAddress;
    tag.count = kOldCount;
    tag.dataType = dataType;
    return tag;
}

struct AddressCase {
    std::string text;
    int16_t dataType;
    modbus::Outcome code;
    int16_t area;  // expected afterwards; the old values where left alone
    int32_t address;
    int16_t count;
};

TEST(TagAddressParsing, EveryOutcomeWritesExactlyItsFields) {
    const std::string zeros(1000, '0');
    const AddressCase cases[] = {
        {"4X100", 4, modbus::Outcome::kDone, 3, 100, 0},
        {"0x1", 4, modbus::Outcome::kBadType, 0, kOldAddress, kOldCount},
        {"3x10", 2, modbus::Outcome::kBadType, 2, kOldAddress, kOldCount},
        {"3x10", 64, modbus::Outcome::kBadType, 2, kOldAddress, kOldCount},
        {"3x10", 12, modbus::Outcome::kBadType, 2, kOldAddress, kOldCount},
        {"1x10", 1, modbus::Outcome::kDone, 1, 10, 0},
        {"0X5", 1, modbus::Outcome::kDone, 0, 5, 0},
        {"2x100", 4, modbus::Outcome::kBadAddress, kOldArea, kOldAddress, kOldCount},
        {" 4x100", 4, modbus::Outcome::kBadAddress, kOldArea, kOldAddress, kOldCount},
        {"4", 4, modbus::Outcome::kBadAddress, kOldArea, kOldAddress, kOldCount},
        {"", 4, modbus::Outcome::kBadAddress, kOldArea, kOldAddress, kOldCount},
        {"4x0", 4, modbus::Outcome::kBadAddress, 3, kOldAddress, kOldCount},
        {"4x65534", 4, modbus::Outcome::kDone, 3, 65534, 0},
        {"4x65535", 4, modbus::Outcome::kBadAddress, 3, kOldAddress, kOldCount},
        {"4x00042", 4, modbus::Outcome::kDone, 3, 42, 0},
        {"4x", 4, modbus::Outcome::kBadAddress, 3, kOldAddress, kOldCount},
        {"4x,5", 4, modbus::Outcome::kBadAddress, 3, kOldAddress, kOldCount},
        {"4x-5", 4, modbus::Outcome::kBadAddress, 3, kOldAddress, kOldCount},
        {"4x 5", 4, modbus::Outcome::kBadAddress, 3, kOldAddress, kOldCount},
        {"4x100,32", 8, modbus::Outcome::kDone, 3, 100, 32},
        {"4x100,33", 8, modbus::Outcome::kBadAddress, 3, 100, kOldCount},
        // A suffix may reach the last item of the area, not past it.
        {"4x65505,32", 8, modbus::Outcome::kDone, 3, 65505, 32},
        {"4x65506,32", 8, modbus::Outcome::kBadAddress, 3, 65506, kOldCount},
        {"4x65534,32", 8, modbus::Outcome::kBadAddress, 3, 65534, kOldCount},
        {"3x65505,31", 128, modbus::Outcome::kDone, 2, 65505, 31},
        {"3x65506,31", 128, modbus::Outcome::kBadAddress, 2, 65506, kOldCount},
        {"0x65534,3", 1, modbus::Outcome::kDone, 0, 65534, 3},
        {"0x65534,4", 1, modbus::Outcome::kBadAddress, 0, 65534, kOldCount},
        {"0x100,128", 1, modbus::Outcome::kDone, 0, 100, 128},
        {"1x100,129", 1, modbus::Outcome::kBadAddress, 1, 100, kOldCount},
        {"4x100,", 4, modbus::Outcome::kBadAddress, 3, 100, kOldCount},
        {"4x100,0", 4, modbus::Outcome::kBadAddress, 3, 100, kOldCount},
        {"4x100abc", 4, modbus::Outcome::kDone, 3, 100, 0},
        {"4x100,5abc", 4, modbus::Outcome::kDone, 3, 100, 5},
        {"4x7 ,3", 128, modbus::Outcome::kDone, 3, 7, 3},
        {"3x20abc", 32, modbus::Outcome::kDone, 2, 20, 0},
        // Digit runs of any length, read in full.
        {"4x" + zeros + "42", 16, modbus::Outcome::kDone, 3, 42, 0},
        {"4x" + std::string(40, '9'), 16, modbus::Outcome::kBadAddress, 3, kOldAddress, kOldCount},
        {"4x4294967297", 16, modbus::Outcome::kBadAddress, 3, kOldAddress, kOldCount},
        {"4x9," + zeros + "31", 16, modbus::Outcome::kDone, 3, 9, 31},
        {"4x9,4294967297", 16, modbus::Outcome::kBadAddress, 3, 9, kOldCount},
        {"4x9," + std::string(40, '9'), 16, modbus::Outcome::kBadAddress, 3, 9, kOldCount},
    };
    for (const AddressCase& c : cases) {
        TagAddress tag = RecordOfType(c.dataType);
        const TagAddress before = tag;
        EXPECT_EQ(modbus::ParseAddress(c.text.c_str(), &tag), c.code) << c.text.substr(0, 20);
        EXPECT_EQ(tag.area, c.area) << c.text.substr(0, 20);
        EXPECT_EQ(tag.address, c.address) << c.text.substr(0, 20);
        EXPECT_EQ(tag.count, c.count) << c.text.substr(0, 20);
        EXPECT_EQ(tag.dataType, c.dataType);
        EXPECT_EQ(std::memcmp(tag.unused2, before.unused2, sizeof(tag.unused2)), 0);
        EXPECT_EQ(std::memcmp(tag.unused10, before.unused10, sizeof(tag.unused10)), 0);
        EXPECT_EQ(std::memcmp(tag.unused26, before.unused26, sizeof(tag.unused26)), 0);
    }
}

TEST(TagAddressParsing, NullTextOrRecordIsRefusedUntouched) {
    TagAddress tag = RecordOfType(4);
    EXPECT_EQ(modbus::ParseAddress(nullptr, &tag), modbus::Outcome::kBadAddress);
    EXPECT_EQ(tag.area, kOldArea);
    EXPECT_EQ(modbus::ParseAddress("4x1", nullptr), modbus::Outcome::kBadAddress);
}

TEST(TagAddressParsing, FieldParsersStoreOnlyOnSuccess) {
    int32_t value = -1;
    EXPECT_FALSE(modbus::ParseDecimalField("4x", 5, 1, 9, &value)) << "offset past the end";
    EXPECT_FALSE(modbus::ParseDecimalField("4x10", 2, 1, 9, &value));
    EXPECT_EQ(value, -1);
    EXPECT_TRUE(modbus::ParseDecimalField("4x09z", 2, 1, 9, &value));
    EXPECT_EQ(value, 9);

    int32_t count = -1;
    EXPECT_FALSE(modbus::ParseCountSuffix("4x10", &count));
    EXPECT_EQ(count, -1);
    EXPECT_TRUE(modbus::ParseCountSuffix("4x10,,5", &count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(modbus::ParseCountSuffix("4x10,12,5", &count));
    EXPECT_EQ(count, 12);
}

}  // namespace
