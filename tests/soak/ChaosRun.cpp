#include "ChaosRun.h"

#include <cstdio>

namespace {

std::vector<ChaosTag> BothDriversTags() {
    std::vector<ChaosTag> tags = ChaosTags(0);
    const std::vector<ChaosTag> second = ChaosTags(1);
    tags.insert(tags.end(), second.begin(), second.end());
    return tags;
}

// Beyond this many, broken properties are counted but no longer printed.
constexpr uint32_t kPrintedBreaks = 30;

}  // namespace

ChaosRun::ChaosRun(LineFixture& line, uint32_t seed, bool queuesRequests)
    : m_line(line),
      m_seed(seed),
      m_queuesRequests(queuesRequests),
      m_tags(BothDriversTags()),
      m_history(m_tags.size()) {}

double ChaosRun::Seconds(SoakClock::time_point at) const {
    return std::chrono::duration<double>(at - m_start).count();
}

void ChaosRun::GiveFirstValues() {
    for (size_t i = 0; i < m_tags.size(); ++i) {
        const uint32_t raw = NthValue(m_tags[i], 0);
        OnLine([&](LineFixture& line) { SetDeviceItems(line, m_tags[i].tag, raw); });
        m_history.Begin(i, raw, SoakClock::now());
    }
}

// The line server sets a 32-bit tag's registers one after the other, low
// word first: in between, the device holds the new low word beside the old
// high word, and a read may meet that.
void ChaosRun::SetNthValue(size_t index, uint32_t n) {
    const SoakTag& tag = m_tags[index].tag;
    const uint32_t raw = NthValue(m_tags[index], n);
    const uint32_t between = (m_history.Latest(index) & 0xFFFF0000) | (raw & 0xFFFF);
    const SoakClock::time_point asked = SoakClock::now();
    OnLine([&](LineFixture& line) { SetDeviceItems(line, tag, raw); });
    const SoakClock::time_point done = SoakClock::now();
    if (ItemCount(tag) == 2) m_history.Change(index, between, asked, done);
    m_history.Change(index, raw, asked, done);
}

uint32_t ChaosRun::DeviceValue(size_t index) {
    return OnLine([&](LineFixture& line) { return DeviceItems(line, m_tags[index].tag); });
}

void ChaosRun::Broke(const std::string& what) {
    if (++m_broken > kPrintedBreaks) return;
    std::lock_guard<std::mutex> lock(m_printMutex);
    std::printf("BROKEN at %.1f s (seed %u): %s\n", Seconds(), m_seed, what.c_str());
    std::fflush(stdout);
}
