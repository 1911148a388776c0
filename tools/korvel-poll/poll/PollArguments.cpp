#include "korvel-poll/poll/PollOptions.h"

#include "korvel-poll/host/DataTypes.h"
#include "korvel-poll/poll/TagFile.h"
#include "korvel-poll/console/TextUtil.h"
#include "korvel-poll/poll/ValueText.h"
#include "tags/AreaRules.h"
#include "settings/SettingsFile.h"

namespace {

// Short enough that a silent station costs little, long enough for a slow
// device at 2400 baud.
constexpr uint32_t kScanTimeoutMs = 100;

using Setter = std::string (*)(PollOptions&, const std::string&);

struct OptionRule {
    const char* name;
    bool takesValue;
    Setter set;
};

std::string SetCount(const char* option, const std::string& text, int64_t max, uint32_t& value) {
    int64_t number = 0;
    if (text.find_first_not_of("0123456789") != std::string::npos || !ParseInteger(text, 0, max, number)) {
        return std::string(option) + " '" + text + "' must be a number 0.." + std::to_string(max);
    }
    value = static_cast<uint32_t>(number);
    return "";
}

std::string SetWrite(PollOptions& o, const std::string& text) {
    size_t equals = text.find('=');
    if (equals == std::string::npos) return "--write '" + text + "' needs a value: ADDRESS:TYPE=VALUE, e.g. 4x5:uint16=250";
    WriteRequest write;
    std::string problem = ParseTagSpec(text.substr(0, equals), write.tag);
    if (problem.empty() && IsReadOnlyArea(write.tag.address)) {
        problem = "--write '" + text + "': areas 1x and 3x are read-only; write coils (0x) or holding registers (4x)";
    }
    write.valueText = text.substr(equals + 1);
    if (problem.empty()) problem = ParseValue(write.tag.dataType, write.valueText, write.value);
    if (problem.empty()) o.writes.push_back(write);
    return problem;
}

// "FIRST-LAST" or one station alone.
std::string SetStations(PollOptions& o, const std::string& text) {
    std::vector<std::string> ends = Split(text, '-');
    int64_t first = 0;
    int64_t last = 0;
    bool parsed = ends.size() <= 2 && CheckStationText(ends[0]).empty() && CheckStationText(ends.back()).empty() &&
                  ParseInteger(ends[0], 1, 254, first) && ParseInteger(ends.back(), first, 254, last);
    if (!parsed) return "--stations '" + text + "' must be FIRST-LAST within 1..254, e.g. 1-247";
    o.stations = StationRange{static_cast<int>(first), static_cast<int>(last)};
    return "";
}

std::string SetBaudOrAuto(PollOptions& o, const std::string& text) {
    o.autoLine = text == "auto";
    return o.autoLine ? "" : SetBaud(o.line, text);
}

std::string SetFormat(PollOptions& o, const std::string& text) {
    OutputFormat format;
    if (!ParseOutputFormat(text, format)) return "--format '" + text + "' is unknown: use table, csv or jsonl";
    o.format = format;
    return "";
}

std::string AddTag(PollOptions& o, const std::string& text) {
    PollTag tag;
    std::string problem = ParseTagSpec(text, tag);
    if (problem.empty()) o.tags.push_back(tag);
    return problem;
}

// A tag of the log --plot draws, by its address as the log writes it.
std::string AddPlotAddress(PollOptions& o, const std::string& text) {
    if (Trim(text).empty()) return "--tag needs the address of a tag in the log, e.g. --tag 4x100";
    o.plotAddresses.push_back(Trim(text));
    return "";
}

// Checked together, as the driver will take them: a key set twice is as
// wrong as a bad value.
std::string AddOverride(PollOptions& o, const std::string& text) {
    o.settingOverrides.push_back(text);
    modbus::SettingsFile settings;
    return modbus::OverrideAll(settings, SettingOverrideList(o));
}

const OptionRule kOptions[] = {
    {"--dll", true, [](PollOptions& o, const std::string& v) { o.dllPath = v; return std::string(); }},
    {"--registered", false, [](PollOptions& o, const std::string&) { o.registered = true; return std::string(); }},
    {"--config", true, [](PollOptions& o, const std::string& v) { o.configPath = v; return std::string(); }},
    {"--set", true, AddOverride},
    {"--port", true, [](PollOptions& o, const std::string& v) { return SetPort(o.line, v); }},
    {"--baud", true, SetBaudOrAuto},
    {"--parity", true, [](PollOptions& o, const std::string& v) { return SetParity(o.line, v); }},
    {"--data-bits", true, [](PollOptions& o, const std::string& v) { return SetDataBits(o.line, v); }},
    {"--stop-bits", true, [](PollOptions& o, const std::string& v) { return SetStopBits(o.line, v); }},
    {"--rts", true, [](PollOptions& o, const std::string& v) { return SetRts(o.line, v); }},
    {"--timeout", true,
     [](PollOptions& o, const std::string& v) {
         o.timeoutGiven = true;
         return SetTimeout(o.line, v);
     }},
    {"--station", true,
     [](PollOptions& o, const std::string& v) {
         std::string problem = CheckStationText(v);
         if (problem.empty()) o.station = v;
         return problem;
     }},
    {"--tags", true, [](PollOptions& o, const std::string& v) { return LoadTagFile(v, o.tags); }},
    {"--write", true, SetWrite},
    {"--cycles", true,
     [](PollOptions& o, const std::string& v) {
         o.cyclesGiven = true;
         return SetCount("--cycles", v, 1000000, o.cycles);
     }},
    {"--interval", true,
     [](PollOptions& o, const std::string& v) { return SetCount("--interval", v, 3600000, o.intervalMs); }},
    {"--scan", false, [](PollOptions& o, const std::string&) { o.scan = true; return std::string(); }},
    {"--stations", true, SetStations},
    {"--format", true, SetFormat},
    {"--output", true, [](PollOptions& o, const std::string& v) { o.outputPath = v; return std::string(); }},
    {"--stats", false, [](PollOptions& o, const std::string&) { o.stats = true; return std::string(); }},
    {"--watch", false, [](PollOptions& o, const std::string&) { o.watch = true; return std::string(); }},
    {"--plot", true, [](PollOptions& o, const std::string& v) { o.plotPath = v; return std::string(); }},
    {"--tag", true, AddPlotAddress},
    {"--monitor", false, [](PollOptions& o, const std::string&) { o.monitor = true; return std::string(); }},
    {"--capture", true, [](PollOptions& o, const std::string& v) { o.capturePath = v; return std::string(); }},
    {"--seconds", true,
     [](PollOptions& o, const std::string& v) {
         o.secondsGiven = true;
         return SetCount("--seconds", v, 31536000, o.seconds);
     }},
    {"--info", false, [](PollOptions& o, const std::string&) { o.info = true; return std::string(); }},
    {"--trace", false, [](PollOptions& o, const std::string&) { o.trace = true; return std::string(); }},
    {"--help", false, [](PollOptions& o, const std::string&) { o.help = true; return std::string(); }},
};

const OptionRule* FindOption(const std::string& name) {
    for (const OptionRule& rule : kOptions) {
        if (name == rule.name) return &rule;
    }
    return nullptr;
}

// "--name value" or "--name=value"; i moves past a value taken from the
// next argument.
std::string ApplyOption(const std::vector<std::string>& args, size_t& i, PollOptions& options) {
    size_t equals = args[i].find('=');
    std::string name = args[i].substr(0, equals);
    const OptionRule* rule = FindOption(name);
    if (rule == nullptr) return "unknown option '" + name + "'";
    std::string value;
    if (equals != std::string::npos) {
        if (!rule->takesValue) return name + " takes no value";
        value = args[i].substr(equals + 1);
    } else if (rule->takesValue) {
        if (i + 1 >= args.size()) return name + " needs a value";
        value = args[++i];
    }
    return rule->set(options, value);
}

std::string CheckScan(PollOptions& o) {
    if (o.autoLine && !o.line.transport.empty()) return "--baud auto is for serial ports; a network line has no rate";
    if (!o.scan) {
        if (o.autoLine) return "--baud auto goes with --scan; polling needs the line's own rate";
        return o.stations ? "--stations goes with --scan" : "";
    }
    if (!o.tags.empty() || !o.writes.empty()) return "--scan reads holding register 1 of each station: give no tags";
    if (o.format || !o.outputPath.empty()) return "--scan prints its own list; --format and --output are for tags";
    if (o.line.port == 0) return "--port is needed to scan a line (e.g. --port COM3)";
    if (!o.timeoutGiven) o.line.timeoutMs = kScanTimeoutMs;
    if (!o.stations) o.stations = StationRange{};
    return "";
}

std::string CheckOutput(PollOptions& o) {
    if (o.outputPath.empty()) return "";
    if (o.format == OutputFormat::kTable) return "--output writes csv or jsonl; the table is shown on the terminal";
    if (!o.format) o.format = OutputFormat::kCsv;
    return "";
}

// --watch shows the tags it polls, until q unless --cycles says otherwise,
// and ends with the stations' figures; the records it keeps go to a file,
// the terminal being the view's.
std::string CheckWatch(PollOptions& o) {
    if (!o.watch) return "";
    if (o.tags.empty()) return "--watch shows tags: give them as ADDRESS:TYPE or with --tags FILE";
    if (o.scan) return "--watch shows tags; --scan lists stations: give one of them";
    if (o.trace) return "--watch draws over the screen the trace would scroll: give one of them";
    if (o.format && o.outputPath.empty()) return "--watch takes the terminal; --format goes with --output FILE";
    if (!o.cyclesGiven) o.cycles = 0;
    o.stats = true;
    return "";
}

// --plot reads a log and writes a picture; it opens no line. Tags given
// name the panels of the log's tags they match.
std::string CheckPlot(PollOptions& o) {
    if (o.plotPath.empty()) return o.plotAddresses.empty() ? "" : "--tag chooses the tags --plot draws";
    if (o.outputPath.empty()) return "--plot needs --output FILE.svg to write the trend to";
    if (o.line.port != 0 || !o.writes.empty() || o.scan || o.watch || o.info) {
        return "--plot draws a log and opens no line: give no --port, --write, --scan, --watch or --info";
    }
    if (o.format) return "--plot reads csv and jsonl logs alike; --format is for polling";
    return "";
}

// --monitor listens and never sends: whatever would send, and a line that
// cannot be listened to, is refused. Its records go where polling's go; the
// watch view shows its stations.
std::string CheckMonitor(PollOptions& o) {
    if (!o.monitor) return "--capture and --seconds go with --monitor";
    if (!o.line.transport.empty()) {
        return "--monitor listens to a serial line; a TCP connection cannot be listened to passively";
    }
    if (!o.writes.empty()) return "--monitor never sends a byte; --write is for polling";
    if (o.line.port == 0) return "--port is needed to listen to a line (e.g. --port COM3)";
    if (!o.tags.empty() || o.scan || o.info || o.trace) {
        return "--monitor shows what another master asks: give no tags, --scan, --info or --trace";
    }
    if (o.watch) {
        if (o.format && o.outputPath.empty()) return "--watch takes the terminal; --format goes with --output FILE";
        o.stats = true;
    }
    return CheckOutput(o);
}

// What the parsed options still lack for a run, and the defaults that
// depend on what else was given.
std::string Complete(PollOptions& o) {
    if (!o.plotPath.empty() || !o.plotAddresses.empty()) return CheckPlot(o);
    if (o.monitor || !o.capturePath.empty() || o.secondsGiven) return CheckMonitor(o);
    std::string problem = CheckWatch(o);
    if (!problem.empty()) return problem;
    bool usesLine = !o.tags.empty() || !o.writes.empty();
    if (!usesLine && !o.info && !o.scan) {
        return "nothing to do: give tags, --tags FILE, --write, --scan, --info, --monitor or --plot";
    }
    if (usesLine && o.line.port == 0) return "--port is needed to read or write tags (e.g. --port COM3)";
    problem = CheckScan(o);
    return problem.empty() ? CheckOutput(o) : problem;
}

}  // namespace

