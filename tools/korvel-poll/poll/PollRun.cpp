#include "korvel-poll/poll/PollRun.h"

#include <windows.h>

#include "korvel-poll/host/DataTypes.h"
#include "korvel-poll/host/DriverTexts.h"
#include "korvel-poll/console/GbkText.h"
#include "korvel-poll/console/Interrupt.h"
#include "korvel-poll/host/OpenFailure.h"
#include "korvel-poll/poll/ValueText.h"

namespace {

std::string UtcNow() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    return IsoTime(now);
}

}  // namespace

PollRun::PollRun(IDeviceDriver& driver, const PollOptions& options, const RunOutput& output)
    : m_driver(driver), m_options(options), m_output(output), m_table(options.tags, options.station) {}

std::string PollRun::LastError() {
    return DescribeDriverText(m_driver.GetErrorText());
}

std::string PollRun::PrepareTag(const PollTag& tag, PreparedTag& prepared) {
    prepared.tag = &tag;
    prepared.stationText = tag.station.empty() ? m_options.station : tag.station;
    if (!m_driver.CheckStation(prepared.stationText.c_str(), &prepared.station)) {
        return "station '" + prepared.stationText + "' refused by the driver: " + LastError();
    }
    prepared.address = TagAddress{};
    prepared.address.dataType = tag.dataType;
    if (!m_driver.ParseAddress(tag.address.c_str(), &prepared.address)) {
        return "tag '" + tag.address + ":" + DataTypeText(tag.dataType) + "' refused by the driver: " + LastError();
    }
    return "";
}

std::string PollRun::Prepare() {
    for (const PollTag& tag : m_options.tags) {
        PreparedTag prepared;
        std::string problem = PrepareTag(tag, prepared);
        if (!problem.empty()) return problem;
        m_tags.push_back(prepared);
    }
    for (const WriteRequest& write : m_options.writes) {
        PreparedTag prepared;
        std::string problem = PrepareTag(write.tag, prepared);
        if (!problem.empty()) return problem;
        m_writeTags.push_back(prepared);
    }
    return "";
}

bool PollRun::OpenLink() {
    m_link = ToLinkParameters(m_options.line);
    m_settings.link = &m_link;
    m_output.out << "line: " << DescribeLine(m_options.line) << ", response timeout " << m_options.line.timeoutMs << " ms"
          << (m_options.line.rts ? ", RTS keyed while sending" : "") << '\n';
    if (m_driver.Open(&m_settings)) {
        if (!m_output.followTrace) m_output.trace.Stop();
        return true;
    }
    m_output.out << DescribeOpenFailure(m_driver, m_options.line.port, m_output.trace) << '\n';
    ++m_failures;
    return false;
}

void PollRun::WriteAll() {
    for (size_t i = 0; i < m_writeTags.size(); ++i) WriteOne(m_options.writes[i], m_writeTags[i]);
}

void PollRun::WriteOne(const WriteRequest& write, const PreparedTag& tag) {
    bool written = m_driver.Write(&tag.station, &tag.address, &write.value) == 1;
    std::string outcome = written ? "OK" : LastError();
    FollowTrace();
    m_output.out << "write station " << tag.stationText << " " << write.tag.address << ":" << DataTypeText(write.tag.dataType)
          << " = " << write.valueText << "  " << outcome << '\n';
    if (!written) ++m_failures;
}

TagRecord PollRun::ReadOne(const PreparedTag& tag) {
    TagRecord record;
    TagValue value{};
    record.read = m_driver.Read(&tag.station, &tag.address, &value) == 1;
    record.time = UtcNow();
    record.station = tag.station;
    record.tag = tag.tag;
    record.value = record.read ? FormatValue(tag.tag->dataType, value) : "";
    record.status = GbkToUtf8(m_driver.GetErrorText());
    return record;
}

void PollRun::ShowRecord(size_t index, const TagRecord& record) {
    const PreparedTag& tag = m_tags[index];
    if (m_output.showTable) {
        TagReading reading{tag.stationText, record.read ? record.value : "-", DescribeUtf8DriverText(record.status)};
        m_output.out << m_table.Row(*tag.tag, reading) << std::endl;
    }
    if (m_output.log != nullptr) m_output.log->Add(record);
    if (m_output.observer != nullptr) m_output.observer->TagRead(index, record);
}

size_t PollRun::PollCycle(unsigned cycle) {
    ULONGLONG started = GetTickCount64();
    size_t failed = 0;
    size_t read = 0;
    if (m_output.showTable) m_output.out << '\n' << m_table.Header() << '\n';
    for (size_t i = 0; i < m_tags.size(); ++i) {
        if (InterruptRequested()) break;
        TagRecord record = ReadOne(m_tags[i]);
        ++read;
        if (!record.read) ++failed;
        FollowTrace();
        ShowRecord(i, record);
    }
    const uint64_t ms = GetTickCount64() - started;
    if (m_output.observer != nullptr) {
        m_output.observer->CycleEnded(cycle, ms);
    } else {
        m_output.out << CycleSummary(cycle, read, failed, ms) << std::endl;
    }
    return failed;
}

// An observer spends the pause itself and says whether the run goes on.
bool PollRun::PauseEnds() {
    if (m_output.observer != nullptr) return m_output.observer->Pause(m_options.intervalMs);
    if (!InterruptRequested() && !WaitOrInterrupt(m_options.intervalMs)) return false;
    m_output.out << "interrupted\n";
    return true;
}

void PollRun::PollCycles() {
    if (m_tags.empty()) return;
    for (unsigned cycle = 1;; ++cycle) {
        m_failures += PollCycle(cycle);
        if (m_options.cycles != 0 && cycle >= m_options.cycles) return;
        if (PauseEnds()) return;
    }
}

void PollRun::CloseLink() {
    m_driver.Close(0);
}

void PollRun::FollowTrace() {
    if (m_output.followTrace) m_output.trace.Follow();
}
