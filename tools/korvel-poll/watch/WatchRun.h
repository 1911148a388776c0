#pragma once
// --watch: the run's tags as one table redrawn in place on the console,
// with the stations' figures below it, until q or Ctrl+C. It follows the
// run as its observer on the polling thread: each read updates the tags'
// states, and each cycle's end (and, within a long cycle, a read now and
// then) hands a copy of them to the view's own thread, which draws it when
// it can. The pause between cycles is only waited out.
#include <cstdint>
#include <string>

#include "korvel-poll/poll/CycleObserver.h"
#include "korvel-poll/trace/LineStatistics.h"
#include "korvel-poll/poll/PollOptions.h"
#include "korvel-poll/watch/WatchView.h"

class WatchRun : public CycleObserver {
public:
    // statistics: what the frame trace counted so far, read on the polling
    // thread whenever a state is handed over.
    WatchRun(const PollOptions& options, const LineStatistics& statistics, WatchSurface& surface);
    // The last state drawn and the view's thread ended.
    void Finish() { m_view.Stop(); }

    void TagRead(size_t index, const TagRecord& record) override;
    void CycleEnded(unsigned cycle, uint64_t ms) override;
    bool Pause(unsigned long ms) override;

private:
    void HandOver(uint64_t now);
    uint32_t RequestsSoFar() const;

    const LineStatistics& m_statistics;
    WatchTags m_tags;
    WatchHeading m_heading;
    bool m_started = false;
    uint64_t m_handedOverMs = 0;
    uint64_t m_rateSinceMs = 0;
    uint32_t m_requestsBefore = 0;
    WatchView m_view;  // last: its thread ends before what it was handed goes
};

// The tags' names as the watch view shows them, from the run's options.
std::vector<WatchTagName> WatchTagNames(const PollOptions& options);
