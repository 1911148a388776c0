// The adapter of a polled line pulled and put back again and again, and a
// dead station on a healthy line, measured: how soon reads succeed after the
// return, how long a read or write waits while the port is away, and the
// process's handles and memory from the first cycle to the last. Every cycle
// must recover and every value read must be the device's; the figures are
// printed, not judged. ctest runs a short form; scripts/soak --port-loss the
// long one.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "support/HostDriver.h"
#include "support/LineFixture.h"
#include "support/ProcessFigures.h"
#include "support/Stopwatch.h"

namespace {

// Two tags polled every 250 ms, as the field report polled them.
constexpr uint32_t kPollEveryMs = 250;
constexpr uint32_t kResponseTimeoutMs = 300;
constexpr uint16_t kValues[] = {0x1234, 0x5678};
// A cycle that has not read again this long after the return failed.
constexpr uint32_t kGiveUpMs = 30000;
constexpr uint32_t kHandleSlack = 2;
constexpr size_t kPrivateSlack = 256 * 1024;

struct Options {
    uint32_t cycles = 3;
    uint32_t awayMs = 300;
    uint32_t longAwayS = 0;  // 0: no long absence
    uint32_t deadStationS = 3;
};
Options g_options;

// The trace of the run, its event lines counted.
class Trace {
public:
    Trace() {
        char folder[MAX_PATH];
        char path[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "kvl", 0, path);
        m_path = path;
        SetEnvironmentVariableA("KORVEL_TRACE", path);
    }
    ~Trace() {
        SetEnvironmentVariableA("KORVEL_TRACE", nullptr);
        DeleteFileA(m_path.c_str());
    }
    size_t Count(const std::string& label) const {
        std::ifstream in(m_path);
        size_t count = 0;
        for (std::string line; std::getline(in, line);) count += line.find(" " + label + ": ") != std::string::npos;
        return count;
    }

private:
    std::string m_path;
};

struct Figures {
    std::vector<double> recoveryMs;
    double longestFailedReadMs = 0;
    double longestFailedWriteMs = 0;
    uint32_t wrong = 0;
    uint32_t unrecovered = 0;
};

class PolledLine {
public:
    PolledLine(LineFixture& line, HostDriver& driver) : m_line(line), m_driver(driver) {
        for (int i = 0; i < 2; ++i) {
            line.SetHoldingRegister(1, static_cast<uint16_t>(10 * i), kValues[i]);
            m_tags.push_back(driver.Tag(("4x" + std::to_string(1 + 10 * i)).c_str(), kTypeUInt16));
        }
    }

    // One poll of both tags; true when both were read. A write goes with it
    // while the port is away, to time it.
    bool Poll(Figures& figures, bool away) {
        bool all = true;
        for (size_t i = 0; i < m_tags.size(); ++i) {
            TagValue value{};
            const Stopwatch watch;
            const Outcome outcome = m_driver.Read(1, m_tags[i], value);
            if (outcome == kSucceeded) {
                figures.wrong += value.wordValue != kValues[i];
                continue;
            }
            all = false;
            if (away) figures.longestFailedReadMs = std::max(figures.longestFailedReadMs, watch.ElapsedMs());
        }
        if (away) {
            TagValue value{};
            value.wordValue = kValues[0];
            const Stopwatch watch;
            if (!(m_driver.Write(1, m_tags[0], value) == kSucceeded)) {
                figures.longestFailedWriteMs = std::max(figures.longestFailedWriteMs, watch.ElapsedMs());
            }
        }
        Sleep(kPollEveryMs);
        return all;
    }

