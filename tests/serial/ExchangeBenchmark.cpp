// How long one polled exchange takes at 9600 baud on the paced relay: an
// 8-byte request and a 7-byte reply. Measures and prints; asserts nothing
// about the time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "serial/ExchangeLine.h"
#include "support/FrameBytes.h"
#include "support/Stopwatch.h"

namespace {

TEST(ExchangeBenchmark, PolledExchangeAt9600Baud) {
    ExchangeLine link;
    link.line.SetHoldingRegister(1, 0, 0x1234);
    std::vector<double> times;
    for (int round = 0; round < 20; ++round) {
        std::string data = ReadRegisterRequest(0);
        int32_t length = 8;
        const Stopwatch exchange;
        int result = link.driver.ExchangePolled(data, length, nullptr, nullptr);
        times.push_back(exchange.ElapsedMs());
        ASSERT_EQ(result, 1);
        ASSERT_EQ(data, ReadRegisterReply(0x1234));
    }
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double t : times) sum += t;
    std::printf("ExchangePolled at 9600 baud, 8-byte request, 7-byte reply, %zu rounds: "
                "mean %.1f ms, median %.1f ms, min %.1f ms, max %.1f ms\n",
                times.size(), sum / times.size(), times[times.size() / 2], times.front(), times.back());
}

}  // namespace
