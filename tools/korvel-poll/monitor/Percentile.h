#pragma once
// The percentiles korvel-poll's figures give of times: the median and the
// 95th of the answer times, of a listened line's poll intervals too.
#include <cstdint>
#include <vector>

// The smallest value that at least the fraction of values does not exceed
// (nearest rank): the median at 0.5. 0 for no values.
uint64_t Percentile(std::vector<uint64_t> values, double fraction);
