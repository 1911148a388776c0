#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "tags/BlockCache.h"
#include "tags/StationCacheMap.h"

using modbus::CBitBlockCache;
using modbus::CWordBlockCache;
using modbus::CDWordBlockCache;
using modbus::StationCacheMap;

namespace {

using Block = std::pair<uint32_t, uint32_t>;  // first and last address

// The blocks as GetBlock reports them, checked to partition the registered
// addresses into contiguous runs.
template <typename Cache>
std::vector<Block> Blocks(const Cache& cache, const std::set<uint32_t>& registered) {
    std::vector<Block> blocks;
    for (uint32_t address : registered) {
        uint32_t start = 0;
        uint32_t count = 0;
        EXPECT_TRUE(cache.GetBlock(address, start, count)) << address;
        const Block block{start, start + count - 1};
        if (blocks.empty() || blocks.back() != block) {
            EXPECT_EQ(start, address) << "a block begins at its first entry";
            EXPECT_TRUE(blocks.empty() || blocks.back().second < start) << "blocks overlap";
            blocks.push_back(block);
        }
    }
    if (!blocks.empty()) {
        EXPECT_EQ(blocks.back().second, *registered.rbegin());
    }
    return blocks;
}

// A cache with the addresses it was given, added in order.
template <typename Cache>
struct Planned {
    std::vector<Block> Add(std::initializer_list<uint32_t> addresses) {
        for (uint32_t address : addresses) {
            EXPECT_TRUE(cache.AddAddress(address)) << address;
            registered.insert(address);
        }
        return Blocks(cache, registered);
    }