    // Pulls the adapter, polls while it is away, puts it back and polls
    // until both tags are read again.
    void PullAndReturn(uint32_t awayMs, Figures& figures) {
        m_line.PullDevice();
        for (const Stopwatch away; away.ElapsedMs() < awayMs;) Poll(figures, true);
        m_line.ReturnDevice();
        const Stopwatch back;
        while (!Poll(figures, false)) {
            if (back.ElapsedMs() > kGiveUpMs) {
                ++figures.unrecovered;
                return;
            }
        }
        figures.recoveryMs.push_back(back.ElapsedMs());
    }

private:
    LineFixture& m_line;
    HostDriver& m_driver;
    std::vector<TagAddress> m_tags;
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void PrintFigures(const char* what, const Figures& f) {
    std::printf(
        "%s: %zu recovered, %u not; after the return reads succeed again in %.0f ms median, %.0f ms at most;\n"
        "  while away the longest failed read took %.1f ms, the longest failed write %.1f ms; %u wrong values\n",
        what, f.recoveryMs.size(), f.unrecovered, Median(f.recoveryMs),
        f.recoveryMs.empty() ? 0.0 : *std::max_element(f.recoveryMs.begin(), f.recoveryMs.end()), f.longestFailedReadMs,
        f.longestFailedWriteMs, f.wrong);
}

}  // namespace

TEST(PortLossSoak, EveryPullAndReturnRecoversWithoutAWrongValueOrGrowth) {
    LineFixture line(9600, {1});
    ASSERT_GE(line.PortIndex(), 0);
    const Trace trace;
    HostDriver driver;
    ASSERT_EQ(driver.Open(line.PortIndex(), kBaudIndex9600, kResponseTimeoutMs), kSucceeded);
    PolledLine polled(line, driver);
    Figures warmUp;
    polled.PullAndReturn(g_options.awayMs, warmUp);
    const ProcessFigures start = TakeProcessFigures();

    Figures figures;
    for (uint32_t cycle = 0; cycle < g_options.cycles; ++cycle) polled.PullAndReturn(g_options.awayMs, figures);
    const ProcessFigures end = TakeProcessFigures();
    PrintFigures(("pull and return, away " + std::to_string(g_options.awayMs) + " ms").c_str(), figures);
    std::cout << "  start: " << start << "\n  end:   " << end << std::endl;
    EXPECT_EQ(figures.unrecovered, 0u);
    EXPECT_EQ(figures.wrong + warmUp.wrong, 0u);
    EXPECT_EQ(trace.Count("Lost"), g_options.cycles + 1);
    EXPECT_EQ(trace.Count("Reopened"), g_options.cycles + 1);
    EXPECT_LE(end.handles, start.handles + kHandleSlack);
    EXPECT_LE(end.privateBytes, start.privateBytes + kPrivateSlack);

    if (g_options.longAwayS == 0) return;
    Figures longer;
    polled.PullAndReturn(g_options.longAwayS * 1000, longer);
    PrintFigures(("pull and return, away " + std::to_string(g_options.longAwayS) + " s").c_str(), longer);
    EXPECT_EQ(longer.unrecovered, 0u);
    EXPECT_EQ(longer.wrong, 0u);
}

TEST(PortLossSoak, ADeadStationOnAHealthyLineNeverLosesThePort) {
    LineFixture line(9600, {1, 2});
    ASSERT_GE(line.PortIndex(), 0);
    const Trace trace;
    HostDriver driver;
    ASSERT_EQ(driver.Open(line.PortIndex(), kBaudIndex9600, kResponseTimeoutMs), kSucceeded);
    line.SwitchStation(2, false);
    const TagAddress tag = driver.Tag("4x1", kTypeUInt16);
    uint32_t reads = 0;
    for (const Stopwatch run; run.ElapsedMs() < g_options.deadStationS * 1000.0; ++reads) {
        TagValue value{};
        driver.Read(2, tag, value);
        driver.Read(1, tag, value);
        Sleep(kPollEveryMs);
    }
    std::printf("dead station: %u polls in %u s, %zu ports lost, %zu reopened, %zu demotions\n", reads,
                g_options.deadStationS, trace.Count("Lost"), trace.Count("Reopened"), trace.Count("Demote"));
    EXPECT_EQ(trace.Count("Lost"), 0u);
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const struct {
        const char* name;
        uint32_t* value;
    } options[] = {{"--cycles", &g_options.cycles},
                   {"--away-ms", &g_options.awayMs},
                   {"--long-away-s", &g_options.longAwayS},
                   {"--dead-station-s", &g_options.deadStationS}};
    for (int i = 1; i + 1 < argc; i += 2) {
        const auto* option = std::find_if(std::begin(options), std::end(options),
                                          [&](const auto& o) { return std::strcmp(argv[i], o.name) == 0; });
        if (option == std::end(options)) {
            std::fprintf(stderr, "usage: %s [--cycles N] [--away-ms MS] [--long-away-s S] [--dead-station-s S]\n",
                         argv[0]);
            return 2;
        }
        *option->value = std::strtoul(argv[i + 1], nullptr, 10);
    }
    return RUN_ALL_TESTS();
}
