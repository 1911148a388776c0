#pragma once
// The percentiles korvel-poll's figures give of times: the median and the
// 95th of the answer times, of a listened line's poll intervals too.
#include <cstdint>
#include <random>
#include <vector>

// The smallest value that at least the fraction of values does not exceed
// (nearest rank): the median at 0.5. 0 for no values.
uint64_t Percentile(std::vector<uint64_t> values, double fraction);

// Times kept for their percentiles in bounded memory: every one up to
// kKept, then a uniform sample of all seen, so that a line listened to for
// days costs a few kilobytes a station, and the figures stay those of the
// whole run: exact up to kKept times, estimated beyond.
class TimeSamples {
public:
    static constexpr size_t kKept = 4096;
    void Add(uint64_t us);
    bool Empty() const { return m_kept.empty(); }
    size_t Kept() const { return m_kept.size(); }
    uint64_t At(double fraction) const { return Percentile(m_kept, fraction); }

private:
    std::vector<uint64_t> m_kept;
    uint64_t m_seen = 0;
    std::minstd_rand m_random;
};
