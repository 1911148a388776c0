#pragma once
// Everything a korvel-poll run was asked to do, parsed from its command line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "korvel-poll/host/LineSettings.h"
#include "korvel-poll/poll/PollTag.h"
#include "korvel-poll/poll/TagLog.h"
#include "tags/TagRecords.h"

struct WriteRequest {
    PollTag tag;
    std::string valueText;
    TagValue value{};
};

struct StationRange {
    int first = 1;
    int last = 247;
};

struct PollOptions {
    std::string dllPath;   // empty: Korvel.dll beside the tool
    bool registered = false;  // create the driver through the registered class
    std::string configPath;   // --config: the settings file the driver reads
    std::vector<std::string> settingOverrides;  // --set, each "key=value", checked
    LineOptions line;
    bool timeoutGiven = false;
    std::string station = "1";
    std::vector<PollTag> tags;
    std::vector<WriteRequest> writes;
    uint32_t cycles = 1;  // 0: until interrupted
    bool cyclesGiven = false;
    uint32_t intervalMs = 1000;
    bool info = false;
    bool trace = false;
    bool help = false;
    bool scan = false;
    std::optional<StationRange> stations;  // --scan; set once it is given
    bool autoLine = false;   // --baud auto: --scan tries the common line settings
    std::optional<OutputFormat> format;
    std::string outputPath;  // --output: records appended to this file
    bool stats = false;
    bool watch = false;    // --watch: the tags as a table redrawn in place
    std::string plotPath;  // --plot: the log to draw as a trend into outputPath
    std::vector<std::string> plotAddresses;  // --tag: the tags of the log to draw; all when empty
    bool monitor = false;     // --monitor: listen to the line another master drives
    std::string capturePath;  // --capture: the frames heard, as a pcap file
    uint32_t seconds = 0;     // --seconds: how long --monitor listens; 0 until Ctrl+C
    bool secondsGiven = false;
};

// Parses the arguments after the program name. Returns an empty text, or one
// line saying what is wrong; options then holds whatever was parsed so far.
std::string ParsePollArguments(const std::vector<std::string>& args, PollOptions& options);
// The --set assignments as the driver takes them from its environment.
std::string SettingOverrideList(const PollOptions& options);
// The text --help prints.
std::string PollUsage();
