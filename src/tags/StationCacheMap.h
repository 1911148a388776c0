#pragma once
// The caches of one area and value width, one per station.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "tags/BlockCache.h"

namespace modbus {

template <typename Cache>
class StationCacheMap {
public:
    // Gives the block limits of a station's cache when it is created.
    using LimitsOf = std::function<BlockLimits(uint32_t station)>;

    // Without limitsOf every cache plans under its class's default limits.
    StationCacheMap() = default;
    explicit StationCacheMap(LimitsOf limitsOf) : m_limitsOf(std::move(limitsOf)) {}
    virtual ~StationCacheMap() = default;

    // Null when the station has no cache in this map.
    Cache* Find(uint32_t station) {
        auto found = m_caches.find(station);
        return found == m_caches.end() ? nullptr : found->second.get();
    }

    // Creates the station's cache on first use, with the items parsed for
    // it, and those parsed for no station in particular, registered. Should
    // memory run out, the map stays as it was.
    Cache& FindOrInsert(uint32_t station) {
        if (Cache* cache = Find(station)) return *cache;
        auto cache = m_limitsOf ? std::make_unique<Cache>(m_limitsOf(station)) : std::make_unique<Cache>();
        for (const auto& [parsedFor, address] : m_parsed) {
            if (parsedFor == station || parsedFor == kAnyStation) cache->AddAddress(address);
        }
        return *m_caches.emplace(station, std::move(cache)).first->second;
    }

    // What every station's cache learned from its device.
    void ForgetLearned() {
        for (auto& [station, cache] : m_caches) cache->ForgetLearned();
    }

    void ForgetValues() {
        for (auto& [station, cache] : m_caches) cache->ForgetValues();
    }

    // Station 0 is no station's address.
    static constexpr uint32_t kAnyStation = 0;
    // An item the host has parsed a tag for: the caches created from now on
    // plan their first blocks with it.
    void AddParsedItem(uint32_t station, uint32_t address) { m_parsed.insert({station, address}); }

private:
    LimitsOf m_limitsOf;
    std::set<std::pair<uint32_t, uint32_t>> m_parsed;  // station, address
    std::map<uint32_t, std::unique_ptr<Cache>> m_caches;
};

}  // namespace modbus
