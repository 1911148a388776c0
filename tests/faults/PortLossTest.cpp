// The line's USB adapter pulled and put back while two driver objects on it
// poll from two threads: while it is away every read and write fails at
// once, and once it is back both objects read again by themselves, with no
// Close and no Open, and every value read is the device's. The trace says
// once that the port was lost and once that it was reopened.
#include <atomic>
#include <cstdio>
#include <thread>

#include "FaultLine.h"
#include "support/Stopwatch.h"

namespace {

constexpr uint16_t kValueOfStation[] = {0, 0x1111, 0x2222};
// A read that neither sends nor waits for a reply: far below the response
// time-out, even on a loaded machine.
constexpr uint32_t kImmediateMs = kShortResponseTimeoutMs / 2;
// Long enough after the return for the reopen schedule (1 s) and a poll.
constexpr uint32_t kRecoveryWaitMs = 8000;
// The reopen schedule's first interval, and a little.
constexpr uint32_t kReopenDueMs = 1200;

struct PollFigures {
    std::atomic<int> delivered{0};
    std::atomic<int> wrong{0};
    std::atomic<int> failedSlowly{0};
    std::atomic<int> otherCodes{0};
};

// Polls the station's register until told to stop, checking every value.
void Poll(HostDriver& driver, int32_t station, const std::atomic<bool>& stop, PollFigures& figures) {
    const TagAddress tag = driver.Tag("4x1", kTypeUInt16);
    while (!stop) {
        TagValue value{};
        const Stopwatch watch;
        const Outcome outcome = driver.Read(station, tag, value);
        if (outcome == kSucceeded) {
            ++figures.delivered;
            figures.wrong += value.wordValue != kValueOfStation[station];
        } else {
            figures.otherCodes += !(outcome == kReadFailed);
            figures.failedSlowly += watch.ElapsedMs() > kShortResponseTimeoutMs + kImmediateMs;
        }
        Sleep(20);
    }
}

// Waits until both objects have delivered since figures were last zero.
bool BothDeliver(const PollFigures (&figures)[2]) {
    const Stopwatch watch;
    while (watch.ElapsedMs() < kRecoveryWaitMs) {
        if (figures[0].delivered > 0 && figures[1].delivered > 0) return true;
        Sleep(50);
    }
    return false;
}

}  // namespace

TEST_F(FaultLine, APulledAdapterFailsEveryCallAtOnceAndTheLineReopensWhenItIsBack) {
    const struct {
        const char* name;
        uint32_t awayMs;
    } cases[] = {{"away for a moment", 300}, {"away for four seconds", 4000}};
    for (int station : {1, 2}) line.SetHoldingRegister(station, 0, kValueOfStation[station]);
    HostDriver second;
    ASSERT_EQ(second.OpenShared(driver), kSucceeded);
    const HANDLE publishedFirst = driver.PortHandle();
    const TagAddress tag = driver.Tag("4x1", kTypeUInt16);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearTrace();
        std::atomic<bool> stop{false};
        PollFigures before[2];
        std::thread one([&] { Poll(driver, 1, stop, before[0]); });
        std::thread two([&] { Poll(second, 2, stop, before[1]); });
        EXPECT_TRUE(BothDeliver(before));

        line.PullDevice();
        Sleep(2 * kShortResponseTimeoutMs);
        const Stopwatch write;
        EXPECT_EQ(Write(1, tag, 7), kWriteFailed);
        EXPECT_LT(write.ElapsedMs(), kImmediateMs);
        HostDriver fresh;
        EXPECT_EQ(fresh.Open(line.PortIndex(), kBaudIndex9600, kResponseTimeoutMs), kOpenFailed);
        Sleep(c.awayMs);
        stop = true;
        one.join();
        two.join();

        stop = false;
        PollFigures after[2];
        line.ReturnDevice();
        std::thread again([&] { Poll(driver, 1, stop, after[0]); });
        std::thread twoAgain([&] { Poll(second, 2, stop, after[1]); });
        EXPECT_TRUE(BothDeliver(after)) << "both objects read again after the return";
        stop = true;
        again.join();
        twoAgain.join();

        for (const PollFigures* figures : {&before[0], &before[1], &after[0], &after[1]}) {
            EXPECT_EQ(figures->wrong, 0);
            EXPECT_EQ(figures->otherCodes, 0);
            EXPECT_EQ(figures->failedSlowly, 0) << "a read while the port was away waited";
        }
        const std::vector<std::string> events = TracedEvents();
        for (const std::string& event : events) std::printf("  %s\n", event.c_str());
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].rfind("Lost: " + line.PortName() + ", error ", 0), 0u) << events[0];
        EXPECT_EQ(events[1].rfind("Reopened: " + line.PortName() + " after ", 0), 0u) << events[1];

        EXPECT_EQ(driver.PortHandle(), publishedFirst) << "the host's record keeps what Open published";
        HostDriver late;
        EXPECT_EQ(late.OpenShared(driver), kSucceeded)
            << "a device opened with the handle published before the loss joins the line";
        TagValue value{};
        EXPECT_EQ(late.Read(2, late.Tag("4x1", kTypeUInt16), value), kSucceeded);
        EXPECT_EQ(value.wordValue, kValueOfStation[2]);
        EXPECT_EQ(late.Close(), kSucceeded);
    }
    EXPECT_EQ(second.Close(), kSucceeded);
}

