#pragma once
// The station maps of an area: the bit areas have one, the register areas a
// 16-bit and a 32-bit view of the same registers.
#include <cstdint>

#include "tags/AreaRules.h"
#include "tags/StationMaps.h"
#include "tags/TagRecords.h"

namespace modbus {

inline BitStationMap& BitMapOf(StationMaps maps, int32_t area) {
    return area == kAreaCoils ? maps.coils : maps.discreteInputs;
}

inline WordStationMap& WordMapOf(StationMaps maps, int32_t area) {
    return area == kAreaHoldingRegisters ? maps.holdingWords : maps.inputWords;
}

inline DWordStationMap& DWordMapOf(StationMaps maps, int32_t area) {
    return area == kAreaHoldingRegisters ? maps.holdingDWords : maps.inputDWords;
}

// Calls visit with the map of the area's view that a tag of the group is
// kept in.
template <typename Visit>
decltype(auto) VisitMapOf(StationMaps maps, TypeGroup group, int32_t area, Visit&& visit) {
    switch (group) {
    case TypeGroup::kBit:
        return visit(BitMapOf(maps, area));
    case TypeGroup::kWord:
        return visit(WordMapOf(maps, area));
    case TypeGroup::kDWord:
        break;
    }
    return visit(DWordMapOf(maps, area));
}

}  // namespace modbus
