#pragma once
// korvel-poll --monitor: the serial port opened to listen and never to
// send, what it hands over given to the line's listener, and what that
// tells shown, kept and captured, until Ctrl+C or --seconds have passed.
#include <windows.h>

#include <ostream>

#include "korvel-poll/poll/PollOptions.h"
#include "korvel-poll/poll/TagLog.h"

// out takes what a person reads: a line per exchange when showLines holds,
// and the figures at the end. records, when not null, takes a record per
// exchange in format, starting with the CSV header when fresh.
struct MonitorOutput {
    std::ostream& out;
    bool showLines;
    std::ostream* records;
    bool fresh;
    OutputFormat format;
};

// module: the Korvel.dll beside whose settings file the line is looked up.
// Returns the exit code.
int MonitorLine(const PollOptions& options, HMODULE module, const MonitorOutput& output);
