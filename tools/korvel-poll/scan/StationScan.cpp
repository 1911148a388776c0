#include "korvel-poll/scan/StationScan.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "korvel-poll/host/DriverTexts.h"
#include "korvel-poll/console/ExitCode.h"
#include "korvel-poll/console/Interrupt.h"
#include "korvel-poll/host/OpenFailure.h"
#include "korvel-poll/poll/ValueText.h"
#include "modbus/ReplyVerdict.h"

using modbus::DescribeException;
using modbus::JudgeReply;
using modbus::ReplyKind;
using modbus::ReplyVerdict;

namespace {

// Holding register 1: the one register nearly every device has.
const char kScanAddress[] = "4x1";
constexpr int16_t kScanType = kTypeUInt16;

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%s%02X", text.empty() ? "" : " ", byte);
        text += digits;
    }
    return text;
}

}  // namespace

StationScan::StationScan(IDeviceDriver& driver, const PollOptions& options, std::ostream& out, FrameTraceView& trace)
    : m_driver(driver),
      m_options(options),
      m_range(options.stations.value_or(StationRange{})),
      m_out(out),
      m_trace(trace),
      m_progress(_isatty(_fileno(stderr)) != 0) {}

int StationScan::Run() {
    m_tag.dataType = kScanType;
    if (!m_driver.ParseAddress(kScanAddress, &m_tag)) {
        m_out << "the driver refused " << kScanAddress << ": " << DescribeDriverText(m_driver.GetErrorText()) << '\n';
        return kExitSomeFailed;
    }
    std::vector<LineOptions> settings =
        m_options.autoLine ? CommonLineSettings(m_options.line) : std::vector<LineOptions>{m_options.line};
    const size_t perLine = static_cast<size_t>(m_range.last - m_range.first + 1);
    m_stationsLeft = settings.size() * perLine;
    m_started = GetTickCount64();
    bool opened = true;
    for (const LineOptions& line : settings) {
        opened = ScanLine(line);
        if (!opened || InterruptRequested()) break;
        if (m_answered == 0) continue;
        if (m_options.autoLine) m_out << "stations answer at " << DescribeLine(line) << '\n';
        break;
    }
    if (m_notAsked > 0) m_out << m_notAsked << " not asked: the line was lost meanwhile" << std::endl;
    m_out << m_answered << (m_answered == 1 ? " station" : " stations") << " answered" << std::endl;
    return opened && m_answered > 0 ? kExitAllSucceeded : kExitSomeFailed;
}

bool StationScan::ScanLine(const LineOptions& line) {
    LinkParameters link = ToLinkParameters(line);
    DeviceSettings settings{};
    settings.link = &link;
    m_out << "scan: " << DescribeLine(line) << ", stations " << m_range.first << "-" << m_range.last
          << ", response timeout " << line.timeoutMs << " ms" << std::endl;
    if (!m_driver.Open(&settings)) {
        m_out << DescribeOpenFailure(m_driver, line.port, m_trace) << '\n';
        return false;
    }
    if (const std::string lost = LostWhileOpening(); !lost.empty()) {
        m_out << "cannot reach " << DescribeLine(line) << ": " << lost << '\n';
        m_driver.Close(0);
        return false;
    }
    for (int station = m_range.first; station <= m_range.last && !InterruptRequested(); ++station) {
        ShowProgress(station);
        Answer answer = Ask(station);
        --m_stationsLeft;
        if (answer.outcome == Outcome::kSilent) continue;
        if (answer.outcome == Outcome::kNotAsked) ++m_notAsked;
        if (answer.outcome == Outcome::kValue || answer.outcome == Outcome::kException) ++m_answered;
        ClearProgress();
        m_out << "station " << station << ": " << answer.text << std::endl;
    }
    ClearProgress();
    if (InterruptRequested()) m_out << "interrupted\n";
    m_driver.Close(0);
    return true;
}

StationScan::Answer StationScan::Ask(int32_t station) {
    TagValue value{};
    m_trace.Follow();
    const bool read = m_driver.Read(&station, &m_tag, &value) == 1;
    m_driver.GetErrorText();
    ++m_asked;
    std::vector<TraceRecord> records = m_trace.Follow();
    if (read) return {Outcome::kValue, FormatValue(kScanType, value)};
    const bool sent = std::any_of(records.begin(), records.end(), [](const TraceRecord& r) { return IsSend(r.kind); });
    if (!sent) return {Outcome::kNotAsked, "not asked, the line was lost"};
    return FromTrace(records);
}

std::string StationScan::LostWhileOpening() {
    for (const TraceRecord& record : m_trace.Follow()) {
        if (record.kind == TraceKind::kLost) return "error " + std::to_string(record.number);
    }
    return "";
}

// The answer of the last request the driver sent.
StationScan::Answer StationScan::FromTrace(const std::vector<TraceRecord>& records) {
    const TraceRecord* request = nullptr;
    const TraceRecord* reply = nullptr;
    for (const TraceRecord& record : records) {
        if (IsSend(record.kind)) request = &record;
        if (IsReceive(record.kind) && request != nullptr) reply = &record;
    }
    if (request == nullptr || reply == nullptr) return {Outcome::kSilent, ""};
    ReplyVerdict verdict = JudgeReply(request->bytes, reply->bytes);
    switch (verdict.kind) {
    case ReplyKind::kException: return {Outcome::kException, "exception " + DescribeException(verdict.exceptionCode)};
    case ReplyKind::kBroken: return {Outcome::kBroken, "broken reply, not counted: " + Hex(reply->bytes)};
    default: return {Outcome::kSilent, ""};
    }
}

// On a terminal only: a log of the scan holds its results, not its progress.
void StationScan::ShowProgress(int station) {
    if (!m_progress) return;
    const unsigned long long elapsed = GetTickCount64() - m_started;
    const unsigned long long perStation = m_asked == 0 ? m_options.line.timeoutMs : elapsed / m_asked;
    const unsigned long long secondsLeft = (perStation * m_stationsLeft + 999) / 1000;
    std::cerr << "\rtrying station " << station << ", " << m_answered << " found, " << secondsLeft << " s left   "
              << std::flush;
}

void StationScan::ClearProgress() {
    if (m_progress) std::cerr << '\r' << std::string(60, ' ') << '\r' << std::flush;
}
