#pragma once
// --watch: the run's tags as one table redrawn in place on the console,
// with the stations' figures below it, until q or Ctrl+C. It follows the
// run as its observer: each read updates the tags' states, each cycle's end
// and each key redraws, and the pause between cycles is spent reading keys.
#include <cstdint>
#include <string>

#include "korvel-poll/CycleObserver.h"
#include "korvel-poll/LineStatistics.h"
#include "korvel-poll/PollOptions.h"
#include "korvel-poll/watch/WatchConsole.h"
#include "korvel-poll/watch/WatchLayout.h"
#include "korvel-poll/watch/WatchTags.h"

class WatchRun : public CycleObserver {
public:
    // statistics: what the frame trace counted so far, read at every frame.
    WatchRun(const PollOptions& options, const LineStatistics& statistics);
    // The console back as it was, the last frame gone.
    void Finish() { m_console.End(); }

    void TagRead(size_t index, const TagRecord& record) override;
    void CycleEnded(unsigned cycle, uint64_t ms) override;
    bool Pause(unsigned long ms) override;

private:
    // Applies the keys pressed meanwhile; true when one of them ends the run.
    bool TakeKeys(unsigned long waitMs);
    void Draw();
    uint32_t RequestsSoFar() const;

    const LineStatistics& m_statistics;
    WatchConsole m_console;
    WatchTags m_tags;
    WatchHeading m_heading;
    size_t m_firstRow = 0;
    size_t m_page = 1;  // tag rows the last frame showed
    uint64_t m_lastDrawMs = 0;
    uint64_t m_rateSinceMs = 0;
    uint32_t m_requestsBefore = 0;
};

// The tags' names as the watch view shows them, from the run's options.
std::vector<WatchTagName> WatchTagNames(const PollOptions& options);
