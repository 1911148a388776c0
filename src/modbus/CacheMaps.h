#pragma once
// The station maps of an area: the bit areas have one, the register areas a
// 16-bit and a 32-bit view of the same registers.
#include <cstdint>

#include "modbus/StationMaps.h"
#include "modbus/TagRecords.h"

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

}  // namespace modbus
