#include "tags/BlockCache.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace modbus {
namespace {

// The cuts that part start..start+count-1: those above its first address
// and not above its last.
template <typename Cuts>
auto CutsIn(Cuts& cuts, uint32_t start, uint32_t count) {
    const uint64_t end = uint64_t{start} + count;
    auto first = cuts.upper_bound(start);
    auto last = end > std::numeric_limits<uint32_t>::max() ? cuts.end() : cuts.lower_bound(static_cast<uint32_t>(end));
    return count == 0 ? std::make_pair(first, first) : std::make_pair(first, last);
}

}  // namespace

// Addresses and their differences are unsigned throughout; a new address is
// never below the entries it is compared against, except in AddInFront.

bool CBlockCache::Lookup(uint32_t& value, uint32_t address, bool consume, bool addIfMissing) {
    auto found = m_entries.find(address);
    if (found == m_entries.end()) {
        if (!addIfMissing) return false;
        AddAddress(address);
        return true;
    }
    CacheEntry& entry = found->second;
    if (!entry.fresh) return false;
    value = entry.value;
    if (consume) entry.fresh = false;
    return true;
}

bool CBlockCache::AddAddress(uint32_t address) {
    auto [added, inserted] = m_entries.emplace(address, CacheEntry{});
    if (!inserted) return false;
    if (m_entries.size() == 1) {
        added->second.flags = CacheEntry::BlockStart | CacheEntry::BlockEnd;
    } else if (added == m_entries.begin()) {
        AddInFront(added);
    } else {
        AddAfterFirst(added);
    }
    return true;
}

// The new lowest address opens the first block when it fits; otherwise it is
// a block of its own. Later blocks are not re-planned.
void CBlockCache::AddInFront(Entries::iterator added) {
    const uint32_t a = added->first;
    auto oldFirst = std::next(added);
    auto firstEnd = FirstEndFrom(oldFirst);
    if (firstEnd->first - a > m_limits.span || oldFirst->first - a > m_limits.gap) {
        added->second.flags = CacheEntry::BlockStart | CacheEntry::BlockEnd;
        return;
    }
    oldFirst->second.flags &= ~CacheEntry::BlockStart;
    added->second.flags = CacheEntry::BlockStart;
}

void CBlockCache::AddAfterFirst(Entries::iterator added) {
    const uint32_t a = added->first;
    auto blockStart = std::prev(added);
    while (!(blockStart->second.flags & CacheEntry::BlockStart)) --blockStart;
    auto blockEnd = FirstEndFrom(blockStart);
    if (blockEnd->first >= a) return;  // inside an existing block
    // blockEnd is now the entry right before the new one.
    if (a - blockStart->first <= m_limits.span && a - blockEnd->first <= m_limits.gap) {
        blockEnd->second.flags &= ~CacheEntry::BlockEnd;
        added->second.flags = CacheEntry::BlockEnd;
        return;
    }
    ReformFrom(added);
}

// Re-planning compares with >= where joining compares with <=, so it can
// split a block that was joined at exactly the limit. Hosts see the
// resulting request pattern; keep both forms.
void CBlockCache::ReformFrom(Entries::iterator added) {
    added->second.flags = CacheEntry::BlockStart;
    uint32_t first = added->first;
    auto previous = added;
    for (auto entry = std::next(added); entry != m_entries.end(); previous = entry++) {
        entry->second.flags = 0;
        if (entry->first - first >= m_limits.span || entry->first - previous->first >= m_limits.gap) {
            previous->second.flags |= CacheEntry::BlockEnd;
            entry->second.flags = CacheEntry::BlockStart;
            first = entry->first;
        }
    }
    previous->second.flags |= CacheEntry::BlockEnd;
}

CBlockCache::Entries::iterator CBlockCache::FirstEndFrom(Entries::iterator from) {
    while (!(from->second.flags & CacheEntry::BlockEnd)) ++from;
    return from;
}

bool CBlockCache::GetBlock(uint32_t address, uint32_t& start, uint32_t& count) const {
    return BlockAround(address, true, start, count);
}

bool CBlockCache::GetPlannedBlock(uint32_t address, uint32_t& start, uint32_t& count) const {
    return BlockAround(address, false, start, count);
}

