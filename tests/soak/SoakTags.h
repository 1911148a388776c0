#pragma once
// The soak's poll: 100 tags over three stations, every area and data type,
// in eight blocks, with 16-bit and 32-bit tags over the same registers on
// station 3.
#include <cstdint>
#include <vector>

#include "tags/TagRecords.h"

struct SoakTag {
    int32_t station;
    int16_t area;
    uint16_t address;  // zero-based, on the wire
    int16_t dataType;
    TagAddress parsed;  // filled by the driver's ParseAddress
};

std::vector<SoakTag> SoakTags();

// The items a tag covers: two registers for the 32-bit types, else one.
uint16_t ItemCount(const SoakTag& tag);
bool IsWritable(const SoakTag& tag);
// "4x101" and the like, one-based.
const char* AddressText(const SoakTag& tag);

// The tag's items as one raw value: a bit, a register, or two registers
// with the tag's own as the low word.
uint32_t RawValue(const SoakTag& tag, const std::vector<uint16_t>& items);
// Whether the field of the tag's data type holds what a read of raw gives.
bool FieldMatches(const SoakTag& tag, uint32_t raw, const TagValue& value);
// The tag's item i (0 or 1) of the raw value.
uint16_t ItemOf(const SoakTag& tag, uint32_t raw, uint16_t i);

class LineFixture;
// Gives the tag's items the raw value in the slave's tables.
void SetDeviceItems(LineFixture& line, const SoakTag& tag, uint32_t raw);
// The raw value the tag's items hold in the slave's tables.
uint32_t DeviceItems(LineFixture& line, const SoakTag& tag);

// What to give Write so that the device ends up with raw; for a BCD tag raw
// must hold decimal digits only.
TagValue ValueToWrite(const SoakTag& tag, uint32_t raw);
