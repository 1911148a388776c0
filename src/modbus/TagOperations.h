#pragma once
// The protocol side of the driver's tag operations. Each returns the error
// code the driver records (0 on success); the driver turns it into 1 / 0.
#include <cstdint>

#include "modbus/FrameExchange.h"
#include "modbus/StationMaps.h"
#include "modbus/TagRecords.h"

namespace modbus {

// 0, 3 (register not supported) or 4 (wrong data type).
int32_t ParseAddress(const char* text, TagAddress* tag);
// 0 or 5 (error reading the device).
int32_t ReadTag(StationMaps maps, IFrameExchange& line, const int32_t* station, const TagAddress* tag,
                TagValue* value);
// 0, 3 (area or type not writable) or 6 (error writing the device).
int32_t WriteTag(StationMaps maps, IFrameExchange& line, const int32_t* station, const TagAddress* tag,
                 const TagValue* value);

}  // namespace modbus
