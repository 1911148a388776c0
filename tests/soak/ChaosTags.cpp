#include "ChaosTags.h"

namespace {

struct TagPlace {
    int16_t area;
    uint16_t offset;  // from the driver object's base
    int16_t dataType;
    bool written;
};

// Blocks at 0..1, 100..101 and 2..5 of the holding registers (the first two
// of the same shape and asked for one after the other), 200 and 202..203 of
// the input registers and 0..3 of the coils.
const TagPlace kPlaces[] = {
    {kAreaHoldingRegisters, 0, kTypeUInt16, false}, {kAreaHoldingRegisters, 1, kTypeInt16, true},
    {kAreaHoldingRegisters, 100, kTypeUInt16, false}, {kAreaHoldingRegisters, 101, kTypeInt16, true},
    {kAreaHoldingRegisters, 2, kTypeUInt32, false}, {kAreaHoldingRegisters, 4, kTypeFloat, true},
    {kAreaInputRegisters, 200, kTypeUInt16, false},  {kAreaInputRegisters, 202, kTypeFloat, false},
    {kAreaCoils, 0, kTypeBit, true},                 {kAreaCoils, 1, kTypeBit, false},
    {kAreaCoils, 2, kTypeBit, true},                 {kAreaCoils, 3, kTypeBit, false},
};

constexpr int32_t kStations[] = {1, 2};
// Identity bytes from here up stay below 0x7F, so the float tags' bits are
// always a normal number, never an infinity or NaN.
constexpr uint8_t kFirstIdentity = 0x21;

}  // namespace

uint16_t ItemBase(int driverIndex) {
    return static_cast<uint16_t>(driverIndex * kItemSpan);
}

std::vector<ChaosTag> ChaosTags(int driverIndex) {
    std::vector<ChaosTag> tags;
    uint8_t identity = static_cast<uint8_t>(kFirstIdentity + driverIndex * std::size(kStations) * std::size(kPlaces));
    for (int32_t station : kStations) {
        for (const TagPlace& place : kPlaces) {
            const SoakTag tag{station, place.area, static_cast<uint16_t>(ItemBase(driverIndex) + place.offset),
                              place.dataType, {}};
            tags.push_back({tag, identity++, place.written});
        }
    }
    return tags;
}

uint32_t NthValue(const ChaosTag& tag, uint32_t n) {
    if (tag.tag.area == kAreaCoils) return n & 1;
    const uint32_t word = uint32_t{tag.identity} << 8 | (n & 0xFF);
    return ItemCount(tag.tag) == 2 ? (word ^ 0x80) << 16 | word : word;
}
