#include "korvel-poll/watch/WatchRun.h"

#include <windows.h>

#include <iostream>

#include "korvel-poll/host/DataTypes.h"
#include "korvel-poll/host/DriverTexts.h"
#include "korvel-poll/console/Interrupt.h"
#include "tags/TagRecords.h"

namespace {

// Within a long cycle (many tags on a slow line) the values on the screen
// move this often, not only when the cycle ends.
constexpr uint64_t kHandOverWithinCycleMs = 250;

// The widest value text of each type, as ValueText formats it.
struct ValueWidth {
    int16_t dataType;
    size_t width;
};

const ValueWidth kValueWidths[] = {
    {kTypeBit, 1}, {kTypeInt16, 6}, {kTypeUInt16, 5}, {kTypeBcd, 4}, {kTypeUInt32, 10}, {kTypeFloat, 13},
};

size_t ValueWidthOf(int16_t dataType) {
    for (const ValueWidth& known : kValueWidths) {
        if (known.dataType == dataType) return known.width;
    }
    return 1;
}

uint64_t Now() {
    return GetTickCount64();
}

}  // namespace

std::vector<WatchTagName> WatchTagNames(const PollOptions& options) {
    std::vector<WatchTagName> names;
    for (const PollTag& tag : options.tags) {
        WatchTagName name;
        name.name = tag.name;
        name.station = tag.station.empty() ? options.station : tag.station;
        name.address = tag.address;
        name.type = DataTypeText(tag.dataType);
        name.bit = tag.dataType == kTypeBit;
        name.valueWidth = ValueWidthOf(tag.dataType);
        names.push_back(name);
    }
    return names;
}

WatchRun::WatchRun(const PollOptions& options, const LineStatistics& statistics, WatchSurface& surface)
    : m_statistics(statistics), m_tags(WatchTagNames(options)), m_view(surface) {
    m_heading.line = DescribeLine(options.line);
    m_heading.timeoutMs = options.line.timeoutMs;
}

void WatchRun::TagRead(size_t index, const TagRecord& record) {
    const uint64_t now = Now();
    if (!m_started) {
        // What the run printed before (the line, the writes) stays on the
        // main screen, in order, before the view takes the console.
        std::cout.flush();
        m_started = true;
        m_rateSinceMs = now;
        m_requestsBefore = RequestsSoFar();
    }
    m_tags.Record(index, {record.read, record.value, DescribeUtf8DriverText(record.status)}, now);
    if (now - m_handedOverMs >= kHandOverWithinCycleMs) HandOver(now);
}

void WatchRun::CycleEnded(unsigned cycle, uint64_t ms) {
    const uint64_t now = Now();
    const uint32_t requests = RequestsSoFar();
    if (now > m_rateSinceMs) {
        m_heading.requestsPerSecond = (requests - m_requestsBefore) * 1000.0 / static_cast<double>(now - m_rateSinceMs);
    }
    m_rateSinceMs = now;
    m_requestsBefore = requests;
    m_heading.cycles = cycle;
    m_heading.cycleMs = ms;
    HandOver(now);
}

bool WatchRun::Pause(unsigned long ms) {
    return InterruptRequested() || WaitOrInterrupt(ms);
}

void WatchRun::HandOver(uint64_t now) {
    m_view.Show({m_heading, m_tags, CountStations(m_statistics.Stations())});
    m_handedOverMs = now;
}

uint32_t WatchRun::RequestsSoFar() const {
    uint32_t requests = 0;
    for (const auto& [station, figures] : m_statistics.Stations()) requests += figures.requests;
    return requests;
}
