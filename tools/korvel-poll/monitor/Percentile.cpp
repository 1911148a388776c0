#include "korvel-poll/monitor/Percentile.h"

#include <algorithm>
#include <cmath>

uint64_t Percentile(std::vector<uint64_t> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(fraction * static_cast<double>(values.size()));
    const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
    return values[std::min(index, values.size() - 1)];
}

// Each time seen so far stays kept with the same chance, kKept in m_seen.
void TimeSamples::Add(uint64_t us) {
    ++m_seen;
    if (m_kept.size() < kKept) return m_kept.push_back(us);
    const uint64_t draw = (uint64_t{m_random()} << 31) ^ m_random();
    const uint64_t slot = draw % m_seen;
    if (slot < kKept) m_kept[slot] = us;
}
