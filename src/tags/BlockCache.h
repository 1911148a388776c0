#pragma once
// Per-station caches of one area: the item addresses the host has asked for,
// grouped into read blocks that one request each can fetch, with the last
// value received for every address. A stored value is handed out once, and
// so is the failure of a block request to the entries that waited for it.
// Boundaries learned from the device's refusals split the planned blocks;
// each remembers when it was learned, so that it can be tried again.
#include <cstdint>
#include <map>
#include <vector>

#include "settings/BlockLimits.h"

namespace modbus {

struct CacheEntry {
    enum Flag : uint8_t {
        BlockStart = 1,
        BlockEnd = 2,
    };

    uint32_t value = 0;
    bool fresh = false;
    bool failed = false;  // the next read of it fails without a request
    uint8_t flags = 0;
};

class CBlockCache {
public:
    explicit CBlockCache(BlockLimits limits) : m_limits(limits) {}

    // A fresh value is copied out (and used up when consume is set); an
    // unknown address is registered when addIfMissing is set and reported as
    // found, with value left as the caller set it.
    bool Lookup(uint32_t& value, uint32_t address, bool consume, bool addIfMissing);
    // False when the address was registered already.
    bool AddAddress(uint32_t address);
    // The block holding a registered address, within the learned
    // boundaries; outputs untouched otherwise.
    bool GetBlock(uint32_t address, uint32_t& start, uint32_t& count) const;
    // The same block as planned, whatever boundaries were learned.
    bool GetPlannedBlock(uint32_t address, uint32_t& start, uint32_t& count) const;
    // Every registered address in start..start+count-1, in order.
    std::vector<uint32_t> AddressesIn(uint32_t start, uint32_t count) const;
    // From now on no block holds an address below cut together with one at
    // or above it, until the cut is forgotten. False when the cut was known.
    bool AddCut(uint32_t cut, uint64_t learnedMs);
    void ForgetCut(uint32_t cut);
    // The cuts that part start..start+count-1: whether there is one, and
    // when the oldest of them was learned or last confirmed.
    bool OldestCutIn(uint32_t start, uint32_t count, uint64_t& learnedMs) const;
    void ForgetCutsIn(uint32_t start, uint32_t count);
    void ConfirmCutsIn(uint32_t start, uint32_t count, uint64_t confirmedMs);
    // Every learned cut and every failure still to be handed out, as when
    // the line they were learned on is gone.
    void ForgetLearned();
    // Every value and every failure still to be handed out, as when the
    // line was lost: the device may have changed meanwhile.
    void ForgetValues();
    // The entries of start..start+count-1 but the one at except that hold
    // no fresh value fail their next read once.
    void FailWaiting(uint32_t start, uint32_t count, uint32_t except);
    // Whether the entry was to fail its next read; that failure is used up.
    bool TakeFailure(uint32_t address);
    // values[0..count) belong to start..start+count-1; only registered
    // addresses take theirs. False when the range holds none.
    bool StoreBlock(const uint32_t* values, uint32_t start, uint32_t count);
    // Keeps a value the device no longer holds from being handed out.
    void MarkStale(uint32_t address);
    // Every entry in address order, read-only, for checks of the planning.
    template <typename Visit>
    void VisitEntries(Visit&& visit) const {
        for (const auto& [address, entry] : m_entries) visit(address, entry);
    }

protected:
    bool UpdateValue(uint32_t value, uint32_t address, bool addIfMissing);

private:
    using Entries = std::map<uint32_t, CacheEntry>;

    void AddInFront(Entries::iterator added);
    void AddAfterFirst(Entries::iterator added);
    void ReformFrom(Entries::iterator added);
    Entries::iterator FirstEndFrom(Entries::iterator from);
    bool CutBetween(uint32_t below, uint32_t above) const;
    bool BlockAround(uint32_t address, bool withinCuts, uint32_t& start, uint32_t& count) const;

    BlockLimits m_limits;
    Entries m_entries;
    std::map<uint32_t, uint64_t> m_cuts;  // cut, when learned or last confirmed
};

// Only the bit and word caches take written values; 32-bit tags are served
// from the device (or from what a read stored) alone.
class CBitBlockCache : public CBlockCache {
public:
    explicit CBitBlockCache(BlockLimits limits = modbus::kBitBlockLimits) : CBlockCache(limits) {}
    using CBlockCache::UpdateValue;
};

class CWordBlockCache : public CBlockCache {
public:
    explicit CWordBlockCache(BlockLimits limits = modbus::kRegisterBlockLimits) : CBlockCache(limits) {}
    using CBlockCache::UpdateValue;
};

class CDWordBlockCache : public CBlockCache {
public:
    explicit CDWordBlockCache(BlockLimits limits = modbus::kRegisterBlockLimits) : CBlockCache(limits) {}
};

}  // namespace modbus
