#include "tags/BlockSplit.h"

#include <cstdlib>

namespace modbus {

bool ChooseSplit(const std::vector<uint32_t>& addresses, uint32_t width, uint32_t& cut) {
    bool found = false;
    uint32_t widestGap = 0;
    int64_t bestDistance = 0;
    const int64_t count = static_cast<int64_t>(addresses.size());
    for (size_t i = 1; i < addresses.size(); ++i) {
        const uint64_t lowerEnd = uint64_t{addresses[i - 1]} + width;
        if (lowerEnd > addresses[i]) continue;
        const uint32_t gap = static_cast<uint32_t>(addresses[i] - lowerEnd);
        const int64_t distance = std::llabs(2 * static_cast<int64_t>(i) - count);
        if (!found || gap > widestGap || (gap == widestGap && distance < bestDistance)) {
            found = true;
            widestGap = gap;
            bestDistance = distance;
            cut = addresses[i];
        }
    }
    return found;
}

}  // namespace modbus
