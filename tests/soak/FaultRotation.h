#pragma once
// The faults the soak injects, one at a time in turn: each bends the next
// reply on the line, or, for the slave stop, takes the slave away until the
// run starts it again. A line reached over TCP has faults of its connection
// besides.
#include <cstdint>
#include <vector>

#include "support/LineFixture.h"

// The request whose reply the fault meets, and details that vary from one
// injection to the next.
struct FaultTarget {
    uint8_t station;
    uint8_t function;
    uint32_t serial;   // faults injected before this one
    uint32_t lateMs;   // a delay that outlasts the response time-out
};

struct FaultKind {
    const char* name;
    bool beforeWrite;  // meets a write's acknowledgement, not a poll's reply
    bool stopsSlave;
    void (*inject)(LineFixture& line, const FaultTarget& target);
};

const std::vector<FaultKind>& FaultKinds();
const std::vector<FaultKind>& NetworkFaultKinds();
