#pragma once
// Where a block the device refused is split in two. Items the host never
// asked for are the likeliest ones a device lacks, so the split goes into
// the widest run of such items, nearest the middle among equals.
#include <cstdint>
#include <vector>

namespace modbus {

// addresses are the block's registered items in order, each width items
// wide. cut receives the first address of the upper part; false when no two
// neighbours can be parted without splitting an item.
bool ChooseSplit(const std::vector<uint32_t>& addresses, uint32_t width, uint32_t& cut);

}  // namespace modbus
