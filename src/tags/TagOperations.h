#pragma once
// The protocol side of the driver's tag operations. Each returns an outcome
// of the protocol's own; the driver turns it into the host's codes.
#include <cstdint>

#include "tags/FrameExchange.h"
#include "tags/StationMaps.h"
#include "tags/TagRecords.h"

namespace modbus {

enum class Outcome {
    kDone,
    kBadAddress,   // an address or a record the area cannot take
    kBadType,      // a data type the area cannot take
    kReadFailed,   // no valid reply to a read
    kWriteFailed,  // no acknowledgement of a write
    // The device answered a write with exception 05: it took the write and
    // is carrying it out, but has not confirmed it done.
    kWriteAcknowledged,
};

// kDone, kBadAddress or kBadType.
Outcome ParseAddress(const char* text, TagAddress* tag);
// Registers the item of a tag ParseAddress accepted in the view of its area
// and type, for the first blocks of the station (of every station for
// StationCacheMap's kAnyStation) read from then on.
void RememberParsedTag(StationMaps maps, uint32_t station, const TagAddress& tag);
// kDone or kReadFailed.
Outcome ReadTag(StationMaps maps, IFrameExchange& line, const int32_t* station, const TagAddress* tag,
                TagValue* value);
// kDone, kBadAddress (area or type not writable), kWriteFailed or
// kWriteAcknowledged. An unconfirmed write leaves nothing of its items fresh.
Outcome WriteTag(StationMaps maps, IFrameExchange& line, const int32_t* station, const TagAddress* tag,
                 const TagValue* value);

}  // namespace modbus
