#include "SoakTags.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "support/LineFixture.h"

namespace {

struct TagRun {
    int32_t station;
    int16_t area;
    uint16_t first;  // zero-based
    uint16_t count;
    uint16_t step;
    std::vector<int16_t> types;  // repeated over the run
};

// Each run lies within one block: spans and gaps under the block limits.
const TagRun kRuns[] = {
    {1, kAreaCoils, 0, 16, 1, {kTypeBit}},
    {1, kAreaHoldingRegisters, 0, 20, 1, {kTypeInt16, kTypeUInt16, kTypeBcd}},
    {1, kAreaHoldingRegisters, 40, 6, 2, {kTypeUInt32, kTypeFloat}},
    {2, kAreaDiscreteInputs, 0, 12, 1, {kTypeBit}},
    {2, kAreaInputRegisters, 0, 16, 1, {kTypeUInt16, kTypeInt16}},
    {2, kAreaInputRegisters, 20, 5, 2, {kTypeFloat}},
    {3, kAreaHoldingRegisters, 100, 13, 1, {kTypeUInt16, kTypeBcd}},
    {3, kAreaHoldingRegisters, 100, 2, 9, {kTypeUInt32, kTypeFloat}},
    {3, kAreaCoils, 200, 10, 1, {kTypeBit}},
};

const char* const kPrefixes[] = {"0x", "1x", "3x", "4x"};

bool IsPairType(int16_t type) {
    return type == kTypeUInt32 || type == kTypeFloat;
}

int32_t DecodeBcd(uint16_t word) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", word);
    for (const char* c = digits; *c != '\0'; ++c) {
        if (*c > '9') return 0;
    }
    return std::atoi(digits);
}

}  // namespace

std::vector<SoakTag> SoakTags() {
    std::vector<SoakTag> tags;
    for (const TagRun& run : kRuns) {
        for (uint16_t i = 0; i < run.count; ++i) {
            const int16_t type = run.types[i % run.types.size()];
            tags.push_back({run.station, run.area, static_cast<uint16_t>(run.first + i * run.step), type, {}});
        }
    }
    return tags;
}

uint16_t ItemCount(const SoakTag& tag) {
    return IsPairType(tag.dataType) ? 2 : 1;
}

bool IsWritable(const SoakTag& tag) {
    return tag.area == kAreaCoils || tag.area == kAreaHoldingRegisters;
}

const char* AddressText(const SoakTag& tag) {
    static thread_local char text[16];
    std::snprintf(text, sizeof text, "%s%u", kPrefixes[tag.area], tag.address + 1u);
    return text;
}

uint32_t RawValue(const SoakTag& tag, const std::vector<uint16_t>& items) {
    return ItemCount(tag) == 2 ? items[0] | uint32_t{items[1]} << 16 : items[0];
}

uint16_t ItemOf(const SoakTag& tag, uint32_t raw, uint16_t i) {
    return static_cast<uint16_t>(ItemCount(tag) == 2 ? raw >> (16 * i) : raw);
}

void SetDeviceItems(LineFixture& line, const SoakTag& tag, uint32_t raw) {
    for (uint16_t i = 0; i < ItemCount(tag); ++i) {
        const uint16_t address = tag.address + i;
        const uint16_t value = ItemOf(tag, raw, i);
        switch (tag.area) {
        case kAreaCoils:
            line.SetCoil(tag.station, address, value != 0);
            break;
        case kAreaDiscreteInputs:
            line.SetDiscreteInput(tag.station, address, value != 0);
            break;
        case kAreaInputRegisters:
            line.SetInputRegister(tag.station, address, value);
            break;
        default:
            line.SetHoldingRegister(tag.station, address, value);
            break;
        }
    }
}

uint32_t DeviceItems(LineFixture& line, const SoakTag& tag) {
    std::vector<uint16_t> items;
    for (uint16_t i = 0; i < ItemCount(tag); ++i) {
        const uint16_t address = tag.address + i;
        switch (tag.area) {
        case kAreaCoils:
            items.push_back(line.Coil(tag.station, address));
            break;
        case kAreaDiscreteInputs:
            items.push_back(line.DiscreteInput(tag.station, address));
            break;
        case kAreaInputRegisters:
            items.push_back(line.InputRegister(tag.station, address));
            break;
        default:
            items.push_back(line.HoldingRegister(tag.station, address));
            break;
        }
    }
    return RawValue(tag, items);
}

bool FieldMatches(const SoakTag& tag, uint32_t raw, const TagValue& value) {
    switch (tag.dataType) {
    case kTypeBit:
        return value.bitValue == raw;
    case kTypeInt16:
        return value.intValue == static_cast<int16_t>(raw);
    case kTypeUInt16:
        return value.wordValue == raw;
    case kTypeBcd:
        return value.bcdValue == DecodeBcd(static_cast<uint16_t>(raw));
    case kTypeUInt32:
        return value.dwordValue == raw;
    default:
        return std::memcmp(&value.floatValue, &raw, sizeof raw) == 0;
    }
}

TagValue ValueToWrite(const SoakTag& tag, uint32_t raw) {
    TagValue value = {};
    switch (tag.dataType) {
    case kTypeBit:
        value.bitValue = raw & 1;
        break;
    case kTypeInt16:
        value.intValue = static_cast<int16_t>(raw);
        break;
    case kTypeUInt16:
        value.wordValue = static_cast<uint16_t>(raw);
        break;
    case kTypeBcd:
        value.bcdValue = DecodeBcd(static_cast<uint16_t>(raw));
        break;
    case kTypeUInt32:
        value.dwordValue = raw;
        break;
    default:
        std::memcpy(&value.floatValue, &raw, sizeof raw);
        break;
    }
    return value;
}