std::string ParsePollArguments(const std::vector<std::string>& args, PollOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string problem;
        if (arg == "-h" || arg == "/?") {
            options.help = true;
        } else if (arg.compare(0, 2, "--") == 0) {
            problem = ApplyOption(args, i, options);
        } else if (arg.size() > 1 && arg[0] == '-') {
            problem = "unknown option '" + arg + "'";
        } else {
            problem = AddTag(options, arg);
        }
        if (!problem.empty()) return problem;
    }
    return options.help ? "" : Complete(options);
}

std::string SettingOverrideList(const PollOptions& options) {
    std::string list = NetworkLineSettings(options.line);
    for (const std::string& assignment : options.settingOverrides) list += (list.empty() ? "" : ";") + assignment;
    return list;
}

std::string PollUsage() {
    return "usage: korvel-poll [options] [ADDRESS:TYPE ...]\n"
           "\n"
           "Reads and writes the tags of Modbus RTU stations through Korvel.dll, as the host does.\n"
           "\n"
           "  ADDRESS:TYPE        a tag: 0x (coils), 1x (inputs), 3x (input registers) or 4x (holding\n"
           "                      registers), an item " +
           std::to_string(modbus::kMinItemAddress) + ".." + std::to_string(modbus::kMaxItemAddress) +
           " and an optional ',count' (e.g. 4x100,8);\n"
           "                      TYPE is " + DataTypeList() + " or the code " + DataTypeCodes() + "\n"
           "  --tags FILE         more tags, one a line: address, type[, name[, station]]\n"
           "  --station N         station of the tags that name none (1..254, default 1)\n"
           "  --write A:TYPE=V    write V before polling (repeatable); 0x and 4x only\n"
           "  --port COMn         serial port (COM3 or 3), or a network line: modbus-tcp://HOST:PORT or\n"
           "                      rtu-over-tcp://HOST:PORT (run as COM64)\n"
           "  --baud N            110 .. 256000 (default 9600)\n"
           "  --parity P          none, odd, even, mark, space (default none)\n"
           "  --data-bits 7|8     (default 8)        --stop-bits 1|2   (default 1)\n"
           "  --rts 0|1|2         1 and 2 raise RTS while sending (default 0)\n"
           "  --timeout MS        response timeout (default 1000)\n"
           "  --cycles N          polling cycles, 0 = until Ctrl+C (default 1)\n"
           "  --interval MS       pause between cycles (default 1000)\n"
           "  --format F          table, csv or jsonl: one record per tag and cycle (default table)\n"
           "  --output FILE       append the records to FILE (csv unless --format says jsonl)\n"
           "  --stats             per station at the end: requests, replies, failures, response times\n"
           "  --watch             the tags as one table redrawn in place, with how often and how long ago\n"
           "                      each changed and a trend; q or Ctrl+C ends it (cycles default 0)\n"
           "  --plot LOG          draw a log of --output (csv or jsonl) as one SVG trend picture into\n"
           "                      --output FILE.svg; --tags FILE names its panels\n"
           "  --tag ADDRESS       with --plot: draw this tag of the log (repeatable; default all)\n"
           "  --scan              list the stations that answer a read of 4x1 (timeout default 100)\n"
           "  --stations A-B      the stations --scan tries (default 1-247)\n"
           "  --baud auto         with --scan: try the common rates and parities until a station answers\n"
           "  --monitor           listen to a line another master drives, never sending a byte: one line\n"
           "                      per request and its reply, figures per station at the end\n"
           "  --capture FILE      with --monitor: every frame heard into FILE as pcap (Wireshark, tshark)\n"
           "  --seconds N         with --monitor: listen N seconds (default until Ctrl+C)\n"
           "  --info              print the module's device catalogue and area table, and with --port the\n"
           "                      settings of --station's station and where each comes from\n"
           "  --config FILE       the settings file the driver reads (default: Korvel.ini beside Korvel.dll)\n"
           "  --set KEY=VALUE     a setting stronger than the file's, checked first (repeatable)\n"
           "  --trace             show every frame sent and received (KORVEL_TRACE names the file to keep)\n"
           "  --dll PATH          the driver module (default: Korvel.dll beside korvel-poll)\n"
           "  --registered        create the driver through its registration (regsvr32) instead of PATH\n"
           "  --help              this text\n"
           "\n"
           "Exit code: 0 every read and write succeeded, 1 some failed, 2 bad arguments.\n";
}
