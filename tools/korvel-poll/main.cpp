// korvel-poll: a command-line host for the driver module. It loads the module
// as the host does, reads and writes tags, and prints what the driver says.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "korvel-poll/console/ConsoleText.h"
#include "korvel-poll/host/DriverHost.h"
#include "korvel-poll/host/Environment.h"
#include "korvel-poll/console/ExitCode.h"
#include "korvel-poll/trace/FrameTraceView.h"
#include "korvel-poll/reports/InfoReport.h"
#include "korvel-poll/console/Interrupt.h"
#include "korvel-poll/poll/PollOptions.h"
#include "korvel-poll/poll/PollRun.h"
#include "korvel-poll/reports/SettingsReport.h"
#include "korvel-poll/scan/StationScan.h"
#include "korvel-poll/monitor/MonitorRun.h"
#include "korvel-poll/plot/PlotLog.h"
#include "korvel-poll/watch/WatchConsole.h"
#include "korvel-poll/watch/WatchRun.h"
#include "settings/SettingsFile.h"

namespace {

// The driver's texts are printed as UTF-8 where the output is a file or a
// pipe, newlines as single bytes so that a pipe sees what a terminal sees;
// a console is written as the console expects it, in wide characters.
class ConsoleOutput {
public:
    ConsoleOutput() {
        Take(std::cout, STD_OUTPUT_HANDLE, stdout, m_out, m_outBefore);
        Take(std::cerr, STD_ERROR_HANDLE, stderr, m_err, m_errBefore);
    }
    ~ConsoleOutput() {
        std::cout.flush();
        std::cerr.flush();
        if (m_outBefore != nullptr) std::cout.rdbuf(m_outBefore);
        if (m_errBefore != nullptr) std::cerr.rdbuf(m_errBefore);
    }

private:
    static void Take(std::ostream& stream, DWORD which, FILE* file, std::unique_ptr<ConsoleStreamBuf>& console,
                     std::streambuf*& before) {
        const HANDLE handle = GetStdHandle(which);
        if (!IsConsole(handle)) {
            _setmode(_fileno(file), _O_BINARY);
            return;
        }
        console = std::make_unique<ConsoleStreamBuf>(handle);
        before = stream.rdbuf(console.get());
    }

