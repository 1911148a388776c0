#pragma once
// The six per-station cache maps of a driver object, one per area and value
// width, as the read and write operations see them.
#include "tags/BlockCache.h"
#include "tags/StationCacheMap.h"

namespace modbus {

using BitStationMap = StationCacheMap<CBitBlockCache>;
using WordStationMap = StationCacheMap<CWordBlockCache>;
using DWordStationMap = StationCacheMap<CDWordBlockCache>;

struct StationMaps {
    BitStationMap& coils;
    BitStationMap& discreteInputs;
    WordStationMap& inputWords;
    WordStationMap& holdingWords;
    DWordStationMap& inputDWords;
    DWordStationMap& holdingDWords;
};

}  // namespace modbus