bool CBlockCache::BlockAround(uint32_t address, bool withinCuts, uint32_t& start, uint32_t& count) const {
    auto found = m_entries.find(address);
    if (found == m_entries.end()) return false;
    const auto parted = [&](uint32_t below, uint32_t above) { return withinCuts && CutBetween(below, above); };
    auto first = found;
    while (!(first->second.flags & CacheEntry::BlockStart) && !parted(std::prev(first)->first, first->first)) {
        --first;
    }
    auto last = found;
    while (!(last->second.flags & CacheEntry::BlockEnd) && !parted(last->first, std::next(last)->first)) ++last;
    start = first->first;
    count = last->first - first->first + 1;
    return true;
}

bool CBlockCache::CutBetween(uint32_t below, uint32_t above) const {
    auto cut = m_cuts.upper_bound(below);
    return cut != m_cuts.end() && cut->first <= above;
}

std::vector<uint32_t> CBlockCache::AddressesIn(uint32_t start, uint32_t count) const {
    const uint64_t end = uint64_t{start} + count;
    std::vector<uint32_t> addresses;
    for (auto entry = m_entries.lower_bound(start); entry != m_entries.end() && entry->first < end; ++entry) {
        addresses.push_back(entry->first);
    }
    return addresses;
}

bool CBlockCache::AddCut(uint32_t cut, uint64_t learnedMs) {
    return m_cuts.emplace(cut, learnedMs).second;
}

void CBlockCache::ForgetCut(uint32_t cut) {
    m_cuts.erase(cut);
}

bool CBlockCache::OldestCutIn(uint32_t start, uint32_t count, uint64_t& learnedMs) const {
    const auto [first, last] = CutsIn(m_cuts, start, count);
    if (first == last) return false;
    learnedMs = std::min_element(first, last, [](const auto& a, const auto& b) { return a.second < b.second; })->second;
    return true;
}

void CBlockCache::ForgetCutsIn(uint32_t start, uint32_t count) {
    const auto [first, last] = CutsIn(m_cuts, start, count);
    m_cuts.erase(first, last);
}

void CBlockCache::ConfirmCutsIn(uint32_t start, uint32_t count, uint64_t confirmedMs) {
    const auto [first, last] = CutsIn(m_cuts, start, count);
    for (auto cut = first; cut != last; ++cut) cut->second = confirmedMs;
}

void CBlockCache::ForgetLearned() {
    m_cuts.clear();
    for (auto& [address, entry] : m_entries) entry.failed = false;
}

void CBlockCache::ForgetValues() {
    for (auto& [address, entry] : m_entries) {
        entry.fresh = false;
        entry.failed = false;
    }
}

void CBlockCache::FailWaiting(uint32_t start, uint32_t count, uint32_t except) {
    const uint64_t end = uint64_t{start} + count;
    for (auto entry = m_entries.lower_bound(start); entry != m_entries.end() && entry->first < end; ++entry) {
        if (entry->first != except && !entry->second.fresh) entry->second.failed = true;
    }
}

bool CBlockCache::TakeFailure(uint32_t address) {
    auto found = m_entries.find(address);
    if (found == m_entries.end() || !found->second.failed) return false;
    found->second.failed = false;
    return true;
}

bool CBlockCache::StoreBlock(const uint32_t* values, uint32_t start, uint32_t count) {
    const uint64_t end = uint64_t{start} + count;
    auto entry = m_entries.lower_bound(start);
    if (entry == m_entries.end() || entry->first >= end) return false;
    for (; entry != m_entries.end() && entry->first < end; ++entry) {
        entry->second.value = values[entry->first - start];
        entry->second.fresh = true;
        entry->second.failed = false;
    }
    return true;
}

void CBlockCache::MarkStale(uint32_t address) {
    auto found = m_entries.find(address);
    if (found != m_entries.end()) found->second.fresh = false;
}

bool CBlockCache::UpdateValue(uint32_t value, uint32_t address, bool addIfMissing) {
    if (addIfMissing) AddAddress(address);
    auto found = m_entries.find(address);
    if (found == m_entries.end()) return false;
    found->second.value = value;
    found->second.fresh = true;
    found->second.failed = false;
    return true;
}

}  // namespace modbus
