#include "TagSet.h"

#include "tags/AreaRules.h"

namespace bench {
namespace {

// count tags of one type, each right behind the one before.
void AddRun(std::vector<BenchTag>& tags, int station, Area area, uint16_t first, int count, int16_t type) {
    uint16_t address = first;
    for (int i = 0; i < count; ++i) {
        tags.push_back({station, area, address, type});
        address = static_cast<uint16_t>(address + ItemCount(tags.back()));
    }
}

void AddAt(std::vector<BenchTag>& tags, int station, Area area, std::initializer_list<uint16_t> addresses,
           int16_t type) {
    for (uint16_t address : addresses) tags.push_back({station, area, address, type});
}

}  // namespace

// 146 tags: 121 holding registers in five blocks, 40 coils, 12 input
// registers. Stations 2 and 3 have their tags scattered with small holes
// between them, as device register maps tend to; station 1 has tight tables.
std::vector<BenchTag> PlantTags() {
    std::vector<BenchTag> tags;
    // Station 1, a process controller: measured values, limits, counters in
    // BCD, twelve float readings, its output coils and its analog inputs.
    AddRun(tags, 1, kAreaHoldingRegisters, 1, 20, kTypeUInt16);
    AddRun(tags, 1, kAreaHoldingRegisters, 21, 6, kTypeInt16);
    AddRun(tags, 1, kAreaHoldingRegisters, 27, 4, kTypeBcd);
    AddRun(tags, 1, kAreaHoldingRegisters, 101, 12, kTypeFloat);
    AddRun(tags, 1, kAreaCoils, 1, 24, kTypeBit);
    AddRun(tags, 1, kAreaInputRegisters, 1, 8, kTypeUInt16);
    // Station 2, a drive: parameters spread over its map, a recipe table,
    // two groups of status coils.
    AddAt(tags, 2, kAreaHoldingRegisters, {201, 202}, kTypeUInt16);
    AddAt(tags, 2, kAreaHoldingRegisters, {205}, kTypeFloat);
    AddAt(tags, 2, kAreaHoldingRegisters, {208}, kTypeInt16);
    AddAt(tags, 2, kAreaHoldingRegisters, {211}, kTypeUInt16);
    AddAt(tags, 2, kAreaHoldingRegisters, {213}, kTypeUInt32);
    AddAt(tags, 2, kAreaHoldingRegisters, {217}, kTypeUInt16);
    AddAt(tags, 2, kAreaHoldingRegisters, {219}, kTypeFloat);
    AddAt(tags, 2, kAreaHoldingRegisters, {223}, kTypeBcd);
    AddAt(tags, 2, kAreaHoldingRegisters, {226, 229, 231}, kTypeUInt16);
    AddRun(tags, 2, kAreaHoldingRegisters, 301, 30, kTypeUInt16);
    AddRun(tags, 2, kAreaCoils, 1, 8, kTypeBit);
    AddRun(tags, 2, kAreaCoils, 17, 8, kTypeBit);
    // Station 3, a power meter: a float in every fourth register, two
    // status words and a float among its input registers.
    AddAt(tags, 3, kAreaHoldingRegisters, {1001, 1005, 1009, 1013, 1017, 1021, 1025, 1029, 1033, 1037, 1041},
          kTypeFloat);
    AddAt(tags, 3, kAreaInputRegisters, {1, 2}, kTypeUInt16);
    AddAt(tags, 3, kAreaInputRegisters, {11}, kTypeFloat);
    return tags;
}

std::string AddressText(const BenchTag& tag) {
    return std::string(1, modbus::FindAreaRule(tag.area)->prefixDigit) + "x" + std::to_string(tag.address);
}

uint16_t ItemCount(const BenchTag& tag) {
    return static_cast<uint16_t>(modbus::ItemsSpanned(tag.dataType, 1));
}

uint8_t ReadFunction(Area area) {
    return modbus::FindAreaRule(area)->readFunction;
}

}  // namespace bench
