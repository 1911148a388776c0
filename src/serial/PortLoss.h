#pragma once
// Which failures of a call on a serial port mean that the port itself is
// gone, as when its USB adapter is pulled, rather than that a device was
// slow or silent. A time-out is never one.
#include <cstdint>

namespace serial {

bool IsPortLoss(uint32_t code);

}  // namespace serial
