#include "serial/LineFormat.h"

namespace serial {

bool LineFormatOf(uint32_t baudIndex, bool eightDataBits, int16_t parityIndex, bool twoStopBits, LineFormat& format) {
    const auto parity = static_cast<uint16_t>(parityIndex);
    if (baudIndex >= kBaudRateCount || parity >= kParityCount) return false;
    format.baud = kBaudRates[baudIndex];
    format.byteSize = eightDataBits ? 8 : 7;
    format.parity = kParities[parity].code;
    format.stopBits = twoStopBits ? kTwoStopBits : kOneStopBit;
    return true;
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

}  // namespace serial