// Nothing the line knew before the pull outlives the return. A block of
// either view of the registers fetched before the pull left the second
// tag's value waiting in the cache; the loss empties it, so the first read
// after the return asks the device, which changed meanwhile. A station demoted before the pull is
// asked at once: the reopened line knows nothing of its stations.
TEST_F(FaultLine, NothingKnownBeforeThePullOutlivesTheReturn) {
    const struct {
        const char* situation;
        uint16_t type;
        const char *first, *second;
        bool demoted;
        bool readSecond;  // after the return; else the first
        uint16_t changed;  // the register changed while the port is away
        uint32_t expected;
    } rows[] = {
        {"the 32-bit view", kTypeUInt32, "4x1", "4x3", false, true, 2, 0x44445555},
        {"the 16-bit view", kTypeUInt16, "4x1", "4x2", false, true, 1, 0x5555},
        {"a station demoted before the pull", kTypeUInt16, "4x1", "4x2", true, false, 0, 0x5555},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        for (uint16_t index = 0; index < 4; ++index) line.SetHoldingRegister(1, index, 0x1111 * (index + 1));
        const TagAddress first = driver.Tag(row.first, row.type);
        const TagAddress second = driver.Tag(row.second, row.type);
        // The first read asks for its own item, the second for the block.
        for (int read = 0; read < 2; ++read) ASSERT_EQ(ReadChecked(1, first), kSucceeded);
        TagValue value{};
        if (row.demoted) {
            line.SwitchStation(1, false);
            for (int read = 0; read < 4; ++read) driver.Read(1, first, value);
            ASSERT_EQ(driver.Read(1, first, value), kReadFailed);
            line.SwitchStation(1, true);
        }

        // Station 1 is not asked while the port is away: the loss, which
        // station 2's read finds, alone must take what is cached of it.
        line.PullDevice();
        EXPECT_EQ(driver.Read(2, first, value), kReadFailed) << "the port is found lost";
        line.SetHoldingRegister(1, row.changed, 0x5555);
        line.ReturnDevice();
        // Once the reopen is due, the first read reopens the port and must
        // find nothing cached: a read failed meanwhile would use a cached
        // value up.
        Sleep(kReopenDueMs);
        const TagAddress& reread = row.readSecond ? second : first;
        const Stopwatch watch;
        while (!(driver.Read(1, reread, value) == kSucceeded) && watch.ElapsedMs() < kRecoveryWaitMs) Sleep(50);
        EXPECT_EQ(row.type == kTypeUInt32 ? value.dwordValue : value.wordValue, row.expected);
    }
}
