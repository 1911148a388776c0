#include "korvel-poll/monitor/MonitorRun.h"

#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>

#include "driver/ModuleSettings.h"
#include "korvel-poll/ExitCode.h"
#include "korvel-poll/Interrupt.h"
#include "korvel-poll/LineSettings.h"
#include "korvel-poll/TextUtil.h"
#include "korvel-poll/monitor/ExchangeText.h"
#include "korvel-poll/monitor/LineListener.h"
#include "korvel-poll/monitor/MonitorWatch.h"
#include "korvel-poll/monitor/PcapFile.h"
#include "serial/PortByteSource.h"
#include "serial/SerialPort.h"

namespace {

constexpr uint32_t kQueueBytes = 4096;
constexpr uint32_t kPieceBytes = 512;
// A read that brings nothing ends this soon, so that time-outs, the end of
// --seconds and Ctrl+C are seen.
constexpr uint32_t kQuietReadMs = 20;
constexpr int64_t kUsPerMs = 1000;
constexpr int64_t kUsPerSecond = 1000000;
// --stats shows the figures this often while the run goes on.
constexpr int64_t kFiguresEveryUs = 60 * kUsPerSecond;
// FILETIME counts 100 ns from 1601; the capture counts microseconds from 1970.
constexpr int64_t kFileTimeUnitsPerUs = 10;
constexpr int64_t kFileTimeEpochTo1970Us = 11644473600LL * kUsPerSecond;

struct OpenProblem {
    uint32_t code;
    const char* meaning;
};

const OpenProblem kOpenProblems[] = {
    {ERROR_FILE_NOT_FOUND, "no such port"},
    {ERROR_ACCESS_DENIED, "another program holds it"},
};

std::string DescribeOpenCode(uint32_t code) {
    for (const OpenProblem& problem : kOpenProblems) {
        if (problem.code == code) return problem.meaning;
    }
    return "error " + std::to_string(code);
}

// The wall clock at a time of the line's clock.
class WallClock {
public:
    explicit WallClock(int64_t lineNowUs) : m_lineUs(lineNowUs) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const uint64_t units = uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
        m_utcUs = static_cast<int64_t>(units / kFileTimeUnitsPerUs) - kFileTimeEpochTo1970Us;
    }
    // Microseconds since 1970 in UTC.
    int64_t UtcUs(int64_t lineUs) const { return m_utcUs + (lineUs - m_lineUs); }
    std::string Iso(int64_t lineUs) const {
        const auto units = static_cast<uint64_t>((UtcUs(lineUs) + kFileTimeEpochTo1970Us) * kFileTimeUnitsPerUs);
        const FILETIME time{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
        SYSTEMTIME utc;
        FileTimeToSystemTime(&time, &utc);
        return IsoTime(utc);
    }

private:
    int64_t m_lineUs;
    int64_t m_utcUs;
};

// What the listener tells, shown on the terminal, kept as records and
// captured.
class MonitorSink : public monitor::IListenSink {
public:
    MonitorSink(const MonitorOutput& output, const WallClock& clock, monitor::PcapFile* capture, MonitorWatch* watch)
        : m_output(output), m_clock(clock), m_capture(capture), m_watch(watch) {
        if (m_output.records != nullptr && m_output.fresh && m_output.format == OutputFormat::kCsv) {
            *m_output.records << monitor::ExchangeCsvHeader() << std::endl;
        }
    }
    void FrameCut(const monitor::CutFrame& frame) override {
        if (m_capture != nullptr) m_capture->Add(frame.bytes, m_clock.UtcUs(frame.startUs));
    }
    void ExchangeTold(const monitor::Exchange& exchange) override {
        if (m_watch != nullptr) m_watch->Heard(exchange);
        const std::string time = m_clock.Iso(exchange.startUs);
        if (m_output.showLines) m_output.out << monitor::ExchangeTableLine(exchange, time) << std::endl;
        if (m_output.records == nullptr) return;
        *m_output.records << (m_output.format == OutputFormat::kJsonl ? monitor::ExchangeJsonLine(exchange, time)
                                                                       : monitor::ExchangeCsvLine(exchange, time))
                          << std::endl;
    }

private:
    const MonitorOutput& m_output;
    const WallClock& m_clock;
    monitor::PcapFile* m_capture;
    MonitorWatch* m_watch;
};

std::string FiguresReport(const monitor::ListenFigures& figures) {
    return TableText(figures.StationRows()) + figures.LineSummary() + "\n";
}

line::LineFormat FormatOf(const LineOptions& options) {
    const LinkParameters link = ToLinkParameters(options);
    line::LineFormat format{};
    line::LineFormatOf(link.baudIndex, link.eightDataBits, link.parityIndex, link.twoStopBits, format);
    return format;
}

uint32_t OpenToListen(CSerialPort& port, int number, const line::LineFormat& format) {
    char path[16];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", number);
    if (uint32_t code = port.OpenPort(path, kQueueBytes, kQueueBytes)) return code;
    const uint32_t code = port.SetLineFormat(format.baud, format.byteSize, format.parity, format.stopBits);
    if (code != 0) port.ClosePort();
    return code;
}

// The pieces the port hands over, until the run ends. A read ends on the
// line's silence; its last byte is taken to have come as it returned, since
// the port's timers keep the silence only roughly.
bool Listen(CPortByteSource& source, monitor::CLineListener& listener, uint32_t silenceMs, const PollOptions& options,
            MonitorWatch* watch, std::ostream& out) {
    const int64_t startUs = source.NowUs();
    const int64_t endUs = options.seconds > 0 ? startUs + int64_t{options.seconds} * kUsPerSecond
                                              : std::numeric_limits<int64_t>::max();
    int64_t figuresAtUs = startUs + kFiguresEveryUs;
    std::string piece;
    while (!InterruptRequested()) {
        piece.clear();
        uint32_t got = 0;
        if (uint32_t code = source.Read(piece, kPieceBytes, silenceMs, kQuietReadMs, got)) {
            out << "korvel-poll: COM" << options.line.port << " failed while listening: error " << code << '\n';
            return false;
        }
        const int64_t nowUs = source.NowUs();
        if (got == 0) {
            listener.Quiet(nowUs);
        } else {
            listener.Add(piece, nowUs);
        }
        if (nowUs >= endUs || (watch != nullptr && !watch->Show(listener.Figures()))) break;
        if (options.stats && nowUs >= figuresAtUs) {
            out << '\n' << FiguresReport(listener.Figures()) << '\n' << std::flush;
            figuresAtUs += kFiguresEveryUs;
        }
    }
    return true;
}

}  // namespace

