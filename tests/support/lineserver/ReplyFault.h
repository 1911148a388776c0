#pragma once
// Faults the test asked for on the next reply, and how they turn a reply into
// the parts the relay transmits.
#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

#include "PacedWriter.h"

struct ReplyFault {
    std::chrono::milliseconds delay{0};
    size_t splitAfter = 0;  // 0: not split
    std::chrono::milliseconds splitPause{0};
    bool drop = false;
    bool twice = false;  // the reply sent again behind itself
    std::chrono::milliseconds twicePause{0};  // between the reply and its copy
    std::optional<size_t> corruptIndex;
    Bytes prefix;
    Bytes suffix;
};

// Delay, then prefix + reply + suffix; a split puts its pause after the
// reply's first splitAfter bytes. A dropped reply leaves prefix and suffix;
// a reply sent twice right behind itself counts as one reply of double
// length, one sent again after a pause as the reply and a part of its own.
std::vector<PacedPart> PlanReply(const ReplyFault& fault, Bytes reply);

// How a USB adapter hands received bytes over: in bursts of at most bytes,
// each after a pause. 0 bytes: as they come.
struct Bursts {
    size_t bytes = 0;
    std::chrono::milliseconds pause{0};
};

// Counts replies and tells which is the nth since it was set; n 0: none.
class EveryNth {
public:
    void Set(size_t n) { m_n = n; m_count = 0; }
    bool Tick() { return m_n > 0 && ++m_count % m_n == 0; }

private:
    size_t m_n = 0;
    size_t m_count = 0;
};

// The parts cut into bursts; a part's own pause stays before its first burst.
std::vector<PacedPart> InBursts(std::vector<PacedPart> parts, const Bursts& bursts);
