#include <string>
#include <vector>

#include "modbus/AreaRules.h"
#include "modbus/CacheMaps.h"
#include "modbus/Frames.h"
#include "modbus/TagOperations.h"
#include "modbus/TracedExchange.h"
#include "modbus/ValueCodec.h"

namespace modbus {
namespace {

// Used when the cache cannot name a block, which only an unregistered
// address would cause.
constexpr uint32_t kDefaultBlockLength = 50;

struct ReadTarget {
    uint32_t station;
    uint32_t address;  // zero-based
    int32_t area;
    int32_t count;  // items per request from the ",n" suffix, 0 without one
    int32_t dataType;
    TypeGroup group;
    uint8_t function;
};

// A range of items on the wire: bits, or registers.
struct RequestRange {
    uint32_t start;
    uint32_t quantity;
};

ReadTarget TargetOf(int32_t station, const TagAddress& tag) {
    return {static_cast<uint32_t>(station),
            static_cast<uint32_t>(tag.address - 1),
            tag.area,
            tag.count,
            tag.dataType,
            GroupOf(tag.dataType),
            FindAreaRule(tag.area)->readFunction};
}

uint32_t QuantityFor(const ReadTarget& target, uint32_t items) {
    return ItemsSpanned(target.dataType, items);
}

// A ",n" suffix replaces the planned block with n items from the tag's own.
RequestRange SuffixRange(const ReadTarget& target) {
    return {target.address, QuantityFor(target, static_cast<uint32_t>(target.count))};
}

RequestRange ItemRange(const ReadTarget& target) {
    return target.count != 0 ? SuffixRange(target) : RequestRange{target.address, QuantityFor(target, 1)};
}

template <typename Cache>
RequestRange BlockRange(const Cache& cache, const ReadTarget& target) {
    if (target.count != 0) return SuffixRange(target);
    uint32_t start = 0;
    uint32_t count = kDefaultBlockLength;
    cache.GetBlock(target.address, start, count);
    return {start, QuantityFor(target, count)};
}

// The items of a verified response: one per bit asked for, or one per
// register.
bool FetchItems(IFrameExchange& line, const ReadTarget& target, RequestRange range, std::vector<uint32_t>& items) {
    const uint8_t station = static_cast<uint8_t>(target.station);
    // What the request carries is what the reply is checked and decoded by.
    const uint16_t quantity = static_cast<uint16_t>(range.quantity);
    std::string buffer =
        BuildReadRequest(station, target.function, static_cast<uint16_t>(range.start), quantity);
    int32_t length = static_cast<int32_t>(buffer.size());
    const ReplyShape reply = ReadReplyShape(station, target.function, quantity);
    const LineResult exchanged = TracedExchange(line, buffer, length, reply, "Read Send", "Read Receive");
    const uint32_t byteCount = ExpectedByteCount(target.function, quantity);
    ReadResponse response;
    if (exchanged != LineResult::kReplied || !LocateReadResponse(buffer, length, station, target.function, byteCount, response) ||
        FollowedByAnotherResponse(buffer, length, station, target.function, byteCount, response)) {
        return false;
    }
    const uint8_t* data = reinterpret_cast<const uint8_t*>(buffer.data()) + response.dataOffset;
    items = target.group == TypeGroup::kBit ? DecodeBits(data, quantity)
                                            : DecodeRegisters(data, response.byteCount);
    return true;
}

// A first read stores its own item only: the other entries of its block
// turn fresh from the block's first request on.
template <typename Cache>
void StoreItem(Cache& cache, const ReadTarget& target, const std::vector<uint32_t>& items) {
    const uint32_t value = target.group == TypeGroup::kDWord ? PairRegisters(items)[0] : items[0];
    cache.StoreBlock(&value, target.address, 1);
}

// Registers feed both views of the area, where the station has them. All
// values are decoded before the first store, so running out of memory
// leaves every cache as it was.
void StoreResponse(StationMaps maps, const ReadTarget& target, RequestRange range,
                   const std::vector<uint32_t>& items) {
    const uint32_t count = static_cast<uint32_t>(items.size());
    if (target.group == TypeGroup::kBit) {
        if (CBitBlockCache* bits = BitMapOf(maps, target.area).Find(target.station)) {
            bits->StoreBlock(items.data(), range.start, count);
        }
        return;
    }
    const std::vector<uint32_t> pairs = PairRegisters(items);
    if (CWordBlockCache* words = WordMapOf(maps, target.area).Find(target.station)) {
        words->StoreBlock(items.data(), range.start, count);
    }
    CDWordBlockCache* dwords = DWordMapOf(maps, target.area).Find(target.station);
    if (dwords != nullptr && !pairs.empty()) {
        dwords->StoreBlock(pairs.data(), range.start, static_cast<uint32_t>(pairs.size()));
    }
}

// A fresh value is handed out once. An address new to the cache is
// registered and fetched on its own; any other miss fetches its block.
template <typename Cache>
Outcome ReadThroughCache(StationMaps maps, IFrameExchange& line, const ReadTarget& target,
                         StationCacheMap<Cache>& map, uint32_t& value) {
    Cache& cache = map.FindOrInsert(target.station);
    if (cache.Lookup(value, target.address, true, false)) return Outcome::kDone;
    const bool firstRead = cache.AddAddress(target.address);
    const RequestRange range = firstRead ? ItemRange(target) : BlockRange(cache, target);
    std::vector<uint32_t> items;
    if (!FetchItems(line, target, range, items)) return Outcome::kReadFailed;
    if (firstRead) {
        StoreItem(cache, target, items);
    } else {
        StoreResponse(maps, target, range, items);
    }
    return cache.Lookup(value, target.address, true, false) ? Outcome::kDone : Outcome::kReadFailed;
}

Outcome ReadCached(StationMaps maps, IFrameExchange& line, const ReadTarget& target, uint32_t& value) {
    switch (target.group) {
    case TypeGroup::kBit:
        return ReadThroughCache(maps, line, target, BitMapOf(maps, target.area), value);
    case TypeGroup::kWord:
        return ReadThroughCache(maps, line, target, WordMapOf(maps, target.area), value);
    case TypeGroup::kDWord:
        return ReadThroughCache(maps, line, target, DWordMapOf(maps, target.area), value);
    }
    return Outcome::kReadFailed;
}

}  // namespace

Outcome ReadTag(StationMaps maps, IFrameExchange& line, const int32_t* station, const TagAddress* tag,
                TagValue* value) {
    if (station == nullptr || tag == nullptr || value == nullptr || !IsParsedRecord(*tag)) {
        return Outcome::kReadFailed;
    }
    const ReadTarget target = TargetOf(*station, *tag);
    uint32_t cached = 0;
    const Outcome outcome = ReadCached(maps, line, target, cached);
    if (outcome == Outcome::kDone) FillTagValue(target.group, cached, *value);
    return outcome;
}

}  // namespace modbus
