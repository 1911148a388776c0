// The block caches as a sequence of calls read from the input. Each call
// takes an operation byte (call, cache class, station) and its operands;
// addresses are one byte, or a full 32-bit value behind an escape byte, so
// both dense neighbourhoods and the top of the address range are reached.
// After every call the cache must hold exactly the entries, values and
// freshness of a plain model, and its blocks must keep their invariant and
// both planning limits, the defaults or a station's own.
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "tags/BlockCache.h"
#include "tags/StationCacheMap.h"

using modbus::CBitBlockCache;
using modbus::CWordBlockCache;
using modbus::CDWordBlockCache;
using modbus::CacheEntry;
using modbus::StationCacheMap;

namespace {

constexpr uint32_t kUntouched = 0xA5A5A5A5;

struct ModelEntry {
    uint32_t value = 0;
    bool fresh = false;
};
using Model = std::map<uint32_t, ModelEntry>;

struct Block {
    uint32_t first;
    uint32_t last;
};

// Stations 4 to 7 plan under small limits of their own, down to a gap of 0;
// the others under their class's defaults.
modbus::BlockLimits LimitsOf(uint32_t station, modbus::BlockLimits defaults) {
    return station < 4 ? defaults : modbus::BlockLimits{station - 3, station - 4};
}

template <typename Cache>
struct Subject {
    explicit Subject(modbus::BlockLimits defaults)
        : defaults(defaults), map([defaults](uint32_t station) { return LimitsOf(station, defaults); }) {}