    Cache cache;
    std::set<uint32_t> registered;
};

using Plan = std::vector<Block>;

TEST(BlockCache, PlanningJoinsWithinTheLimitsAndReformsBelowThem) {
    EXPECT_EQ(Planned<CBitBlockCache>().Add({10, 26}), (Plan{{10, 26}}));
    EXPECT_EQ(Planned<CBitBlockCache>().Add({10, 27}), (Plan{{10, 10}, {27, 27}}));
    EXPECT_EQ(Planned<CBitBlockCache>().Add({0, 128}), (Plan{{0, 0}, {128, 128}}));
    Planned<CBitBlockCache> bits;
    EXPECT_EQ(bits.Add({0, 16, 32, 48, 64, 80, 96, 112, 128}), (Plan{{0, 128}}));
    EXPECT_EQ(bits.Add({144}), (Plan{{0, 128}, {144, 144}}));

    Planned<CWordBlockCache> words;
    EXPECT_EQ(words.Add({100, 108, 116, 124, 132}), (Plan{{100, 132}}));
    EXPECT_EQ(words.Add({140}), (Plan{{100, 132}, {140, 140}}));
    Planned<CWordBlockCache> inner;
    EXPECT_EQ(inner.Add({20, 28, 24}), (Plan{{20, 28}}));
    // Joined at exactly the gap limit, split again when re-formed.
    Planned<CWordBlockCache> reformed;
    EXPECT_EQ(reformed.Add({0, 20, 28}), (Plan{{0, 0}, {20, 28}}));
    EXPECT_EQ(reformed.Add({12}), (Plan{{0, 0}, {12, 12}, {20, 20}, {28, 28}}));
    EXPECT_FALSE(reformed.cache.AddAddress(12));
    Planned<CWordBlockCache> spanReformed;
    EXPECT_EQ(spanReformed.Add({100, 200, 207, 214, 221, 228, 232}), (Plan{{100, 100}, {200, 232}}));
    EXPECT_EQ(spanReformed.Add({150}), (Plan{{100, 100}, {150, 150}, {200, 228}, {232, 232}}));
}

TEST(BlockCache, AnAddressInFrontJoinsTheFirstBlockOrStandsAlone) {
    Planned<CWordBlockCache> gapLimited;
    gapLimited.Add({50, 56, 70, 74});
    EXPECT_EQ(gapLimited.Add({30}), (Plan{{30, 30}, {50, 56}, {70, 74}}));
    EXPECT_EQ(gapLimited.Add({24}), (Plan{{24, 30}, {50, 56}, {70, 74}}));
    Planned<CDWordBlockCache> spanLimited;
    EXPECT_EQ(spanLimited.Add({10, 18, 26, 34}), (Plan{{10, 34}}));
    EXPECT_EQ(spanLimited.Add({1}), (Plan{{1, 1}, {10, 34}}));
    EXPECT_EQ(spanLimited.Add({0}), (Plan{{0, 1}, {10, 34}}));
    Planned<CWordBlockCache> atBothLimits;
    EXPECT_EQ(atBothLimits.Add({8, 16, 24, 32, 0}), (Plan{{0, 32}}));
}

TEST(BlockCache, LimitsGivenToACachePlanItsBlocks) {
    Planned<CWordBlockCache> alone{CWordBlockCache({1, 0}), {}};
    EXPECT_EQ(alone.Add({10, 11, 12, 9}), (Plan{{9, 9}, {10, 10}, {11, 11}, {12, 12}}));
    Planned<CBitBlockCache> narrow{CBitBlockCache({4, 2}), {}};
    EXPECT_EQ(narrow.Add({0, 2, 4, 6, 7}), (Plan{{0, 4}, {6, 7}}));

    StationCacheMap<CDWordBlockCache> map([](uint32_t station) { return modbus::BlockLimits{station, station}; });
    CDWordBlockCache& three = map.FindOrInsert(3);
    for (uint32_t address : {0, 3, 7}) three.AddAddress(address);
    uint32_t start = 0;
    uint32_t count = 0;
    ASSERT_TRUE(three.GetBlock(7, start, count));
    EXPECT_EQ(start, 7u);
    ASSERT_TRUE(three.GetBlock(3, start, count));
    EXPECT_EQ(count, 4u);
}

TEST(BlockCache, LookupHandsOutAStoredValueOnceAndRegistersUnknownAddresses) {
    CBitBlockCache cache;
    uint32_t value = 77;
    EXPECT_TRUE(cache.Lookup(value, 5, true, true));
    EXPECT_EQ(value, 77u);
    EXPECT_FALSE(cache.Lookup(value, 5, true, true));
    EXPECT_FALSE(cache.Lookup(value, 6, true, false));
    uint32_t start = 99;
    uint32_t count = 99;
    EXPECT_FALSE(cache.GetBlock(6, start, count));
    EXPECT_EQ(start, 99u);

    const uint32_t values[] = {1};
    ASSERT_TRUE(cache.StoreBlock(values, 5, 1));
    EXPECT_TRUE(cache.Lookup(value, 5, false, false));
    EXPECT_TRUE(cache.Lookup(value, 5, true, false));
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(cache.Lookup(value, 5, true, false));
}

TEST(BlockCache, StoreBlockFillsOnlyRegisteredAddressesOfItsRange) {
    CWordBlockCache cache;
    for (uint32_t address : {95, 100, 104, 110}) cache.AddAddress(address);
    const uint32_t values[] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    EXPECT_TRUE(cache.StoreBlock(values, 100, 10));
    uint32_t value = 0;
    EXPECT_TRUE(cache.Lookup(value, 100, true, false));
    EXPECT_EQ(value, 10u);
    EXPECT_TRUE(cache.Lookup(value, 104, true, false));
    EXPECT_EQ(value, 14u);
    EXPECT_FALSE(cache.Lookup(value, 95, true, false));
    EXPECT_FALSE(cache.Lookup(value, 110, true, false));
    EXPECT_FALSE(cache.StoreBlock(values, 111, 10));
    EXPECT_FALSE(cache.Lookup(value, 101, true, false)) << "no entry created";
}

TEST(BlockCache, UpdateValueRegistersAndFreshensAndMarkStaleWithdraws) {
    CWordBlockCache cache;
    EXPECT_FALSE(cache.UpdateValue(7, 300, false));
    EXPECT_TRUE(cache.UpdateValue(7, 300, true));
    uint32_t value = 0;
    EXPECT_TRUE(cache.Lookup(value, 300, false, false));
    EXPECT_EQ(value, 7u);
    cache.MarkStale(300);
    cache.MarkStale(301);
    EXPECT_FALSE(cache.Lookup(value, 300, true, false));
}

// After any sequence of operations: the blocks partition the registered
// addresses, and no block exceeds either limit.
template <typename Cache>
void CheckLimitsUnderRandomUse(modbus::BlockLimits limits, uint32_t addressRange, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<uint32_t> address(0, addressRange);
    std::uniform_int_distribution<int> operation(0, 3);
    Cache cache(limits);
    std::set<uint32_t> registered;
    const std::vector<uint32_t> values(addressRange + 1, 1);
    for (int step = 0; step < 400; ++step) {
        const uint32_t a = address(random);
        uint32_t value = 0;
        switch (operation(random)) {
        case 0: cache.AddAddress(a); registered.insert(a); break;
        case 1: cache.Lookup(value, a, true, true); registered.insert(a); break;
        case 2: cache.StoreBlock(values.data(), a, (addressRange - a) / 2 + 1); break;
        default: cache.MarkStale(a); break;
        }
        for (const Block& block : Blocks(cache, registered)) {
            ASSERT_LE(block.second - block.first, limits.span) << "seed " << seed << " step " << step;
            for (auto it = registered.find(block.first); *it != block.second; ++it) {
                ASSERT_LE(*std::next(it) - *it, limits.gap) << "seed " << seed << " step " << step;
            }
        }
    }
}

TEST(BlockCache, BlocksKeepBothLimitsUnderLongRandomUse) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        CheckLimitsUnderRandomUse<CBitBlockCache>({128, 16}, 1200, seed);
        CheckLimitsUnderRandomUse<CWordBlockCache>({32, 8}, 300, seed);
        CheckLimitsUnderRandomUse<CBitBlockCache>({1999, 2000}, 9000, seed);
        CheckLimitsUnderRandomUse<CWordBlockCache>({1, 0}, 300, seed);
        CheckLimitsUnderRandomUse<CDWordBlockCache>({5, 3}, 300, seed);
    }
}

}  // namespace
