#include "korvel-poll/PollRun.h"

#include <windows.h>

#include "korvel-poll/DataTypes.h"
#include "korvel-poll/DriverTexts.h"
#include "korvel-poll/Interrupt.h"
#include "korvel-poll/ValueText.h"

PollRun::PollRun(IDeviceDriver& driver, const PollOptions& options, std::ostream& out, FrameTraceView* trace)
    : m_driver(driver), m_options(options), m_out(out), m_trace(trace), m_table(options.tags, options.station) {}

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
    m_out << "line: " << DescribeLine(m_options.line) << ", response timeout " << m_options.line.timeoutMs << " ms"
          << (m_options.line.rts ? ", RTS keyed while sending" : "") << '\n';
    if (m_driver.Open(&m_settings)) return true;
    m_out << "cannot open COM" << m_options.line.port << ": " << LastError() << '\n';
    ++m_failures;
    return false;
}

void PollRun::WriteAll() {
    for (size_t i = 0; i < m_writeTags.size(); ++i) WriteOne(m_options.writes[i], m_writeTags[i]);
}

void PollRun::WriteOne(const WriteRequest& write, const PreparedTag& tag) {
    bool written = m_driver.Write(&tag.station, &tag.address, &write.value) == 1;
    std::string outcome = written ? "OK" : LastError();
    ShowFrames();
    m_out << "write station " << tag.stationText << " " << write.tag.address << ":" << DataTypeText(write.tag.dataType)
          << " = " << write.valueText << "  " << outcome << '\n';
    if (!written) ++m_failures;
}

TagReading PollRun::ReadOne(const PreparedTag& tag) {
    TagValue value{};
    if (m_driver.Read(&tag.station, &tag.address, &value) == 1) {
        return {tag.stationText, FormatValue(tag.tag->dataType, value), "OK"};
    }
    return {tag.stationText, "-", LastError()};
}

size_t PollRun::PollCycle(unsigned cycle) {
    ULONGLONG started = GetTickCount64();
    size_t failed = 0;
    size_t read = 0;
    m_out << '\n' << m_table.Header() << '\n';
    for (const PreparedTag& tag : m_tags) {
        if (InterruptRequested()) break;
        TagReading reading = ReadOne(tag);
        ++read;
        if (reading.status != "OK") ++failed;
        ShowFrames();
        m_out << m_table.Row(*tag.tag, reading) << std::endl;
    }
    m_out << CycleSummary(cycle, read, failed, GetTickCount64() - started) << std::endl;
    return failed;
}

void PollRun::PollCycles() {
    if (m_tags.empty()) return;
    for (unsigned cycle = 1;; ++cycle) {
        m_failures += PollCycle(cycle);
        if (m_options.cycles != 0 && cycle >= m_options.cycles) return;
        if (InterruptRequested() || WaitOrInterrupt(m_options.intervalMs)) {
            m_out << "interrupted\n";
            return;
        }
    }
}

void PollRun::CloseLink() {
    m_driver.Close(0);
}

void PollRun::ShowFrames() {
    if (m_trace != nullptr) m_trace->ShowNew(m_out);
}
