// Tag address texts against every data type: the input's first two bytes are
// one more (arbitrary) data type, the rest is the text. The outcome is
// compared with a plain reading of the syntax, and bytes of the record the
// parser does not own must keep their contents.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "tags/TagOperations.h"

namespace {

constexpr uint8_t kCanary = 0x5A;

struct Expected {
    modbus::Outcome code;
    int32_t area;     // -1: unchanged
    int32_t address;  // -1: unchanged
    int32_t count;    // -1: unchanged
};

// The value of the digit run at text, or -1 when there is none; values past
// limit read as limit + 1.
int64_t DigitRun(const char* text, int64_t limit) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) return -1;
    int64_t value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        value = std::min(value * 10 + (*text - '0'), limit + 1);
    }
    return value;
}

bool TypeFits(int32_t area, int16_t dataType) {
    if (area <= 1) return dataType == 1;
    return dataType == 4 || dataType == 8 || dataType == 16 || dataType == 32 || dataType == 128;
}

Expected Reference(const char* text, int16_t dataType) {
    const char* prefixes = "0134";
    const char* digit = text[0] == '\0' ? nullptr : std::strchr(prefixes, text[0]);
    if (digit == nullptr || std::tolower(static_cast<unsigned char>(text[1])) != 'x') {
        return {modbus::Outcome::kBadAddress, -1, -1, -1};
    }
    const int32_t area = static_cast<int32_t>(digit - prefixes);
    if (!TypeFits(area, dataType)) return {modbus::Outcome::kBadType, area, -1, -1};
    const int64_t address = DigitRun(text + 2, 65534);
    if (address < 1 || address > 65534) return {modbus::Outcome::kBadAddress, area, -1, -1};
    const char* comma = std::strchr(text, ',');
    if (comma == nullptr) return {modbus::Outcome::kDone, area, static_cast<int32_t>(address), 0};
    const int64_t maxCount = area <= 1 ? 128 : 32;
    const int64_t count = std::max<int64_t>(DigitRun(comma + 1, maxCount), 0);
    const int64_t items = dataType == 32 || dataType == 128 ? count + 1 : count;
    if (count < 1 || count > maxCount || address - 1 + items > 65536) {
        return {modbus::Outcome::kBadAddress, area, static_cast<int32_t>(address), -1};
    }
    return {modbus::Outcome::kDone, area, static_cast<int32_t>(address), static_cast<int32_t>(count)};
}

void Check(const std::string& text, int16_t dataType) {
    TagAddress tag;
    std::memset(&tag, kCanary, sizeof(tag));
    tag.dataType = dataType;
    const TagAddress before = tag;
    const modbus::Outcome code = modbus::ParseAddress(text.c_str(), &tag);

    const Expected expected = Reference(text.c_str(), dataType);
    FUZZ_CHECK(code == expected.code);
    FUZZ_CHECK(tag.area == (expected.area < 0 ? before.area : expected.area));
    FUZZ_CHECK(tag.address == (expected.address < 0 ? before.address : expected.address));
    FUZZ_CHECK(tag.count == (expected.count < 0 ? before.count : expected.count));
    FUZZ_CHECK(std::memcmp(tag.unused2, before.unused2, sizeof(tag.unused2)) == 0);
    FUZZ_CHECK(std::memcmp(tag.unused10, before.unused10, sizeof(tag.unused10)) == 0);
    FUZZ_CHECK(tag.dataType == before.dataType);
    FUZZ_CHECK(std::memcmp(tag.unused26, before.unused26, sizeof(tag.unused26)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int16_t anyType = static_cast<int16_t>(input.Word());
    const std::string text = input.Rest();
    for (int16_t dataType : {int16_t{1}, int16_t{4}, int16_t{8}, int16_t{16}, int16_t{32}, int16_t{128}, anyType}) {
        Check(text, dataType);
    }
    return 0;
}