int MonitorLine(const PollOptions& options, HMODULE module, const MonitorOutput& output) {
    std::ostream& out = output.out;
    modbus::SettingsFile settings;
    SettingsLookup lookup;
    const std::string problem = LoadModuleSettings(module, settings, lookup);
    if (!problem.empty()) {
        out << "korvel-poll: settings: " << problem << '\n';
        return kExitSomeFailed;
    }
    const modbus::StationSettings line = settings.For(options.line.port, 1);
    if (line.transport != modbus::Transport::kSerial) {
        out << "korvel-poll: COM" << options.line.port << " is a network line in " << lookup.path
            << "; a TCP connection cannot be listened to passively\n";
        return kExitBadArguments;
    }
    const line::LineFormat format = FormatOf(options.line);
    CSerialPort port;
    if (uint32_t code = OpenToListen(port, options.line.port, format)) {
        out << "korvel-poll: cannot open COM" << options.line.port << " to listen: " << DescribeOpenCode(code) << '\n';
        return kExitSomeFailed;
    }
    std::ofstream captureFile;
    std::unique_ptr<monitor::PcapFile> capture;
    if (!options.capturePath.empty()) {
        captureFile.open(options.capturePath, std::ios::binary | std::ios::trunc);
        if (!captureFile) {
            out << "korvel-poll: cannot write the capture to '" << options.capturePath << "'\n";
            return kExitSomeFailed;
        }
        capture = std::make_unique<monitor::PcapFile>(captureFile);
    }
    COMMTIMEOUTS timeouts{};
    port.GetTimeouts(timeouts);
    CPortByteSource source(port, timeouts);
    const WallClock clock(source.NowUs());
    std::unique_ptr<MonitorWatch> watch;
    out << "listening to " << DescribeLine(options.line) << ", sending nothing; Ctrl+C ends\n" << std::flush;
    if (options.watch) watch = std::make_unique<MonitorWatch>(options);
    MonitorSink sink(output, clock, capture.get(), watch.get());
    const monitor::CutTiming timing = monitor::ListenTiming(format, static_cast<uint32_t>(line.silenceUs));
    monitor::CLineListener listener(timing, int64_t{options.line.timeoutMs} * kUsPerMs, sink);
    const auto silenceMs = static_cast<uint32_t>((timing.silenceUs + kUsPerMs - 1) / kUsPerMs);
    const bool listened = Listen(source, listener, silenceMs, options, watch.get(), out);
    listener.Finish();
    watch.reset();
    port.ClosePort();
    out << '\n' << FiguresReport(listener.Figures()) << std::flush;
    return listened ? kExitAllSucceeded : kExitSomeFailed;
}
