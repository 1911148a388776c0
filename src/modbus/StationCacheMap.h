#pragma once
// The caches of one area and value width, one per station.
#include <cstdint>
#include <map>
#include <memory>

template <typename Cache>
class StationCacheMap {
public:
    virtual ~StationCacheMap() = default;

    // Null when the station has no cache in this map.
    Cache* Find(uint32_t station) {
        auto found = m_caches.find(station);
        return found == m_caches.end() ? nullptr : found->second.get();
    }

    // Creates the station's empty cache on first use. Should memory run out,
    // the map stays as it was.
    Cache& FindOrInsert(uint32_t station) {
        if (Cache* cache = Find(station)) return *cache;
        auto cache = std::make_unique<Cache>();
        return *m_caches.emplace(station, std::move(cache)).first->second;
    }

private:
    std::map<uint32_t, std::unique_ptr<Cache>> m_caches;
};
