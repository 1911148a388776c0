#include "ChaosPoller.h"

#include <algorithm>
#include <sstream>

namespace {

// One cycle in this many has a write, at a random place in the poll.
constexpr uint32_t kWriteOneCycleIn = 4;
// A host starts its cycles no faster than this, so that a cycle of reads
// refused at once does not spin.
constexpr auto kShortestCycle = std::chrono::milliseconds(250);

double Ms(SoakClock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::string Hex(const std::vector<uint32_t>& values) {
    std::ostringstream text;
    text << std::hex;
    for (uint32_t value : values) text << " 0x" << value;
    return text.str();
}

std::string TagText(const SoakTag& tag) {
    std::ostringstream text;
    text << AddressText(tag) << " (type " << tag.dataType << ") of station " << tag.station;
    return text.str();
}

}  // namespace

ChaosPoller::ChaosPoller(ChaosRun& run, HostDriver& driver, int index, uint32_t boundMs)
    : m_run(run),
      m_driver(driver),
      m_index(static_cast<size_t>(index)),
      m_boundMs(boundMs),
      m_lastReadStart(run.TagsPerDriver(), SoakClock::now()),
      m_random(run.Seed() + 1 + static_cast<uint32_t>(index)) {}

ChaosPoller::~ChaosPoller() {
    Stop();
}

bool ChaosPoller::Prepare() {
    for (size_t i = 0; i < m_run.TagsPerDriver(); ++i) {
        const SoakTag& tag = m_run.Tag(Global(i)).tag;
        m_parsed.push_back(m_driver.Tag(AddressText(tag), tag.dataType));
        if (m_parsed.back().dataType != tag.dataType) return false;
    }
    return true;
}

void ChaosPoller::Start() {
    m_lastReadStart.assign(m_lastReadStart.size(), SoakClock::now());
    m_thread = std::thread([this] {
        while (!m_stopping) Cycle();
    });
}

void ChaosPoller::Stop() {
    m_stopping = true;
    if (m_thread.joinable()) m_thread.join();
}

void ChaosPoller::Count(bool on, uint32_t plan, double cycleBoundMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_plan = plan;
    m_cycleBoundMs = cycleBoundMs;
    m_health = {};
    m_counting = on;
}

PollHealth ChaosPoller::Health() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_health;
}

PollFigures ChaosPoller::Figures() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_figures;
}

// A cycle that began before counting did is not judged: some of its
// requests went out before the count's start.
void ChaosPoller::Cycle() {
    const bool judged = m_counting && m_baselined;
    if (!m_counting) m_baselined = false;
    if (m_counting && !m_baselined) {
        m_requestsBefore = CountRequests();
        m_baselined = true;
    }
    const SoakClock::time_point start = SoakClock::now();
    const size_t tagCount = m_run.TagsPerDriver();
    const size_t writeAt = m_random() % (kWriteOneCycleIn * tagCount);
    bool allRead = true;
    for (size_t i = 0; i < tagCount; ++i) {
        if (i == writeAt) WriteTag();
        allRead = ReadTag(i) && allRead;
    }
    const double cycleMs = std::chrono::duration<double, std::milli>(SoakClock::now() - start).count();
    std::this_thread::sleep_until(start + kShortestCycle);
    std::this_thread::sleep_for(std::chrono::milliseconds(m_run.CyclePauseMs()));
    if (!judged) return;
    const uint32_t requests = CountRequests();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_counting) return;
    ++m_health.cycles;
    // A write withdraws the cached values it contradicts, and a read after
    // it in the same cycle asks for them again: only cycles without a write
    // show the plan.
    const bool wrote = writeAt < tagCount;
    if (!wrote) {
        m_health.requests = requests - m_requestsBefore;
        m_health.requestsCycle = m_health.cycles;
    }
    m_requestsBefore = requests;
    const bool inTime = m_cycleBoundMs == 0 || cycleMs <= m_cycleBoundMs;
    m_health.inTimeInARow = inTime ? m_health.inTimeInARow + 1 : 0;
    const bool healthy = allRead && inTime && (m_plan == 0 || wrote || m_health.requests == m_plan);
    if (healthy) m_health.slowestHealthyMs = std::max(m_health.slowestHealthyMs, cycleMs);
    if (healthy && m_health.healthyInARow++ == 0) m_health.healthySince = start;
    if (!healthy) m_health.healthyInARow = 0;
}

