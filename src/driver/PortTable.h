#pragma once
// The module-wide table of open links, one entry per port index (COM1 to
// COM64). Driver objects given the same settings record share one link:
// the first opens it and publishes it here, the others adopt it, and the
// last one to give up its share closes it.
#include <windows.h>

#include <cstdint>

struct PortLink {
    HANDLE handle;   // the open device, 0 while no driver object uses it
    HANDLE ioEvent;  // the completion event that goes with the handle
    uint32_t users;  // driver objects holding a share of the link
};

constexpr int32_t kPortCount = 64;

extern PortLink g_portEvents[kPortCount];

inline bool IsPortIndex(int32_t index) {
    return index >= 0 && index < kPortCount;
}
