#include "RangePlan.h"

#include <map>
#include <set>
#include <utility>

namespace bench {
namespace {

// What one request may carry: registers, and bits.
constexpr uint16_t kMostRegisters = 125;
constexpr uint16_t kMostBits = 2000;

uint16_t MostItems(uint8_t function) {
    return function == 1 || function == 2 ? kMostBits : kMostRegisters;
}

ReadRequest RequestFor(const BenchTag& tag) {
    return {tag.station, ReadFunction(tag.area), static_cast<uint16_t>(tag.address - 1), ItemCount(tag)};
}

}  // namespace

std::vector<ReadRequest> RangeRequests(const std::vector<BenchTag>& tags) {
    // Keyed by station and function; the map keeps them in a stable order.
    std::map<std::pair<int, uint8_t>, std::set<uint16_t>> items;
    for (const BenchTag& tag : tags) {
        const ReadRequest own = RequestFor(tag);
        auto& set = items[{own.station, own.function}];
        for (uint16_t i = 0; i < own.quantity; ++i) set.insert(static_cast<uint16_t>(own.start + i));
    }
    std::vector<ReadRequest> requests;
    for (const auto& [key, addresses] : items) {
        const auto [station, function] = key;
        for (uint16_t address : addresses) {
            ReadRequest* last = requests.empty() ? nullptr : &requests.back();
            const bool extends = last != nullptr && last->station == station && last->function == function &&
                                 last->start + last->quantity == address && last->quantity < MostItems(function);
            if (extends) {
                ++last->quantity;
            } else {
                requests.push_back({station, function, address, 1});
            }
        }
    }
    return requests;
}

std::vector<ReadRequest> TagRequests(const std::vector<BenchTag>& tags) {
    std::vector<ReadRequest> requests;
    for (const BenchTag& tag : tags) requests.push_back(RequestFor(tag));
    return requests;
}

}  // namespace bench