    std::unique_ptr<ConsoleStreamBuf> m_out;
    std::unique_ptr<ConsoleStreamBuf> m_err;
    std::streambuf* m_outBefore = nullptr;
    std::streambuf* m_errBefore = nullptr;
};

// The reason alone: the whole usage would push it off a small screen.
int BadArguments(const std::string& problem) {
    std::cerr << "korvel-poll: " << problem << "\nsee korvel-poll --help\n";
    return kExitBadArguments;
}

// A request that cannot be carried out as given, without the usage hint:
// nothing is wrong with the arguments themselves.
int Refused(const std::string& problem) {
    std::cerr << "korvel-poll: " << problem << '\n';
    return kExitBadArguments;
}

int Failed(const std::string& problem) {
    std::cerr << "korvel-poll: " << problem << '\n';
    return kExitSomeFailed;
}

// The records of a run, when it keeps any: appended to --output, or on
// standard output in place of the table.
class RecordOutput {
public:
    std::string Open(const PollOptions& options) {
        m_format = options.format.value_or(OutputFormat::kTable);
        if (options.outputPath.empty()) {
            if (m_format != OutputFormat::kTable) m_stream = &std::cout;
            return "";
        }
        std::ifstream existing(options.outputPath, std::ios::binary | std::ios::ate);
        m_fresh = !existing || existing.tellg() == 0;
        existing.close();
        m_file.open(options.outputPath, std::ios::binary | std::ios::app);
        if (!m_file) return "cannot open '" + options.outputPath + "' to append the records to";
        m_stream = &m_file;
        return "";
    }
    // The tags' records.
    TagLog* Log() {
        if (m_log == nullptr && m_stream != nullptr) m_log = std::make_unique<TagLog>(m_format, *m_stream, m_fresh);
        return m_log.get();
    }
    // The tags' records all written; what the log lost, or "".
    std::string Finish() {
        if (m_log == nullptr) return "";
        m_log->Finish();
        return m_log->DropReport();
    }
    // Where the records go, and how, for a run that writes its own; null
    // when it keeps none. A CSV file that is new needs its header.
    std::ostream* Stream() const { return m_stream; }
    bool Fresh() const { return m_fresh; }
    OutputFormat Format() const { return m_format; }
    // Standard output holds the records; what a person reads goes to the
    // error stream.
    bool OnStandardOutput() const { return m_stream == &std::cout; }

private:
    OutputFormat m_format = OutputFormat::kTable;
    std::ofstream m_file;
    std::ostream* m_stream = nullptr;
    bool m_fresh = true;
    std::unique_ptr<TagLog> m_log;
};

int PollWith(IDeviceDriver& driver, const PollOptions& options, const RunOutput& output) {
    PollRun run(driver, options, output);
    std::string problem = run.Prepare();
    if (!problem.empty()) return BadArguments(problem);
    if (run.OpenLink()) {
        run.WriteAll();
        run.PollCycles();
    }
    run.CloseLink();
    return run.AllSucceeded() ? kExitAllSucceeded : kExitSomeFailed;
}

// The driver reads these at every Open, from the environment of its process.
void PassSettingsToDriver(const PollOptions& options) {
    if (!options.configPath.empty()) SetEnvironmentValue(modbus::kSettingsFileVariable, options.configPath);
    const std::string overrides = SettingOverrideList(options);
    if (!overrides.empty()) SetEnvironmentValue(modbus::kSettingOverridesVariable, overrides);
}

// --info: the module, then the settings the driver would take.
bool PrintInfo(const DriverHost& host, const PollOptions& options, std::ostream& out) {
    PrintModuleInfo(host, out);
    return PrintStationSettings(host.Module(), options.line.port, std::stoi(options.station), out);
}

// --plot: a log read and drawn; it loads no module and opens no line.
int Plot(const PollOptions& options) {
    const PlotOutcome plotted = PlotLog(options);
    if (!plotted.problem.empty()) return plotted.badLog ? Refused(plotted.problem) : Failed(plotted.problem);
    std::cout << plotted.summary << '\n';
    return kExitAllSucceeded;
}

// --monitor: the settings file says how the line is carried; the driver
// is not created, nothing is sent.
int Monitor(const PollOptions& options, RecordOutput& records, std::ostream& out) {
    PassSettingsToDriver(options);
    DriverHost host;
    std::string problem = host.Load(options.dllPath);
    if (!problem.empty()) return Failed(problem);
    MonitorOutput output{out, !records.OnStandardOutput() && !options.watch, records.Stream(), records.Fresh(),
                         records.Format()};
    return MonitorLine(options, host.Module(), output);
}

int Run(const PollOptions& options) {
    RecordOutput records;
    std::string problem = records.Open(options);
    if (!problem.empty()) return Failed(problem);
    std::ostream& out = records.OnStandardOutput() ? std::cerr : std::cout;
    if (options.monitor) return Monitor(options, records, out);
    LineStatistics statistics;
    FrameTraceView trace(options.trace ? &out : nullptr, options.stats ? &statistics : nullptr);
    const bool followTrace = options.trace || options.stats || options.scan;
    const bool polls = !options.tags.empty() || !options.writes.empty();
    problem = followTrace || polls ? trace.Start() : "";
    if (!problem.empty()) return Failed(problem);
    PassSettingsToDriver(options);
    DriverHost host;
    problem = host.Load(options.dllPath);
    if (problem.empty()) problem = host.CreateDriver(options.registered);
    if (!problem.empty()) return Failed(problem);
    const bool settingsTaken = !options.info || PrintInfo(host, options, out);
    int exitCode = kExitAllSucceeded;
    if (options.scan) {
        exitCode = StationScan(host.Driver(), options, out, trace).Run();
    } else if (options.watch) {
        WatchConsole console;
        WatchRun watch(options, statistics, console);
        RunOutput output{out, false, records.Log(), trace, true, &watch};
        exitCode = PollWith(host.Driver(), options, output);
        watch.Finish();
        console.End();
    } else if (polls) {
        RunOutput output{out, !records.OnStandardOutput(), records.Log(), trace, followTrace};
        exitCode = PollWith(host.Driver(), options, output);
    }
    // A record lost is a failure of the run, told at its end and again
    // beside the figures.
    const std::string logLoss = records.Finish();
    if (!logLoss.empty()) out << logLoss << '\n';
    if (options.stats) out << '\n' << statistics.Report() << (logLoss.empty() ? "" : logLoss + "\n") << std::flush;
    const bool whole = settingsTaken && logLoss.empty();
    return exitCode == kExitAllSucceeded && !whole ? kExitSomeFailed : exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    ConsoleOutput console;
    PollOptions options;
    std::string problem = ParsePollArguments(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!problem.empty()) return BadArguments(problem);
    if (options.help) {
        std::cout << PollUsage();
        return kExitAllSucceeded;
    }
    if (!options.plotPath.empty()) return Plot(options);
    if (options.watch && !WatchConsole::OutputIsConsole()) {
        return Refused("--watch draws on a terminal, and standard output is not one; --output FILE logs without it");
    }
    InstallInterruptHandler();
    return Run(options);
}
