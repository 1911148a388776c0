#include "TagHistory.h"

TagHistory::TagHistory(size_t tagCount) : m_held(tagCount), m_changes(tagCount, 0) {
    for (std::vector<Held>& held : m_held) held.reserve(kKept);
}

void TagHistory::Begin(size_t tag, uint32_t raw, SoakClock::time_point at) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_held[tag].assign(1, Held{raw, at, SoakClock::time_point::max()});
}

void TagHistory::Change(size_t tag, uint32_t raw, SoakClock::time_point asked, SoakClock::time_point done) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_changes[tag];
    std::vector<Held>& held = m_held[tag];
    if (held.back().raw == raw) return;
    held.back().until = done;
    if (held.size() == kKept) held.erase(held.begin());
    held.push_back({raw, asked, SoakClock::time_point::max()});
}

std::vector<uint32_t> TagHistory::HeldBetween(size_t tag, SoakClock::time_point from, SoakClock::time_point to) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<uint32_t> values;
    for (const Held& held : m_held[tag]) {
        if (held.from <= to && held.until >= from) values.push_back(held.raw);
    }
    return values;
}

uint32_t TagHistory::Latest(size_t tag) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_held[tag].back().raw;
}

uint32_t TagHistory::Changes(size_t tag) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_changes[tag];
}
