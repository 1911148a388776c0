#pragma once
// The chaos soak's tags: each driver object polls twelve tags on each of two
// stations, in six blocks per station, two of them of the same reply shape
// so that a reply taken for the wrong request shows. Every register tag has
// an identity byte that no other tag's values carry, so a value that belongs
// to another tag is caught. Some tags only the line server changes, the
// others only their driver object's writes.
#include <cstdint>
#include <vector>

#include "SoakTags.h"

struct ChaosTag {
    SoakTag tag;
    uint8_t identity;  // the high byte of every register of the tag's values
    bool written;      // changed by writes, not by the line server
};

// The tags of one driver object; the objects' tags lie apart.
std::vector<ChaosTag> ChaosTags(int driverIndex);

// Where a driver object's items start, and how far they reach.
uint16_t ItemBase(int driverIndex);
constexpr uint16_t kItemSpan = 1000;

// The tag's nth value: for a register tag its identity byte over n in each
// register (a normal float's bits for the float tags), for a coil n's lowest
// bit.
uint32_t NthValue(const ChaosTag& tag, uint32_t n);
