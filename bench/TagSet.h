#pragma once
// The tag set of the poll-cycle benchmark: what the host of a small plant
// reads from three stations on one line, in the order it reads them.
#include <cstdint>
#include <string>
#include <vector>

#include "tags/TagRecords.h"

namespace bench {

struct BenchTag {
    int station;
    Area area;  // the host's area code
    uint16_t address;  // one-based, as in the tag's address text
    int16_t dataType;  // the host's type code: 1 bit; 4, 8, 16 one register; 32, 128 two
};

std::vector<BenchTag> PlantTags();

// The tag's address text as a host configures it, e.g. "4x101".
std::string AddressText(const BenchTag& tag);
// Items the tag occupies on the wire: one bit, or one or two registers.
uint16_t ItemCount(const BenchTag& tag);
// The Modbus function that reads the area.
uint8_t ReadFunction(Area area);

}  // namespace bench
