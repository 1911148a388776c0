#include "SlaveModel.h"

#include <algorithm>

namespace {

bool Covers(const SoakTag& tag, int32_t station, int16_t area, uint16_t address) {
    return tag.station == station && tag.area == area && address >= tag.address &&
           address < tag.address + ItemCount(tag);
}

}  // namespace

SlaveModel::SlaveModel(const std::vector<SoakTag>& tags) : m_tags(tags), m_history(tags.size()) {
    for (size_t i = 0; i < tags.size(); ++i) m_history[i].push_back(Raw(tags[i]));
}

uint16_t SlaveModel::Item(int32_t station, int16_t area, uint16_t address) const {
    auto found = m_items.find({station, area, address});
    return found == m_items.end() ? 0 : found->second;
}

std::vector<uint16_t> SlaveModel::Items(const SoakTag& tag) const {
    std::vector<uint16_t> items;
    for (uint16_t i = 0; i < ItemCount(tag); ++i) items.push_back(Item(tag.station, tag.area, tag.address + i));
    return items;
}

void SlaveModel::SetItem(int32_t station, int16_t area, uint16_t address, uint16_t value) {
    m_items[{station, area, address}] = value;
    for (size_t i = 0; i < m_tags.size(); ++i) {
        if (!Covers(m_tags[i], station, area, address)) continue;
        const uint32_t raw = Raw(m_tags[i]);
        if (m_history[i].back() != raw) m_history[i].push_back(raw);
    }
}

bool SlaveModel::Deliver(size_t tagIndex, const TagValue& value) {
    const SoakTag& tag = m_tags[tagIndex];
    std::vector<uint32_t>& history = m_history[tagIndex];
    const bool held = std::any_of(history.begin(), history.end(),
                                  [&](uint32_t raw) { return FieldMatches(tag, raw, value); });
    history.assign(1, Raw(tag));
    return held;
}
