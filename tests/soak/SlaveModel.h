#pragma once
// What the slave's tables hold, kept beside the line as the soak changes
// them, and for each tag every value its items held since the driver last
// delivered it. The cache hands out a value fetched at any time since the
// tag's last delivery; a delivered value outside that history is one the
// device never gave.
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "SoakTags.h"

class SlaveModel {
public:
    explicit SlaveModel(const std::vector<SoakTag>& tags);

    uint16_t Item(int32_t station, int16_t area, uint16_t address) const;
    std::vector<uint16_t> Items(const SoakTag& tag) const;
    uint32_t Raw(const SoakTag& tag) const { return RawValue(tag, Items(tag)); }

    // The slave's item changed: every tag over it gains the new value.
    void SetItem(int32_t station, int16_t area, uint16_t address, uint16_t value);
    // Whether value is one the tag's items held since its last delivery;
    // either way the history starts again from the present value.
    bool Deliver(size_t tagIndex, const TagValue& value);

private:
    using Key = std::tuple<int32_t, int16_t, uint16_t>;

    const std::vector<SoakTag>& m_tags;
    std::map<Key, uint16_t> m_items;
    std::vector<std::vector<uint32_t>> m_history;  // by tag index
};
