#include <string>
#include <vector>

#include "modbus/AreaRules.h"
#include "modbus/BlockSplit.h"
#include "modbus/CacheMaps.h"
#include "modbus/Frames.h"
#include "modbus/StationExchange.h"
#include "modbus/TagOperations.h"
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

struct ReadContext {
    StationMaps maps;
    IFrameExchange& line;
    const StationSettings& settings;
    const ReadTarget& target;
};

enum class Fetched {
    kItems,
    kRefusedPart,  // exception 02 or 03: the device lacks some item of the range
    kFailed,
};

// The items of a verified response: one per bit asked for, or one per
// register.
Fetched FetchItems(const ReadContext& context, RequestRange range, std::vector<uint32_t>& items) {
    const ReadTarget& target = context.target;
    const uint8_t station = static_cast<uint8_t>(target.station);
    // What the request carries is what the reply is checked and decoded by.
    const uint16_t quantity = static_cast<uint16_t>(range.quantity);
    const StationRequest request{station,
                                 target.function,
                                 BuildReadRequest(station, target.function, static_cast<uint16_t>(range.start), quantity),
                                 ReadReplyShape(station, target.function, quantity),
                                 "Read Send",
                                 "Read Receive"};
    const uint32_t byteCount = ExpectedByteCount(target.function, quantity);
    ReadResponse response;
    const auto isAnswer = [&](const std::string& data, int32_t length) {
        return LocateReadResponse(data, length, station, target.function, byteCount, response) &&
               !FollowedByAnotherResponse(data, length, station, target.function, byteCount, response);
    };
    std::string reply;
    int32_t length = 0;
    const RequestOutcome outcome = ExchangeWithStation(context.line, context.settings, request, isAnswer, reply, length);
    if (outcome.result == RequestResult::kException &&
        (outcome.exceptionCode == kIllegalDataAddress || outcome.exceptionCode == kIllegalDataValue)) {
        return Fetched::kRefusedPart;
    }
    if (outcome.result != RequestResult::kAnswered) return Fetched::kFailed;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(reply.data()) + response.dataOffset;
    items = target.group == TypeGroup::kBit ? DecodeBits(data, quantity)
                                            : DecodeRegisters(data, response.byteCount);
    return Fetched::kItems;
}

// A first read stores its own item only: the other entries of its block
// turn fresh from the block's first request on.
template <typename Cache>
void StoreItem(const ReadContext& context, Cache& cache, const std::vector<uint32_t>& items) {
    const ReadTarget& target = context.target;
    const uint32_t value =
        target.group == TypeGroup::kDWord ? PairRegisters(items, context.settings.wordOrder)[0] : items[0];
    cache.StoreBlock(&value, target.address, 1);
}

// Registers feed both views of the area; a view the station has no cache
// for yet gets one, with the items parsed for it, so that a first cycle
// fetches each block once. All values are decoded and both caches had
// before the first store, so running out of memory leaves every value as
// it was.
void StoreResponse(const ReadContext& context, RequestRange range, const std::vector<uint32_t>& items) {
    const ReadTarget& target = context.target;
    const uint32_t count = static_cast<uint32_t>(items.size());
    if (target.group == TypeGroup::kBit) {
        BitMapOf(context.maps, target.area).FindOrInsert(target.station).StoreBlock(items.data(), range.start, count);
        return;
    }
    const std::vector<uint32_t> pairs = PairRegisters(items, context.settings.wordOrder);
    CWordBlockCache& words = WordMapOf(context.maps, target.area).FindOrInsert(target.station);
    CDWordBlockCache& dwords = DWordMapOf(context.maps, target.area).FindOrInsert(target.station);
    words.StoreBlock(items.data(), range.start, count);
    if (!pairs.empty()) dwords.StoreBlock(pairs.data(), range.start, static_cast<uint32_t>(pairs.size()));
}

std::string ItemText(const ReadTarget& target, uint32_t address) {
    return std::string{FindAreaRule(target.area)->prefixDigit, 'x'} + std::to_string(address + 1);
}

// A split holds for the station's area in both views, since the device's
// items are the same whichever view asks.
void RememberCut(const ReadContext& context, uint32_t cut) {
    const ReadTarget& target = context.target;
    if (target.group == TypeGroup::kBit) {
        BitMapOf(context.maps, target.area).FindOrInsert(target.station).AddCut(cut);
        return;
    }
    WordMapOf(context.maps, target.area).FindOrInsert(target.station).AddCut(cut);
    DWordMapOf(context.maps, target.area).FindOrInsert(target.station).AddCut(cut);
}

