// A thousand lives of a driver object, each the whole of a host's use:
// create, open, read, close, release. Whatever one round takes from the
// process it must give back, so the figures after the last round are those
// before the first.
#include <gtest/gtest.h>

#include <iostream>

#include "support/HostDriver.h"
#include "support/LineFixture.h"
#include "support/ProcessFigures.h"

namespace {

constexpr int kRounds = 1000;
// Rounds that load what the process keeps loaded (the DLL, Wine's serial
// and COM parts) before the first figures.
constexpr int kWarmUpRounds = 20;
constexpr uint32_t kHandleSlack = 2;
constexpr size_t kPrivateSlack = 64 * 1024;
constexpr uint32_t kResponseTimeoutMs = 100;

// One round; false once any step did not do what a host expects.
bool Round(const LineFixture& line, const TagAddress& tag) {
    HostDriver driver;
    if (!driver.Created()) return false;
    TagValue value = {};
    const bool ok = driver.Open(line.PortIndex(), kBaudIndex115200, kResponseTimeoutMs) == kSucceeded &&
                    driver.Read(1, tag, value) == kSucceeded && value.wordValue == 4660 &&
                    driver.Close() == kSucceeded;
    EXPECT_TRUE(ok) << "open " << line.PortIndex() << ", read 4x1 " << value.wordValue;
    return ok;
}

}  // namespace

TEST(ComObjectRounds, AThousandRoundsLeaveNoHandleAndNoMemoryBehind) {
    LineFixture line(115200, {1});
    ASSERT_GE(line.PortIndex(), 0);
    line.SetHoldingRegister(1, 0, 0x1234);
    TagAddress tag = {};
    {
        HostDriver parser;
        ASSERT_TRUE(parser.Created());
        tag = parser.Tag("4x1", kTypeUInt16);
    }

    for (int i = 0; i < kWarmUpRounds; ++i) ASSERT_TRUE(Round(line, tag));
    const ProcessFigures before = TakeProcessFigures();
    int failed = 0;
    for (int i = 0; i < kRounds && failed < 5; ++i) failed += Round(line, tag) ? 0 : 1;
    const ProcessFigures after = TakeProcessFigures();

    std::cout << kRounds << " rounds of create, open, read, close, release\n  before: " << before
              << "\n  after:  " << after << std::endl;
    EXPECT_EQ(failed, 0);
    EXPECT_LE(after.handles, before.handles + kHandleSlack);
    EXPECT_LE(after.privateBytes, before.privateBytes + kPrivateSlack);
    EXPECT_EQ(Korvel().canUnloadNow(), S_OK) << "an object outlived its release";
}
