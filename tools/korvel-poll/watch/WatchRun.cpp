#include "korvel-poll/watch/WatchRun.h"

#include <windows.h>

#include <iostream>

#include "korvel-poll/DataTypes.h"
#include "korvel-poll/DriverTexts.h"
#include "korvel-poll/Interrupt.h"
#include "tags/TagRecords.h"

namespace {

// Within a long cycle (many tags on a slow line) the values on the screen
// move this often, not only when the cycle ends.
constexpr uint64_t kRedrawWithinCycleMs = 250;

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

WatchRun::WatchRun(const PollOptions& options, const LineStatistics& statistics)
    : m_statistics(statistics), m_tags(WatchTagNames(options)) {
    m_heading.line = DescribeLine(options.line);
    m_heading.timeoutMs = options.line.timeoutMs;
}

void WatchRun::TagRead(size_t index, const TagRecord& record) {
    const uint64_t now = Now();
    if (!m_console.Begun()) {
        // What the run printed before (the line, the writes) stays on the
        // main screen, in order.
        std::cout.flush();
        m_console.Begin();
        m_rateSinceMs = now;
        m_requestsBefore = RequestsSoFar();
    }
    m_tags.Record(index, {record.read, record.value, DescribeUtf8DriverText(record.status)}, now);
    if (TakeKeys(0)) return;
    if (now - m_lastDrawMs >= kRedrawWithinCycleMs) Draw();
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
    Draw();
}

bool WatchRun::Pause(unsigned long ms) {
    const uint64_t end = Now() + ms;
    for (uint64_t now = Now(); now < end; now = Now()) {
        if (InterruptRequested() || TakeKeys(static_cast<unsigned long>(end - now))) return true;
    }
    return InterruptRequested();
}

bool WatchRun::TakeKeys(unsigned long waitMs) {
    bool redraw = false;
    for (WatchKey key : m_console.Keys(waitMs)) {
        switch (key) {
        case WatchKey::kQuit: RequestInterrupt(); return true;
        case WatchKey::kUp: m_firstRow -= m_firstRow > 0 ? 1 : 0; break;
        case WatchKey::kDown: ++m_firstRow; break;
        case WatchKey::kPageUp: m_firstRow -= std::min(m_firstRow, m_page); break;
        case WatchKey::kPageDown: m_firstRow += m_page; break;
        case WatchKey::kHome: m_firstRow = 0; break;
        case WatchKey::kEnd: m_firstRow = m_tags.Size(); break;
        case WatchKey::kResized: break;
        }
        redraw = true;
    }
    if (redraw) Draw();
    return InterruptRequested();
}

void WatchRun::Draw() {
    if (!m_console.Begun()) return;
    const uint64_t now = Now();
    WatchScreen screen{m_heading, m_tags.Rows(now), CountStations(m_statistics.Stations())};
    // The layout keeps the first row within the tags; so does the next key.
    const WatchFrame frame = LayOutWatch(screen, m_console.Size(), m_firstRow);
    m_firstRow = frame.firstRow;
    m_page = std::max<size_t>(frame.rowsShown, 1);
    m_console.Draw(frame.lines);
    m_lastDrawMs = now;
}

uint32_t WatchRun::RequestsSoFar() const {
    uint32_t requests = 0;
    for (const auto& [station, figures] : m_statistics.Stations()) requests += figures.requests;
    return requests;
}
