#pragma once
// Which stations of a line stopped answering. A station whose requests got
// no reply at all so many times in a row is demoted: requests to it are
// refused without traffic for a period, after which one request probes it.
// Any reply restores it; a silent probe demotes it for another period.
//
// The line owns one for all its users, since a station's silence is a fact
// of the line, whichever driver object asked. Its own lock guards it, as
// threads may use one line at once. While every station answers, which is
// the line's normal state, a request costs it no lock and no clock reading.
// The clock gives milliseconds from any fixed origin.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "tags/FrameExchange.h"

class CStationHealth {
public:
    // Every station as new: what their silence said under another line
    // format, or before the port was opened again, no longer holds.
    void Forget();
    using Clock = std::function<uint64_t()>;

    modbus::Admission Admit(uint8_t station, const Clock& nowMs);
    // demoteAfter 0 never demotes a station that answered once; a station on
    // probation is demoted again by one silence all the same.
    modbus::HealthChange CountReply(uint8_t station, bool replied, int32_t demoteAfter, int32_t demoteForMs,
                                    const Clock& nowMs);

private:
    struct Record {
        int32_t silentInARow = 0;
        bool demoted = false;
        uint64_t demotedUntil = 0;
    };

    std::mutex m_lock;
    std::map<uint8_t, Record> m_stations;
    // How many stations have a record: silences not yet followed by a reply.
    std::atomic<size_t> m_recorded{0};
};
