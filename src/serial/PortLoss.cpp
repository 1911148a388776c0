#include "serial/PortLoss.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace serial {
namespace {

// What the system reports for a device that went away under an open handle,
// and for opening it while it is away. Wine reports a pseudo-terminal whose
// far end vanished as not ready (writes, status queries) and as a broken
// pipe (reads).
constexpr uint32_t kPortLossCodes[] = {
    ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,     ERROR_INVALID_HANDLE,
    ERROR_NOT_READY,      ERROR_BAD_COMMAND,       ERROR_GEN_FAILURE,
    ERROR_BROKEN_PIPE,    ERROR_OPERATION_ABORTED, ERROR_DEVICE_NOT_CONNECTED,
};

}  // namespace

bool IsPortLoss(uint32_t code) {
    return std::find(std::begin(kPortLossCodes), std::end(kPortLossCodes), code) != std::end(kPortLossCodes);
}

}  // namespace serial
