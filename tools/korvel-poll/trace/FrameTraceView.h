#pragma once
// The driver appends every frame it sends and receives, and the events of
// its line handling, to the file KORVEL_TRACE names. This follows that file
// for --trace (the lines shown as they come), --stats (the lines counted)
// and --scan (the reply behind a failed read), and for every Open, where the
// driver says why it refused its settings file.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "korvel-poll/trace/LineStatistics.h"
#include "korvel-poll/trace/TraceRecord.h"

class FrameTraceView {
public:
    // show: where new lines are printed, indented; stats: where they are
    // counted. Either may be null.
    FrameTraceView(std::ostream* show, LineStatistics* stats) : m_show(show), m_stats(stats) {}
    FrameTraceView(const FrameTraceView&) = delete;
    FrameTraceView& operator=(const FrameTraceView&) = delete;
    // Removes the file when it was a temporary one of ours.
    ~FrameTraceView();

    // Keeps the file KORVEL_TRACE already names, from its current end, or
    // names a temporary file. Returns an empty text or what went wrong.
    std::string Start();
    // Follows no more; a temporary file is removed and the driver writes no
    // more to it.
    void Stop();
    // The lines appended since the last call, shown and counted, parsed.
    std::vector<TraceRecord> Follow();
    // Follows and gives the reason of the last settings complaint among the
    // new lines; empty when there is none.
    std::string SettingsProblem();

private:
    std::ostream* m_show;
    LineStatistics* m_stats;
    std::string m_path;
    uint64_t m_followed = 0;
    bool m_temporary = false;
};
