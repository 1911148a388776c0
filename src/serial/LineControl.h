#pragma once
// Line controls the exchanges apply to the port's device handle directly.
// A closed port (null handle) is left alone.
#include <windows.h>

#include <cstdint>

namespace line {

// How long the exchanges that time their own replies give a request to leave.
constexpr uint32_t kWriteTimeoutMs = 2000;

inline void KeyRts(HANDLE handle, bool on) {
    if (handle != nullptr) EscapeCommFunction(handle, on ? SETRTS : CLRRTS);
}

// Bytes waiting in the input queue; a failed status query counts as none.
inline uint32_t QueuedBytes(HANDLE handle) {
    DWORD errors = 0;
    COMSTAT status{};
    if (handle != nullptr) ClearCommError(handle, &errors, &status);
    return status.cbInQue;
}

inline void DiscardInput(HANDLE handle) {
    if (handle != nullptr) PurgeComm(handle, PURGE_RXCLEAR);
}

}  // namespace line
