#pragma once
// The tag set of the poll-cycle benchmark: what the host of a small plant
// reads from three stations on one line, in the order it reads them.
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// The host's type codes of the benchmark's tags.
constexpr int16_t kBit = 1;
constexpr int16_t kInt16 = 4;
constexpr int16_t kUInt16 = 8;
constexpr int16_t kBcd = 16;
constexpr int16_t kUInt32 = 32;
constexpr int16_t kFloat = 128;

// Numbered as the driver numbers its areas.
enum class Area : int16_t { kCoils = 0, kDiscreteInputs = 1, kInputRegisters = 2, kHoldingRegisters = 3 };

struct BenchTag {
    int station;
    Area area;
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
