#pragma once
// The monitor soak's verdict: the records a listener wrote (JSON Lines, one
// per exchange) held against the driving master's own log. Each request the
// master sent must show as one record paired with the very reply the master
// took (its station, function, what was asked and what came back), or as
// unanswered where it took none. Records that pair nothing (noise, replies
// nobody asked for, CRC errors) count as unclassified, apart from those
// before the master's first exchange or after its last, where listening
// began or ended in the middle of one.
#include <cstddef>
#include <string>
#include <vector>

#include "ListenedMaster.h"

struct ListenedTally {
    size_t exchanges = 0;
    size_t right = 0;
    size_t unclassified = 0;
    size_t atTheEdges = 0;
    size_t extra = 0;  // records of a request the master did not send
    std::vector<std::string> examples;  // the first few faults, for the report

    size_t Wrong() const { return exchanges - right; }
    bool Clean() const { return Wrong() == 0 && unclassified == 0 && extra == 0; }
};

ListenedTally TallyListenedRecords(const std::vector<MasterExchange>& log, const std::vector<std::string>& records);
