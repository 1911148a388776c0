// Lines as real adapters and misbehaving devices make them: a reply handed
// over in bursts with pauses longer than the end-of-frame silence still
// reads whole; a line that never falls quiet, with no device answering on
// it, fails each call by its deadline, and the first call after it has
// stopped succeeds.
#include <cstdio>

#include "FaultLine.h"
#include "support/Stopwatch.h"

namespace {

constexpr int kReads = 15;

}  // namespace

// 32 registers: a 69-byte reply, in bursts of 16 bytes as a USB adapter's
// latency timer hands them over.
TEST_F(FaultLine, RepliesInBurstsReadWhole) {
    const TagAddress tag = driver.Tag("4x1,32", kTypeUInt16);
    for (uint32_t pauseMs : {15u, 40u}) {
        line.ReplyInBursts(16, pauseMs);
        int failed = 0;
        for (int read = 0; read < kReads; ++read) {
            SetTableValue(1, tag, static_cast<uint32_t>(0x2100 + read));
            if (!(ReadChecked(1, tag) == kSucceeded)) ++failed;
        }
        std::printf("bursts of 16 bytes %u ms apart: %d of %d reads failed\n", pauseMs, failed, kReads);
        EXPECT_EQ(failed, 0) << pauseMs << " ms between bursts";
    }
    line.ReplyInBursts(0, 0);
}

TEST_F(FaultLine, ALineThatNeverFallsQuietFailsEachCallByItsDeadline) {
    const TagAddress read = driver.Tag("4x1", kTypeUInt16);
    const TagAddress written = driver.Tag("4x2", kTypeUInt16);
    EXPECT_EQ(ReadChecked(1, read), kSucceeded);
    line.StopSlave();
    line.Babble(true);
    const Stopwatch readTime;
    EXPECT_EQ(ReadChecked(1, read), kReadFailed);
    std::printf("a read on a line that never falls quiet took %.0f ms\n", readTime.ElapsedMs());
    EXPECT_EQ(Write(1, written, 7), kWriteFailed);
    line.Babble(false);
    line.StartSlave();
    LetLineFallQuiet();
    EXPECT_EQ(ReadChecked(1, read), kSucceeded);
    EXPECT_EQ(Write(1, written, 8), kSucceeded);
}
