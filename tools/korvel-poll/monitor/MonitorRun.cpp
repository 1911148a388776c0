#include "korvel-poll/monitor/MonitorRun.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>

#include "driver/ModuleSettings.h"
#include "korvel-poll/console/ExitCode.h"
#include "korvel-poll/console/Interrupt.h"
#include "korvel-poll/host/LineSettings.h"
#include "korvel-poll/console/TextUtil.h"
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
// A busy line is read at most this often: each read costs a trip through
// the system (under Wine, through its server), and a line polled back to
// back would be read once a frame. What comes meanwhile waits in the
// port's queue and is cut apart by the frames' own lengths.
constexpr int64_t kShortestPieceUs = 20 * 1000;
// A read that waits and brings bytes for this long was still taking them
// in when its time ran out: the line is busy.
constexpr int64_t kBusyReadUs = kQuietReadMs * 1000 * 3 / 4;
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
// captured. Each output is flushed once a piece was taken, not once a line:
// under Wine every write of a file costs a trip through its server, and a
// line polled back to back brings hundreds of exchanges a second. What was
// written ends with a whole line or record all the same.
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
    void Flush() {
        m_output.out.flush();
        if (m_output.records != nullptr) m_output.records->flush();
        if (m_capture != nullptr) m_capture->Flush();
    }
    void ExchangeTold(const monitor::Exchange& exchange) override {
        if (m_watch != nullptr) m_watch->Heard(exchange);
        const std::string time = m_clock.Iso(exchange.startUs);
        if (m_output.showLines) m_output.out << monitor::ExchangeTableLine(exchange, time) << '\n';
        if (m_output.records == nullptr) return;
        *m_output.records << (m_output.format == OutputFormat::kJsonl ? monitor::ExchangeJsonLine(exchange, time)
                                                                       : monitor::ExchangeCsvLine(exchange, time))
                          << '\n';
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

// How the port is read. A quiet line: with a read that waits for the next
// frame and ends on the line's silence, its last byte taken to have come as
// the read returned (the port's timers keep the silence only roughly). A
// busy line, where bytes kept coming: every kShortestPieceUs for what waits
// in the queue, spread over the time it gathered in, since a read that
// waits costs a trip through the system (under Wine, through its server)
// for every few bytes it takes in.
class PortReader {
public:
    PortReader(CPortByteSource& source, uint32_t silenceMs)
        : m_source(source), m_silenceMs(silenceMs), m_readAtUs(source.NowUs()), m_returnedUs(m_readAtUs) {}

    // A piece (empty when none came), the time its bytes gathered from and
    // the time it came by; the port's code.
    uint32_t Next(std::string& piece, int64_t& gatheredFromUs, int64_t& nowUs) {
        piece.clear();
        uint32_t got = 0;
        const uint32_t code = m_busy ? ReadWhatWaits(piece, got) : m_source.Read(piece, kPieceBytes, m_silenceMs,
                                                                                 kQuietReadMs, got);
        nowUs = m_source.NowUs();
        gatheredFromUs = m_busy ? m_returnedUs : nowUs;
        m_busy = got > 0 && (m_busy || nowUs - m_readAtUs >= kBusyReadUs);
        m_returnedUs = nowUs;
        return code;
    }

private:
    uint32_t ReadWhatWaits(std::string& piece, uint32_t& got) {
        const int64_t sinceUs = m_source.NowUs() - m_readAtUs;
        if (sinceUs < kShortestPieceUs) {
            Sleep(static_cast<DWORD>((kShortestPieceUs - sinceUs + kUsPerMs - 1) / kUsPerMs));
        }
        m_readAtUs = m_source.NowUs();
        return m_source.Read(piece, kPieceBytes, MAXDWORD, 0, got);
    }

    CPortByteSource& m_source;
    const uint32_t m_silenceMs;
    bool m_busy = false;
    int64_t m_readAtUs;
    int64_t m_returnedUs;
};

// The pieces the port hands over, until the run ends.
bool Listen(PortReader& reader, monitor::CLineListener& listener, MonitorSink& sink, const PollOptions& options,
            MonitorWatch* watch, std::ostream& out) {
    std::string piece;
    int64_t gatheredFromUs = 0;
    int64_t nowUs = 0;
    int64_t endUs = std::numeric_limits<int64_t>::max();
    int64_t figuresAtUs = endUs;
    while (!InterruptRequested()) {
        if (uint32_t code = reader.Next(piece, gatheredFromUs, nowUs)) {
            std::cerr << "korvel-poll: COM" << options.line.port << " failed while listening: error " << code << '\n';
            return false;
        }
        if (endUs == std::numeric_limits<int64_t>::max()) {
            if (options.seconds > 0) endUs = nowUs + int64_t{options.seconds} * kUsPerSecond;
            figuresAtUs = nowUs + kFiguresEveryUs;
        }
        if (piece.empty()) {
            listener.Quiet(nowUs);
        } else {
            listener.Add(piece, gatheredFromUs, nowUs);
        }
        sink.Flush();
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
        std::cerr << "korvel-poll: settings: " << problem << '\n';
        return kExitSomeFailed;
    }
    const modbus::StationSettings line = settings.For(options.line.port, 1);
    if (line.transport != modbus::Transport::kSerial) {
        std::cerr << "korvel-poll: COM" << options.line.port << " is a network line in " << lookup.path
                  << "; a TCP connection cannot be listened to passively\n";
        return kExitBadArguments;
    }
    const line::LineFormat format = FormatOf(options.line);
    CSerialPort port;
    if (uint32_t code = OpenToListen(port, options.line.port, format)) {
        std::cerr << "korvel-poll: cannot open COM" << options.line.port << " to listen: " << DescribeOpenCode(code)
                  << '\n';
        return kExitSomeFailed;
    }
    std::ofstream captureFile;
    std::unique_ptr<monitor::PcapFile> capture;
    if (!options.capturePath.empty()) {
        captureFile.open(options.capturePath, std::ios::binary | std::ios::trunc);
        if (!captureFile) {
            std::cerr << "korvel-poll: cannot write the capture to '" << options.capturePath << "'\n";
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
    PortReader reader(source, static_cast<uint32_t>((timing.silenceUs + kUsPerMs - 1) / kUsPerMs));
    const bool listened = Listen(reader, listener, sink, options, watch.get(), out);
    listener.Finish(source.NowUs());
    sink.Flush();
    watch.reset();
    port.ClosePort();
    out << '\n' << FiguresReport(listener.Figures()) << std::flush;
    return listened ? kExitAllSucceeded : kExitSomeFailed;
}
