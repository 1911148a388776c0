#include "TagHistory.h"

#include <algorithm>

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
    bool stillOpen = false;
    for (Held& each : held) {
        if (each.until != SoakClock::time_point::max()) continue;
        if (each.raw == raw && !stillOpen) {
            stillOpen = true;
        } else {
            each.until = done;
        }
    }
    if (!stillOpen) Keep(held, {raw, asked, SoakClock::time_point::max()});
}

void TagHistory::MayChange(size_t tag, uint32_t raw, SoakClock::time_point asked) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Keep(m_held[tag], {raw, asked, SoakClock::time_point::max()});
}

// Values the tag may still hold are kept before those it held once.
void TagHistory::Keep(std::vector<Held>& held, const Held& added) {
    if (held.size() == kKept) {
        const auto closed = std::find_if(held.begin(), held.end(),
                                         [](const Held& each) { return each.until != SoakClock::time_point::max(); });
        held.erase(closed == held.end() ? held.begin() : closed);
    }
    held.push_back(added);
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
