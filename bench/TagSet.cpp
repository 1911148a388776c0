#include "TagSet.h"

namespace bench {
namespace {

struct AreaRow {
    const char* prefix;
    uint8_t readFunction;
};

// Indexed by Area.
constexpr AreaRow kAreas[] = {{"0x", 1}, {"1x", 2}, {"3x", 4}, {"4x", 3}};

const AreaRow& RowOf(Area area) {
    return kAreas[static_cast<int>(area)];
}

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
    AddRun(tags, 1, Area::kHoldingRegisters, 1, 20, kUInt16);
    AddRun(tags, 1, Area::kHoldingRegisters, 21, 6, kInt16);
    AddRun(tags, 1, Area::kHoldingRegisters, 27, 4, kBcd);
    AddRun(tags, 1, Area::kHoldingRegisters, 101, 12, kFloat);
    AddRun(tags, 1, Area::kCoils, 1, 24, kBit);
    AddRun(tags, 1, Area::kInputRegisters, 1, 8, kUInt16);
    // Station 2, a drive: parameters spread over its map, a recipe table,
    // two groups of status coils.
    AddAt(tags, 2, Area::kHoldingRegisters, {201, 202}, kUInt16);
    AddAt(tags, 2, Area::kHoldingRegisters, {205}, kFloat);
    AddAt(tags, 2, Area::kHoldingRegisters, {208}, kInt16);
    AddAt(tags, 2, Area::kHoldingRegisters, {211}, kUInt16);
    AddAt(tags, 2, Area::kHoldingRegisters, {213}, kUInt32);
    AddAt(tags, 2, Area::kHoldingRegisters, {217}, kUInt16);
    AddAt(tags, 2, Area::kHoldingRegisters, {219}, kFloat);
    AddAt(tags, 2, Area::kHoldingRegisters, {223}, kBcd);
    AddAt(tags, 2, Area::kHoldingRegisters, {226, 229, 231}, kUInt16);
    AddRun(tags, 2, Area::kHoldingRegisters, 301, 30, kUInt16);
    AddRun(tags, 2, Area::kCoils, 1, 8, kBit);
    AddRun(tags, 2, Area::kCoils, 17, 8, kBit);
    // Station 3, a power meter: a float in every fourth register, two
    // status words and a float among its input registers.
    AddAt(tags, 3, Area::kHoldingRegisters, {1001, 1005, 1009, 1013, 1017, 1021, 1025, 1029, 1033, 1037, 1041},
          kFloat);
    AddAt(tags, 3, Area::kInputRegisters, {1, 2}, kUInt16);
    AddAt(tags, 3, Area::kInputRegisters, {11}, kFloat);
    return tags;
}

std::string AddressText(const BenchTag& tag) {
    return RowOf(tag.area).prefix + std::to_string(tag.address);
}

uint16_t ItemCount(const BenchTag& tag) {
    return tag.dataType == kUInt32 || tag.dataType == kFloat ? 2 : 1;
}

uint8_t ReadFunction(Area area) {
    return RowOf(area).readFunction;
}

}  // namespace bench
