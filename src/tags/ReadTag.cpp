#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "modbus/Frames.h"
#include "tags/AreaRules.h"
#include "tags/BlockSplit.h"
#include "tags/CacheMaps.h"
#include "tags/StationExchange.h"
#include "tags/TagOperations.h"
#include "tags/ValueCodec.h"

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
                                 "Read Receive",
                                 RequestKind::kRead};
    const uint32_t byteCount = ExpectedByteCount(target.function, quantity);
    ReadResponse response;
    const auto isAnswer = [&](const std::string& data, int32_t length) {
        return LocateReadResponse(data, length, station, target.function, byteCount, response);
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

// A block of a cache: its first address and the number of addresses it
// spans, as the cache counts them.
struct Block {
    uint32_t start;
    uint32_t count;
};

RequestRange RangeOf(const ReadTarget& target, Block block) {
    return {block.start, QuantityFor(target, block.count)};
}

// The block holding the tag's registered item, within the learned splits
// or as planned.
enum class Splits { kHonoured, kIgnored };

template <typename Cache>
Block BlockOf(const Cache& cache, uint32_t address, Splits splits) {
    Block block{0, kDefaultBlockLength};
    if (splits == Splits::kHonoured) {
        cache.GetBlock(address, block.start, block.count);
    } else {
        cache.GetPlannedBlock(address, block.start, block.count);
    }
    return block;
}

// Asks for a block and keeps what it brought.
Fetched FetchBlock(const ReadContext& context, Block block) {
    const RequestRange range = RangeOf(context.target, block);
    std::vector<uint32_t> items;
    const Fetched fetched = FetchItems(context, range, items);
    if (fetched == Fetched::kItems) StoreResponse(context, range, items);
    return fetched;
}

void TraceSplit(const ReadContext& context, Block block, const std::string& what) {
    const ReadTarget& target = context.target;
    const RequestRange range = RangeOf(target, block);
    context.line.TraceEvent("Split: station " + std::to_string(static_cast<uint8_t>(target.station)) + " " +
                            ItemText(target, range.start) + ".." +
                            ItemText(target, range.start + range.quantity - 1) + " " + what);
}

// Splits hold for the station's area in both views, since the device's
// items are the same whichever view asks.
template <typename Change>
void ChangeSplits(const ReadContext& context, Change&& change) {
    const ReadTarget& target = context.target;
    if (target.group == TypeGroup::kBit) {
        change(BitMapOf(context.maps, target.area).FindOrInsert(target.station));
        return;
    }
    change(WordMapOf(context.maps, target.area).FindOrInsert(target.station));
    change(DWordMapOf(context.maps, target.area).FindOrInsert(target.station));
}

// Where a read split a refused block: cut opens the upper part, and beside
// is an item of the part without the tag.
struct Split {
    uint32_t cut;
    uint32_t beside;
};

// The device refused the block that holds the tag: it is split in two, so
// that the next request asks for the part with the tag. False when it
// cannot be split.
template <typename Cache>
bool LearnSplit(const ReadContext& context, const Cache& cache, Block refused, Split& split) {
    const ReadTarget& target = context.target;
    const uint32_t width = target.group == TypeGroup::kDWord ? 2 : 1;
    const std::vector<uint32_t> items = cache.AddressesIn(refused.start, refused.count);
    if (!ChooseSplit(items, width, split.cut)) return false;
    const auto upper = std::lower_bound(items.begin(), items.end(), split.cut);
    split.beside = target.address < split.cut ? *upper : *std::prev(upper);
    const uint64_t now = context.line.NowMs();
    ChangeSplits(context, [&](CBlockCache& view) { view.AddCut(split.cut, now); });
    TraceSplit(context, refused, "at " + ItemText(target, split.cut));
    return true;
}

enum class Retried { kNotDue, kJoined, kSplitKept, kFailed };

// Learned splits are tried again once they are due: the block as planned is
// asked for whole. An answer joins it again; a refusal keeps its splits for
// another period.
template <typename Cache>
Retried RetrySplitsWhenDue(const ReadContext& context, const Cache& cache, Block planned) {
    const int32_t relearnMs = context.settings.relearnMs;
    uint64_t learnedMs = 0;
    if (relearnMs == 0 || !cache.OldestCutIn(planned.start, planned.count, learnedMs)) return Retried::kNotDue;
    const uint64_t now = context.line.NowMs();
    if (now - learnedMs < static_cast<uint64_t>(relearnMs)) return Retried::kNotDue;
    switch (FetchBlock(context, planned)) {
    case Fetched::kItems:
        ChangeSplits(context, [&](CBlockCache& view) { view.ForgetCutsIn(planned.start, planned.count); });
        TraceSplit(context, planned, "joined again");
        return Retried::kJoined;
    case Fetched::kRefusedPart:
        ChangeSplits(context, [&](CBlockCache& view) { view.ConfirmCutsIn(planned.start, planned.count, now); });
        TraceSplit(context, planned, "refused again, splits kept");
        return Retried::kSplitKept;
    case Fetched::kFailed:
        break;
    }
    return Retried::kFailed;
}

// A read that split its first block keeps the splits only when a part
// answered (the tag's own, or else the part beside it) and the first block,
// asked for once more, is still refused. Otherwise the device answers or
// refuses the block as a whole, as one that is starting up does, and the
// splits go. last is the part the read asked for last, with what it brought.
template <typename Cache>
Outcome KeepSplitsOfAHole(const ReadContext& context, Cache& cache, Block first, Block last, Fetched fetched,
                          const std::vector<Split>& splits) {
    const bool partAnswered =
        fetched == Fetched::kItems ||
        (fetched == Fetched::kRefusedPart &&
         FetchBlock(context, BlockOf(cache, splits.back().beside, Splits::kHonoured)) == Fetched::kItems);
    const Fetched whole = partAnswered ? FetchBlock(context, first) : Fetched::kFailed;
    if (whole != Fetched::kRefusedPart) {
        ChangeSplits(context, [&](CBlockCache& view) {
            for (const Split& split : splits) view.ForgetCut(split.cut);
        });
        TraceSplit(context, first,
                   whole == Fetched::kItems ? "not split, answered whole"
                   : partAnswered           ? "not split, not refused again"
                                            : "not split, no part answered");
    }
    if (fetched == Fetched::kItems || whole == Fetched::kItems) return Outcome::kDone;
    const Block failed = whole == Fetched::kRefusedPart ? last : first;
    cache.FailWaiting(failed.start, failed.count, context.target.address);
    return Outcome::kReadFailed;
}

// A refused block is split until a part answers or the tag's own part is
// refused. first is the block this read asked for first. A failure reaches
// every other entry of the part asked for last that still waits for a value,
// once.
template <typename Cache>
Outcome SplitWhileRefused(const ReadContext& context, Cache& cache, Block first) {
    const uint32_t address = context.target.address;
    std::vector<Split> splits;
    for (;;) {
        const Block block = BlockOf(cache, address, Splits::kHonoured);
        const Fetched fetched = FetchBlock(context, block);
        Split split{};
        if (fetched == Fetched::kRefusedPart && LearnSplit(context, cache, block, split)) {
            splits.push_back(split);
            continue;
        }
        if (!splits.empty()) return KeepSplitsOfAHole(context, cache, first, block, fetched, splits);
        if (fetched == Fetched::kItems) return Outcome::kDone;
        cache.FailWaiting(block.start, block.count, address);
        return Outcome::kReadFailed;
    }
}

template <typename Cache>
Outcome ReadBlock(const ReadContext& context, Cache& cache) {
    const uint32_t address = context.target.address;
    const Block planned = BlockOf(cache, address, Splits::kIgnored);
    switch (RetrySplitsWhenDue(context, cache, planned)) {
    case Retried::kJoined:
        return Outcome::kDone;
    case Retried::kFailed:
        cache.FailWaiting(planned.start, planned.count, address);
        return Outcome::kReadFailed;
    case Retried::kSplitKept:
        return SplitWhileRefused(context, cache, planned);
    case Retried::kNotDue:
        break;
    }
    return SplitWhileRefused(context, cache, BlockOf(cache, address, Splits::kHonoured));
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
    const ReadTarget& target = context.target;
    return VisitMapOf(context.maps, target.group, target.area,
                      [&](auto& map) { return ReadThroughCache(context, map, value); });
}

}  // namespace

void RememberParsedTag(StationMaps maps, uint32_t station, const TagAddress& tag) {
    if (!IsParsedRecord(tag)) return;
    const uint32_t address = static_cast<uint32_t>(tag.address - 1);
    VisitMapOf(maps, GroupOf(tag.dataType), tag.area, [&](auto& map) { map.AddParsedItem(station, address); });
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
