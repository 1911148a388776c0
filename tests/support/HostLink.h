#pragma once
// The link record a host hands to Open, as the tests fill it: the host's
// indices into the driver's baud-rate table, and a line of 8 data bits, no
// parity, one stop bit, RTS left alone.
#include <cstdint>

#include "driver/HostRecords.h"

constexpr uint32_t kBaudIndex9600 = 6;
constexpr uint32_t kBaudIndex115200 = 12;

inline LinkParameters LinkAt9600(int portIndex, uint32_t responseTimeoutMs) {
    LinkParameters link = {};
    link.portIndex = static_cast<int16_t>(portIndex);
    link.baudIndex = kBaudIndex9600;
    link.eightDataBits = 1;
    link.twoStopBits = 0;
    link.parityIndex = 2;  // none
    link.rtsControl = 0;
    link.responseTimeout = responseTimeoutMs;
    return link;
}