bool ChaosPoller::ReadTag(size_t i) {
    const size_t global = Global(i);
    const SoakTag& tag = m_run.Tag(global).tag;
    TagValue value = {};
    const SoakClock::time_point start = SoakClock::now();
    const Outcome outcome = m_driver.Read(tag.station, m_parsed[i], value);
    const SoakClock::time_point end = SoakClock::now();
    CheckBound("Read", i, start, end);
    // A value handed out from the cache was fetched after the tag's last
    // read began, since every read takes the cached value there was.
    const SoakClock::time_point windowStart = m_lastReadStart[i];
    m_lastReadStart[i] = start;
    bool wrong = false;
    if (outcome.result == 1) {
        const std::vector<uint32_t> held = m_run.History().HeldBetween(global, windowStart, end);
        wrong = true;
        for (uint32_t raw : held) wrong = wrong && !FieldMatches(tag, raw, value);
        if (wrong) {
            std::ostringstream what;
            what << "driver " << m_index << " read " << TagText(tag) << " as 0x" << std::hex
                 << DeliveredValue(m_parsed[i], value) << std::dec << ", marked OK; the device held" << Hex(held)
                 << " from " << m_run.Seconds(windowStart) << " s to " << m_run.Seconds(end) << " s and holds 0x"
                 << std::hex << m_run.DeviceValue(global) << " now";
            m_run.Broke(what.str());
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_figures.reads;
    if (outcome.result != 1) ++m_figures.failedReads;
    if (wrong) ++m_figures.wrong;
    return outcome.result == 1;
}

// Only this driver object changes a written tag, so what the device holds
// after the write is the write's doing, whether it was confirmed or not;
// but a gateway still carries out, later, a write the driver gave up on,
// and one it confirmed comes after every write queued before it.
void ChaosPoller::WriteTag() {
    std::vector<size_t> written;
    for (size_t i = 0; i < m_run.TagsPerDriver(); ++i) {
        if (m_run.Tag(Global(i)).written) written.push_back(i);
    }
    const size_t i = written[m_random() % written.size()];
    const size_t global = Global(i);
    const ChaosTag& tag = m_run.Tag(global);
    const uint32_t raw = NthValue(tag, m_run.History().Changes(global) + 1);
    const SoakClock::time_point start = SoakClock::now();
    const Outcome outcome = m_driver.Write(tag.tag.station, m_parsed[i], ValueToWrite(tag.tag, raw));
    CheckBound("Write", i, start, SoakClock::now());
    const uint32_t held = m_run.DeviceValue(global);
    if (outcome.result != 1 && m_run.QueuesRequests()) {
        m_run.History().MayChange(global, raw, start);
    } else {
        m_run.History().Change(global, held, start, SoakClock::now());
    }
    const bool wrong = outcome.result == 1 && held != raw;
    if (wrong) {
        std::ostringstream what;
        what << "driver " << m_index << " confirmed a write of 0x" << std::hex << raw << " to " << TagText(tag.tag)
             << ", but the device holds 0x" << held;
        m_run.Broke(what.str());
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_figures.writes;
    if (outcome.result != 1) ++m_figures.failedWrites;
    if (wrong) ++m_figures.wrong;
}

// Reads of this driver object's items only: the other's and the writes do
// not count.
uint32_t ChaosPoller::CountRequests() {
    const Frames frames = m_run.OnLine([](LineFixture& line) { return line.Requests(); });
    const uint32_t base = ItemBase(static_cast<int>(m_index));
    uint32_t count = 0;
    for (const Bytes& frame : frames) {
        if (frame.size() < 8 || frame[1] < 1 || frame[1] > 4) continue;
        const uint32_t address = uint32_t{frame[2]} << 8 | frame[3];
        if (address >= base && address < base + kItemSpan) ++count;
    }
    return count;
}

void ChaosPoller::CheckBound(const char* call, size_t i, SoakClock::time_point start, SoakClock::time_point end) {
    if (Ms(end - start) <= m_boundMs) return;
    std::ostringstream what;
    what << "driver " << m_index << ": " << call << " of " << TagText(m_run.Tag(Global(i)).tag) << " took "
         << static_cast<int>(Ms(end - start)) << " ms, more than its bound of " << m_boundMs << " ms";
    m_run.Broke(what.str());
}
