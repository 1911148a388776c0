#include "ReplyWaits.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "WireTime.h"

namespace bench {
namespace {

struct TracedFrame {
    uint64_t ms = 0;
    bool sent = false;
    uint32_t bytes = 0;
};

// "<ms> Read Send: 01 03 ..." or "<ms> Write Receive: ..."; false for the
// trace's other lines.
bool ParseFrameLine(const std::string& line, TracedFrame& frame) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> frame.ms >> word >> word)) return false;
    if (word != "Send:" && word != "Receive:") return false;
    frame.sent = word == "Send:";
    frame.bytes = 0;
    while (words >> word) ++frame.bytes;
    return true;
}

// Each request followed by its reply; unanswered requests are not counted.
double LongestRestMs(std::istream& trace, double slowestAnswerMs) {
    double longestMs = 0;
    TracedFrame frame;
    TracedFrame request;
    for (std::string line; std::getline(trace, line);) {
        if (!ParseFrameLine(line, frame)) continue;
        if (!frame.sent && request.sent && frame.bytes > 0) {
            const double framesMs = FramesMs({request.bytes, frame.bytes}, kAnsweringBaud);
            longestMs = std::max(longestMs, static_cast<double>(frame.ms - request.ms) - framesMs - slowestAnswerMs);
        }
        request = frame;
    }
    return longestMs;
}

std::string TemporaryFile() {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "krv", 0, path) == 0) return {};
    return path;
}

}  // namespace

bool MeasureLongestRestMs(const std::vector<BenchTag>& tags, const RunLength& run, const AnsweringDevice& device,
                          double& longestMs, std::string& error) {
    DriverOnLine driver;
    std::string answer;
    if (!driver.Open(kAnsweringBaud, kPlantStations, tags, kPlantResponseTimeoutMs, error) ||
        !driver.Command(device.command, answer, error)) {
        return false;
    }
    for (int cycle = 0; cycle < run.warmupCycles; ++cycle) driver.PollCycle();
    const std::string path = TemporaryFile();
    if (path.empty()) {
        error = "no temporary file for the frame trace";
        return false;
    }
    SetEnvironmentVariableA("KORVEL_TRACE", path.c_str());
    for (int cycle = 0; cycle < run.cycles; ++cycle) driver.PollCycle();
    SetEnvironmentVariableA("KORVEL_TRACE", nullptr);
    std::ifstream trace(path);
    longestMs = LongestRestMs(trace, device.slowestAnswerMs);
    trace.close();
    DeleteFileA(path.c_str());
    return true;
}

}  // namespace bench