    modbus::BlockLimits defaults;
    StationCacheMap<Cache> map;
    std::map<uint32_t, Model> models;  // by station
};

uint32_t Address(FuzzInput& input) {
    const uint8_t byte = input.Byte();
    if (byte == 0xFF) return input.DWord();
    if (byte == 0xFE) return 0xFFFFFF00u | input.Byte();
    return byte;
}

// The blocks, after checking the entries against the model and the flags
// against the invariant and the limits.
template <typename Cache>
std::vector<Block> CheckedBlocks(const Cache& cache, const Model& model, modbus::BlockLimits limits) {
    std::vector<Block> blocks;
    auto expected = model.begin();
    bool previousEnds = true;  // the cache's first entry opens a block
    uint32_t previous = 0;
    cache.VisitEntries([&](uint32_t address, const CacheEntry& entry) {
        FUZZ_CHECK(expected != model.end() && expected->first == address);
        FUZZ_CHECK(entry.value == expected->second.value && entry.fresh == expected->second.fresh);
        ++expected;
        FUZZ_CHECK((entry.flags & ~(CacheEntry::BlockStart | CacheEntry::BlockEnd)) == 0);
        const bool starts = entry.flags & CacheEntry::BlockStart;
        FUZZ_CHECK(starts == previousEnds);
        if (starts) {
            blocks.push_back({address, address});
        } else {
            FUZZ_CHECK(address - previous <= limits.gap);
            FUZZ_CHECK(address - blocks.back().first <= limits.span);
        }
        blocks.back().last = address;
        previousEnds = entry.flags & CacheEntry::BlockEnd;
        previous = address;
    });
    FUZZ_CHECK(expected == model.end());
    FUZZ_CHECK(previousEnds);  // the last entry closes a block
    return blocks;
}

template <typename Cache>
void Add(Cache& cache, Model& model, FuzzInput& input) {
    const uint32_t address = Address(input);
    FUZZ_CHECK(cache.AddAddress(address) == (model.count(address) == 0));
    model.emplace(address, ModelEntry{});
}

template <typename Cache>
void Lookup(Cache& cache, Model& model, FuzzInput& input) {
    const uint32_t address = Address(input);
    const uint8_t flags = input.Byte();
    const bool consume = flags & 1;
    const bool addIfMissing = flags & 2;
    uint32_t value = kUntouched;
    const bool found = cache.Lookup(value, address, consume, addIfMissing);
    auto entry = model.find(address);
    if (entry == model.end()) {
        FUZZ_CHECK(found == addIfMissing && value == kUntouched);
        if (addIfMissing) model.emplace(address, ModelEntry{});
        return;
    }
    FUZZ_CHECK(found == entry->second.fresh);
    FUZZ_CHECK(value == (found ? entry->second.value : kUntouched));
    if (found && consume) entry->second.fresh = false;
}

template <typename Cache>
void GetBlock(modbus::BlockLimits limits, Cache& cache, const Model& model, FuzzInput& input) {
    const uint32_t address = Address(input);
    uint32_t start = kUntouched;
    uint32_t count = kUntouched;
    const bool found = cache.GetBlock(address, start, count);
    FUZZ_CHECK(found == (model.count(address) != 0));
    if (!found) {
        FUZZ_CHECK(start == kUntouched && count == kUntouched);
        return;
    }
    for (const Block& block : CheckedBlocks(cache, model, limits)) {
        if (block.first <= address && address <= block.last) {
            FUZZ_CHECK(start == block.first && count == block.last - block.first + 1);
            return;
        }
    }
    FUZZ_CHECK(!"a registered address lies in a block");
}

template <typename Cache>
void StoreBlock(Cache& cache, Model& model, FuzzInput& input) {
    const uint32_t start = Address(input);
    const uint32_t count = input.Byte();
    const uint32_t seed = input.DWord();
    std::vector<uint32_t> values(count);
    for (uint32_t i = 0; i < count; ++i) values[i] = seed + i * 0x9E3779B9u;
    const bool stored = cache.StoreBlock(values.data(), start, count);
    const uint64_t end = uint64_t{start} + count;
    bool expected = false;
    for (auto entry = model.lower_bound(start); entry != model.end() && entry->first < end; ++entry) {
        entry->second = {values[entry->first - start], true};
        expected = true;
    }
    FUZZ_CHECK(stored == expected);
}

template <typename Cache>
void UpdateValue(Cache& cache, Model& model, FuzzInput& input) {
    const uint32_t address = Address(input);
    const uint32_t value = input.DWord();
    const bool addIfMissing = input.Byte() & 1;
    const bool updated = cache.UpdateValue(value, address, addIfMissing);
    if (addIfMissing) model.emplace(address, ModelEntry{});
    auto entry = model.find(address);
    FUZZ_CHECK(updated == (entry != model.end()));
    if (updated) entry->second = {value, true};
}

template <typename Cache>
void MarkStale(Cache& cache, Model& model, FuzzInput& input) {
    const uint32_t address = Address(input);
    cache.MarkStale(address);
    auto entry = model.find(address);
    if (entry != model.end()) entry->second.fresh = false;
}

template <typename Cache>
void Step(Subject<Cache>& subject, uint8_t call, uint32_t station, FuzzInput& input) {
    Cache* found = subject.map.Find(station);
    FUZZ_CHECK((found != nullptr) == (subject.models.count(station) != 0));
    Cache& cache = subject.map.FindOrInsert(station);
    FUZZ_CHECK(found == nullptr || found == &cache);
    Model& model = subject.models[station];
    const modbus::BlockLimits limits = LimitsOf(station, subject.defaults);
    switch (call) {
    case 0: Add(cache, model, input); break;
    case 1: Lookup(cache, model, input); break;
    case 2: GetBlock(limits, cache, model, input); break;
    case 3: StoreBlock(cache, model, input); break;
    case 4:
        // The 32-bit cache takes no written values.
        if constexpr (std::is_same_v<Cache, CDWordBlockCache>) {
            Lookup(cache, model, input);
        } else {
            UpdateValue(cache, model, input);
        }
        break;
    default: MarkStale(cache, model, input); break;
    }
    CheckedBlocks(cache, model, limits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    Subject<CBitBlockCache> bits(modbus::kBitBlockLimits);
    Subject<CWordBlockCache> words(modbus::kRegisterBlockLimits);
    Subject<CDWordBlockCache> dwords(modbus::kRegisterBlockLimits);
    while (!input.Empty()) {
        // Operation byte: call in bits 0-2, cache class in bits 3-4, station
        // in bits 5-7.
        const uint8_t operation = input.Byte();
        const uint8_t call = (operation & 7) % 6;
        const uint32_t station = operation >> 5;
        switch ((operation >> 3) & 3) {
        case 1: Step(words, call, station, input); break;
        case 2: Step(dwords, call, station, input); break;
        default: Step(bits, call, station, input); break;
        }
    }
    return 0;
}
