#pragma once
// One run against one driver object: the stations and tags handed to the
// driver, the link opened, the writes done, then the polling cycles.
#include <ostream>
#include <string>
#include <vector>

#include "driver/IDeviceDriver.h"
#include "korvel-poll/poll/CycleObserver.h"
#include "korvel-poll/trace/FrameTraceView.h"
#include "korvel-poll/poll/PollOptions.h"
#include "korvel-poll/poll/PollTable.h"
#include "korvel-poll/poll/TagLog.h"

// Where a run's output goes. out takes what a person reads: the line, the
// writes, the table when showTable holds, and the summary of each cycle.
// log, when not null, takes a record of every read. trace is followed
// during Open, and after every exchange when followTrace holds; otherwise it
// is stopped once the line is open. observer, when not null, follows the
// cycles in place of their summaries and spends the pauses between them.
struct RunOutput {
    std::ostream& out;
    bool showTable;
    TagLog* log;
    FrameTraceView& trace;
    bool followTrace;
    CycleObserver* observer = nullptr;
};

class PollRun {
public:
    PollRun(IDeviceDriver& driver, const PollOptions& options, const RunOutput& output);

    // Lets the driver check every station and tag address. An empty text, or
    // what the driver refused (a bad argument).
    std::string Prepare();
    // Opens the link; false (with the reason printed) when it cannot.
    bool OpenLink();
    void WriteAll();
    void PollCycles();
    void CloseLink();
    bool AllSucceeded() const { return m_failures == 0; }

private:
    struct PreparedTag {
        const PollTag* tag;
        std::string stationText;
        int32_t station;
        TagAddress address;
    };

    std::string PrepareTag(const PollTag& tag, PreparedTag& prepared);
    std::string LastError();
    void WriteOne(const WriteRequest& write, const PreparedTag& tag);
    size_t PollCycle(unsigned cycle);
    TagRecord ReadOne(const PreparedTag& tag);
    void ShowRecord(size_t index, const TagRecord& record);
    bool PauseEnds();
    void FollowTrace();

    IDeviceDriver& m_driver;
    const PollOptions& m_options;
    RunOutput m_output;
    PollTable m_table;
    std::vector<PreparedTag> m_tags;
    std::vector<PreparedTag> m_writeTags;
    DeviceSettings m_settings{};
    LinkParameters m_link{};
    size_t m_failures = 0;
};
