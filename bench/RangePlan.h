#pragma once
// The requests a master sends per poll cycle to read the benchmark's tags.
#include <cstdint>
#include <vector>

#include "TagSet.h"

namespace bench {

struct ReadRequest {
    int station;
    uint8_t function;
    uint16_t start;  // zero-based, as on the wire
    uint16_t quantity;
};

// One request per contiguous run of items of a station and area, as a master
// that knows nothing of gaps worth reading over does it. Runs longer than a
// request may carry are split.
std::vector<ReadRequest> RangeRequests(const std::vector<BenchTag>& tags);
// One request per tag.
std::vector<ReadRequest> TagRequests(const std::vector<BenchTag>& tags);

}  // namespace bench