// The device refused the request for the block start..start+count-1 that
// holds the tag, asked for as refused: the block is split in two for good, so that the next
// request asks for the part with the tag. False when it cannot be split.
template <typename Cache>
bool LearnSplit(const ReadContext& context, const Cache& cache, uint32_t start, uint32_t count,
                RequestRange refused) {
    const ReadTarget& target = context.target;
    const uint32_t width = target.group == TypeGroup::kDWord ? 2 : 1;
    uint32_t cut = 0;
    if (!ChooseSplit(cache.AddressesIn(start, count), width, cut)) return false;
    RememberCut(context, cut);
    context.line.TraceEvent("Split: station " + std::to_string(static_cast<uint8_t>(target.station)) + " " +
                            ItemText(target, refused.start) + ".." +
                            ItemText(target, refused.start + refused.quantity - 1) + " at " + ItemText(target, cut));
    return true;
}

// A refused block is split until a part answers or the tag's own item is
// refused. A failure reaches every other entry of the last block asked for
// that still waits for a value, once.
template <typename Cache>
Outcome ReadBlock(const ReadContext& context, Cache& cache) {
    const ReadTarget& target = context.target;
    for (;;) {
        uint32_t start = 0;
        uint32_t count = kDefaultBlockLength;
        cache.GetBlock(target.address, start, count);
        const RequestRange range{start, QuantityFor(target, count)};
        std::vector<uint32_t> items;
        const Fetched fetched = FetchItems(context, range, items);
        if (fetched == Fetched::kItems) {
            StoreResponse(context, range, items);
            return Outcome::kDone;
        }
        if (fetched == Fetched::kRefusedPart && LearnSplit(context, cache, start, count, range)) continue;
        cache.FailWaiting(start, count, target.address);
        return Outcome::kReadFailed;
    }
}

// A fresh value is handed out once, and so is a failure. An address new to
// the cache is registered and fetched on its own, a ",n" tag fetches its
// items, any other miss fetches its block.
template <typename Cache>
Outcome ReadThroughCache(const ReadContext& context, StationCacheMap<Cache>& map, uint32_t& value) {
    const ReadTarget& target = context.target;
    Cache& cache = map.FindOrInsert(target.station);
    if (cache.Lookup(value, target.address, true, false)) return Outcome::kDone;
    if (cache.TakeFailure(target.address)) return Outcome::kReadFailed;
    const bool firstRead = cache.AddAddress(target.address);
    if (!firstRead && target.count == 0) {
        const Outcome outcome = ReadBlock(context, cache);
        if (outcome != Outcome::kDone) return outcome;
    } else {
        const RequestRange range = ItemRange(target);
        std::vector<uint32_t> items;
        if (FetchItems(context, range, items) != Fetched::kItems) return Outcome::kReadFailed;
        if (firstRead) {
            StoreItem(context, cache, items);
        } else {
            StoreResponse(context, range, items);
        }
    }
    return cache.Lookup(value, target.address, true, false) ? Outcome::kDone : Outcome::kReadFailed;
}

Outcome ReadCached(const ReadContext& context, uint32_t& value) {
    switch (context.target.group) {
    case TypeGroup::kBit:
        return ReadThroughCache(context, BitMapOf(context.maps, context.target.area), value);
    case TypeGroup::kWord:
        return ReadThroughCache(context, WordMapOf(context.maps, context.target.area), value);
    case TypeGroup::kDWord:
        return ReadThroughCache(context, DWordMapOf(context.maps, context.target.area), value);
    }
    return Outcome::kReadFailed;
}

}  // namespace

void RememberParsedTag(StationMaps maps, uint32_t station, const TagAddress& tag) {
    if (!IsParsedRecord(tag)) return;
    const uint32_t address = static_cast<uint32_t>(tag.address - 1);
    switch (GroupOf(tag.dataType)) {
    case TypeGroup::kBit:
        BitMapOf(maps, tag.area).AddParsedItem(station, address);
        break;
    case TypeGroup::kWord:
        WordMapOf(maps, tag.area).AddParsedItem(station, address);
        break;
    case TypeGroup::kDWord:
        DWordMapOf(maps, tag.area).AddParsedItem(station, address);
        break;
    }
}

Outcome ReadTag(StationMaps maps, IFrameExchange& line, const int32_t* station, const TagAddress* tag,
                TagValue* value) {
    if (station == nullptr || tag == nullptr || value == nullptr || !IsParsedRecord(*tag)) {
        return Outcome::kReadFailed;
    }
    const ReadTarget target = TargetOf(*station, *tag);
    const StationSettings settings = line.SettingsOf(target.station);
    uint32_t cached = 0;
    const Outcome outcome = ReadCached({maps, line, settings, target}, cached);
    if (outcome == Outcome::kDone) FillTagValue(target.group, cached, *value);
    return outcome;
}

}  // namespace modbus
