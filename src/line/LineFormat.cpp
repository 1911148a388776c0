#include "line/LineFormat.h"

namespace line {

bool LineFormatOf(uint32_t baudIndex, bool eightDataBits, int16_t parityIndex, bool twoStopBits, LineFormat& format) {
    const auto parity = static_cast<uint16_t>(parityIndex);
    if (baudIndex >= kBaudRateCount || parity >= kParityCount) return false;
    format.baud = kBaudRates[baudIndex];
    format.byteSize = eightDataBits ? 8 : 7;
    format.parity = kParities[parity].code;
    format.stopBits = twoStopBits ? kTwoStopBits : kOneStopBit;
    return true;
}

uint32_t CharacterBits(const LineFormat& format) {
    const uint32_t parityBits = format.parity != 0 ? 1 : 0;
    const uint32_t stopBits = format.stopBits == kTwoStopBits ? 2 : 1;
    return 1 + format.byteSize + parityBits + stopBits;
}

uint64_t WireMicroseconds(const LineFormat& format, uint64_t characters) {
    if (format.baud == 0) return 0;
    const uint64_t bits = characters * CharacterBits(format);
    return (bits * 1000000 + format.baud - 1) / format.baud;
}

bool BaudIndexOf(uint32_t baud, uint32_t& index) {
    for (uint32_t i = 0; i < kBaudRateCount; ++i) {
        if (kBaudRates[i] == baud) {
            index = i;
            return true;
        }
    }
    return false;
}

}  // namespace line
