// korvel-poll: a command-line host for the driver module. It loads the module
// as the host does, reads and writes tags, and prints what the driver says.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "korvel-poll/DriverHost.h"
#include "korvel-poll/ExitCode.h"
#include "korvel-poll/FrameTraceView.h"
#include "korvel-poll/InfoReport.h"
#include "korvel-poll/Interrupt.h"
#include "korvel-poll/PollOptions.h"
#include "korvel-poll/PollRun.h"

namespace {

// The driver's texts are printed as UTF-8; a Windows console shows them only
// in that code page. Newlines stay single bytes so pipes see what a
// terminal sees.
class Utf8Console {
public:
    Utf8Console() : m_codePage(GetConsoleOutputCP()) {
        SetConsoleOutputCP(CP_UTF8);
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
    }
    ~Utf8Console() {
        std::cout.flush();
        if (m_codePage != 0) SetConsoleOutputCP(m_codePage);
    }

private:
    UINT m_codePage;
};

int BadArguments(const std::string& problem) {
    std::cerr << "korvel-poll: " << problem << "\n\n" << PollUsage();
    return kExitBadArguments;
}

int Failed(const std::string& problem) {
    std::cerr << "korvel-poll: " << problem << '\n';
    return kExitSomeFailed;
}

int PollWith(IDeviceDriver& driver, const PollOptions& options, FrameTraceView* trace) {
    PollRun run(driver, options, std::cout, trace);
    std::string problem = run.Prepare();
    if (!problem.empty()) return BadArguments(problem);
    if (run.OpenLink()) {
        run.WriteAll();
        run.PollCycles();
    }
    run.CloseLink();
    return run.AllSucceeded() ? kExitAllSucceeded : kExitSomeFailed;
}

int Run(const PollOptions& options) {
    FrameTraceView trace;
    std::string problem = options.trace ? trace.Start() : "";
    if (!problem.empty()) return Failed(problem);
    DriverHost host;
    problem = host.Load(options.dllPath);
    if (problem.empty()) problem = host.CreateDriver(options.registered);
    if (!problem.empty()) return Failed(problem);
    if (options.info) PrintModuleInfo(host, std::cout);
    if (options.tags.empty() && options.writes.empty()) return kExitAllSucceeded;
    return PollWith(host.Driver(), options, options.trace ? &trace : nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    Utf8Console console;
    PollOptions options;
    std::string problem = ParsePollArguments(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!problem.empty()) return BadArguments(problem);
    if (options.help) {
        std::cout << PollUsage();
        return kExitAllSucceeded;
    }
    InstallInterruptHandler();
    return Run(options);
}
