#pragma once
// --scan: which stations answer on a line. Each station of the range gets one
// small request through the driver, a read of holding register 1 (4x1) with
// a short response time-out, and is listed when it answered: with the value,
// or with the exception code the frame trace shows, since the driver reports
// an exception only as a failed read. An exception still means a device is
// there. With --baud auto the common line settings are tried in turn, each
// on a link opened afresh, until one finds a station. A station that could
// not be asked because the line was lost meanwhile is listed as not asked;
// a line whose connection cannot be made at all ends the scan.
#include <ostream>
#include <string>

#include "driver/IDeviceDriver.h"
#include "korvel-poll/trace/FrameTraceView.h"
#include "korvel-poll/poll/PollOptions.h"

class StationScan {
public:
    // trace must have been started: the scan reads exception codes from it.
    StationScan(IDeviceDriver& driver, const PollOptions& options, std::ostream& out, FrameTraceView& trace);
    // Scans and returns the exit code: success when some station answered.
    int Run();

private:
    enum class Outcome { kSilent, kValue, kException, kBroken, kNotAsked };
    struct Answer {
        Outcome outcome;
        std::string text;
    };

    // Opens the link with line, scans the range, closes the link; false when
    // the link cannot be opened.
    bool ScanLine(const LineOptions& line);
    Answer Ask(int32_t station);
    Answer FromTrace(const std::vector<TraceRecord>& records);
    // The connection error of a line lost while it was opened; empty when
    // it was not.
    std::string LostWhileOpening();
    void ShowProgress(int station);
    void ClearProgress();

    IDeviceDriver& m_driver;
    const PollOptions& m_options;
    const StationRange m_range;
    std::ostream& m_out;
    FrameTraceView& m_trace;
    TagAddress m_tag{};
    size_t m_answered = 0;
    size_t m_notAsked = 0;
    size_t m_stationsLeft = 0;  // over every setting still to try
    unsigned long long m_started = 0;
    size_t m_asked = 0;
    bool m_progress = false;
};
