#pragma once
// A view that follows a polling run as it goes, in place of the table the
// run prints: told of every read and of every cycle's end, and given the
// pause between cycles to spend as it needs.
#include <cstddef>
#include <cstdint>

#include "korvel-poll/poll/TagLog.h"

class CycleObserver {
public:
    virtual ~CycleObserver() = default;
    // index: the tag's place in the run's list of tags.
    virtual void TagRead(size_t index, const TagRecord& record) = 0;
    virtual void CycleEnded(unsigned cycle, uint64_t ms) = 0;
    // Waits out the pause between cycles; true when the run is to end.
    virtual bool Pause(unsigned long ms) = 0;
};
