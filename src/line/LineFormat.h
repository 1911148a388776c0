#pragma once
// The line format of a serial link and the host's tables that give it: baud
// rates and parities by index. The one home of these tables; the driver, the
// command-line tool and the benchmark all read them here. Platform-free, so
// that any of them can include it.
#include <cstddef>
#include <cstdint>

namespace line {

// Indexed by the host's baudIndex.
inline constexpr uint32_t kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                          19200, 38400, 56000, 57600, 115200, 128000, 256000};
inline constexpr size_t kBaudRateCount = sizeof(kBaudRates) / sizeof(kBaudRates[0]);

struct ParityEntry {
    uint8_t code;  // the system's parity code: 0 none, 1 odd, 2 even, 3 mark, 4 space
    char letter;   // as in "8N1"
    const char* name;
};

// Indexed by the host's parityIndex, which orders them odd, even, none, mark,
// space: not the system's order.
inline constexpr ParityEntry kParities[] = {
    {1, 'O', "odd"}, {2, 'E', "even"}, {0, 'N', "none"}, {3, 'M', "mark"}, {4, 'S', "space"},
};
inline constexpr size_t kParityCount = sizeof(kParities) / sizeof(kParities[0]);

// The system's stop-bit codes.
inline constexpr uint8_t kOneStopBit = 0;
inline constexpr uint8_t kTwoStopBits = 2;

struct LineFormat {
    uint32_t baud;
    uint8_t byteSize;
    uint8_t parity;    // the system's code
    uint8_t stopBits;  // the system's code
};

inline bool operator==(const LineFormat& a, const LineFormat& b) {
    return a.baud == b.baud && a.byteSize == b.byteSize && a.parity == b.parity && a.stopBits == b.stopBits;
}

// False when the baud or parity index lies outside its table; the index is
// taken as unsigned, so negative ones are outside too.
bool LineFormatOf(uint32_t baudIndex, bool eightDataBits, int16_t parityIndex, bool twoStopBits, LineFormat& format);

// Bits on the wire for one character: start bit, data bits, parity bit if
// any, stop bits.
uint32_t CharacterBits(const LineFormat& format);
// How long characters take on the wire at the format's rate, in whole
// microseconds, rounded up.
uint64_t WireMicroseconds(const LineFormat& format, uint64_t characters);

// The host's baudIndex of a rate; false for a rate the table lacks.
bool BaudIndexOf(uint32_t baud, uint32_t& index);

}  // namespace line
