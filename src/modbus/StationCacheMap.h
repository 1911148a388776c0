#pragma once
// The caches of one area and value width, one per station.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "modbus/BlockCache.h"

template <typename Cache>
class StationCacheMap {
public:
    // Gives the block limits of a station's cache when it is created.
    using LimitsOf = std::function<modbus::BlockLimits(uint32_t station)>;

    // Without limitsOf every cache plans under its class's default limits.
    StationCacheMap() = default;
    explicit StationCacheMap(LimitsOf limitsOf) : m_limitsOf(std::move(limitsOf)) {}
    virtual ~StationCacheMap() = default;

    // Null when the station has no cache in this map.
    Cache* Find(uint32_t station) {
        auto found = m_caches.find(station);
        return found == m_caches.end() ? nullptr : found->second.get();
    }

    // Creates the station's cache on first use, with every parsed item
    // registered. Should memory run out, the map stays as it was.
    Cache& FindOrInsert(uint32_t station) {
        if (Cache* cache = Find(station)) return *cache;
        auto cache = m_limitsOf ? std::make_unique<Cache>(m_limitsOf(station)) : std::make_unique<Cache>();
        for (uint32_t address : m_parsed) cache->AddAddress(address);
        return *m_caches.emplace(station, std::move(cache)).first->second;
    }

    // An item the host has parsed a tag for, whatever its station: the
    // caches created from now on plan their first blocks with it.
    void AddParsedItem(uint32_t address) { m_parsed.insert(address); }

private:
    LimitsOf m_limitsOf;
    std::set<uint32_t> m_parsed;
    std::map<uint32_t, std::unique_ptr<Cache>> m_caches;
};
