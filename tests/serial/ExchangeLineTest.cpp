// Request-response exchanges against the slave behind the paced relay, on a
// link opened the way the host opens it (9600 baud, 8N1).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/TestDriver.h"
#include "serial/ExchangeLine.h"
#include "support/ThreadCpu.h"
#include "support/FrameBytes.h"
#include "support/Stopwatch.h"

namespace {

using Exchange = int (TestDriver::*)(std::string&, int32_t&, const void*, const void*);

const struct {
    const char* name;
    Exchange run;
} kPolledExchanges[] = {
    {"ExchangePolled", &TestDriver::ExchangePolled},
    {"ExchangePolledBulk", &TestDriver::ExchangePolledBulk},
};

// Writes 0x002A into register 1; the device echoes the 8-byte request.
const std::string kWriteRequest = WithCrc(Frame({0x01, 0x06, 0x00, 0x01, 0x00, 0x2A}));

struct Outcome {
    int result;
    std::string data;
    int32_t length;
    int32_t code;
};

Outcome RunExchange(ExchangeLine& link, Exchange exchange, const std::string& request) {
    Outcome outcome{0, request, static_cast<int32_t>(request.size()), -1};
    outcome.result = (link.driver.*exchange)(outcome.data, outcome.length, nullptr, nullptr);
    outcome.code = link.driver.TakeCode();
    return outcome;
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Records how long RTS stayed up: from its rise, which comes before the
// exchange starts counting, and from the write, which comes after. Its
// output queue holds a byte until queueDrainsUs after the write, as a port
// held back by flow control would.
class RtsTimingPort : public CSerialPort {
public:
    uint32_t WriteData(const void* data, uint32_t count, uint32_t* written, OVERLAPPED* overlapped,
                       uint32_t timeout) override {
        sinceWrite.Restart();
        return CSerialPort::WriteData(data, count, written, overlapped, timeout);
    }
    void KeyRts(bool on) override {
        if (on) {
            sinceRise.Restart();
        } else {
            heldFromRiseUs = 1000 * sinceRise.ElapsedMs();
            heldFromWriteUs = 1000 * sinceWrite.ElapsedMs();
        }
        CSerialPort::KeyRts(on);
    }
    uint32_t OutputQueued() override {
        return 1000 * sinceWrite.ElapsedMs() < queueDrainsUs ? 1 : CSerialPort::OutputQueued();
    }

    double queueDrainsUs = 0;
    Stopwatch sinceRise;
    Stopwatch sinceWrite;
    double heldFromRiseUs = 0;
    double heldFromWriteUs = 0;
};

// RTS falls one character after the request's last stop bit has left the
// wire (8 bytes of 10 bits each at the line's rate) and the port's output
// queue is empty, and before a second character has passed, when a fast
// device may already answer. A busy system can only lengthen a hold, so the
// upper bound holds for the shortest of several: with every CPU busy, the
// thread that watches the queue runs about half the time, and the shortest
// of 5 holds was seen late.
TEST(ExchangeLine, RtsFallsOnlyWhenTheRequestHasLeftTheWire) {
    constexpr int kExchanges = 20;
    for (int16_t rtsControl : {1, 2}) {
        auto port = std::make_unique<RtsTimingPort>();
        RtsTimingPort* timing = port.get();
        ExchangeLine link(rtsControl, std::move(port));
        const struct {
            uint32_t baudIndex;
            double characterUs;
            double queueDrainsUs;
        } holds[] = {{6, 10 * 1e6 / 9600, 0},
                     {12, 10 * 1e6 / 115200, 0},
                     {3, 10 * 1e6 / 1200, 0},
                     {6, 10 * 1e6 / 9600, 20000}};
        for (const auto& hold : holds) {
            link.settings.link.baudIndex = hold.baudIndex;
            ASSERT_EQ(link.driver.Open(&link.settings.device), 1);
            timing->queueDrainsUs = hold.queueDrainsUs;
            const double sentUs = std::max(8 * hold.characterUs, hold.queueDrainsUs);
            const std::string situation =
                std::to_string(hold.baudIndex) + ", queue drains after " + std::to_string(hold.queueDrainsUs);
            double shortestUs = 1e9;
            for (int exchange = 0; exchange < kExchanges; ++exchange) {
                RunExchange(link, &TestDriver::ExchangePolled, ReadRegisterRequest(0));
                EXPECT_GE(timing->heldFromRiseUs, sentUs + hold.characterUs) << situation;
                shortestUs = std::min(shortestUs, timing->heldFromWriteUs);
            }
            std::printf("RTS %d, request sent after %.0f us: RTS held %.0f us at the shortest\n", rtsControl, sentUs,
                        shortestUs);
            EXPECT_LT(shortestUs, sentUs + 2 * hold.characterUs) << situation;
        }
    }
}

// The hold sleeps through most of the request's wire time: keyed, an
// exchange costs the thread less than half the request's wire time more
// CPU time than unkeyed, where a hold that spins costs all of it. Only the
// time the thread runs counts, so a busy system cannot make a sleeping hold
// look like a spinning one.
TEST(ExchangeLine, RtsHoldLeavesTheCpuFreeWhileTheRequestIsSent) {
    constexpr int kExchanges = 40;
    const double wireMs = 8 * 10 * 1e3 / 9600;
    double unkeyedMs = 0;
    for (int16_t rtsControl : {0, 1}) {
        ExchangeLine link(rtsControl);
        const double startMs = ThreadCpuMs();
        for (int exchange = 0; exchange < kExchanges; ++exchange) {
            ASSERT_EQ(RunExchange(link, &TestDriver::ExchangePolled, ReadRegisterRequest(0)).result, 1);
        }
        const double perExchangeMs = (ThreadCpuMs() - startMs) / kExchanges;
        std::printf("RTS %d: %.2f ms of CPU time per exchange, request of %.2f ms on the wire\n", rtsControl,
                    perExchangeMs, wireMs);
        if (rtsControl == 0) unkeyedMs = perExchangeMs;
        EXPECT_LT(perExchangeMs - unkeyedMs, wireMs / 2) << rtsControl;
    }
}

TEST(ExchangeLine, ReplyComesBackWholeWhateverTheRtsMode) {
    for (const auto& exchange : kPolledExchanges) {
        for (int16_t rtsControl : {0, 1, 2, 3}) {
            ExchangeLine link(rtsControl);
            link.line.SetHoldingRegister(1, 0, 0x1234);
            Outcome outcome = RunExchange(link, exchange.run, ReadRegisterRequest(0));
            EXPECT_EQ(outcome.result, 1) << exchange.name << ", RTS " << rtsControl;
            EXPECT_EQ(outcome.code, kErrorNone) << exchange.name << ", RTS " << rtsControl;
            EXPECT_EQ(outcome.data, ReadRegisterReply(0x1234)) << exchange.name << ", RTS " << rtsControl;
            EXPECT_EQ(outcome.length, 7) << exchange.name << ", RTS " << rtsControl;
            EXPECT_EQ(link.line.Requests(), std::vector<std::vector<uint8_t>>{Bytes(ReadRegisterRequest(0))});
        }
    }
}

// ExchangePolledBulk ends a reply at any 10 ms pause, so this is the case of
// ExchangePolled alone.
TEST(ExchangeLine, ReplyInTwoParts20MsApartComesBackWhole) {
    ExchangeLine link;
    link.line.SplitNextReply(4, 20);
    Outcome outcome = RunExchange(link, &TestDriver::ExchangePolled, kWriteRequest);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.code, kErrorNone);
    EXPECT_EQ(outcome.data, kWriteRequest);
    EXPECT_EQ(outcome.length, 8);
}

TEST(ExchangeLine, ZeroBytesAreData) {
    for (const auto& exchange : kPolledExchanges) {
        for (uint16_t value : {0x0000, 0x0100, 0x0001}) {
            ExchangeLine link;
            link.line.SetHoldingRegister(1, 0, value);
            Outcome outcome = RunExchange(link, exchange.run, ReadRegisterRequest(0));
            EXPECT_EQ(outcome.result, 1) << exchange.name << ", " << value;
            EXPECT_EQ(outcome.data, ReadRegisterReply(value)) << exchange.name << ", " << value;
            EXPECT_EQ(outcome.length, 7) << exchange.name << ", " << value;
        }
    }
}

TEST(ExchangeLine, SilentDeviceGivesWriteErrorAfterTheResponseTimeout) {
    const struct {
        const char* situation;
        std::function<void(LineFixture&)> silence;
    } silences[] = {
        {"reply dropped", [](LineFixture& line) { line.DropNextReply(); }},
        {"slave stopped", [](LineFixture& line) { line.StopSlave(); }},
    };
    for (const auto& exchange : kPolledExchanges) {
        for (const auto& s : silences) {
            ExchangeLine link;
            link.driver.SetResponseTimeout(200);
            s.silence(link.line);
            const Stopwatch exchangeTime;
            Outcome outcome = RunExchange(link, exchange.run, ReadRegisterRequest(0));
            const double elapsedMs = exchangeTime.ElapsedMs();
            EXPECT_EQ(outcome.result, 0) << exchange.name << ", " << s.situation;
            EXPECT_EQ(outcome.code, kErrorWriteDevice) << exchange.name << ", " << s.situation;
            EXPECT_EQ(outcome.length, 0) << exchange.name << ", " << s.situation;
            EXPECT_TRUE(outcome.data.empty()) << exchange.name << ", " << s.situation;
            std::printf("%s, %s: gave up after %.0f ms (response time-out 200 ms)\n", exchange.name, s.situation,
                        elapsedMs);
        }
    }
}

// With a response time-out below 10 ms there is a single poll, 10 ms after
// the write: a reply that starts later is not waited for.
TEST(ExchangeLine, ResponseTimeoutBelowTenMsPollsOnce) {
    for (const auto& exchange : kPolledExchanges) {
        ExchangeLine link;
        link.driver.SetResponseTimeout(5);
        link.line.DelayNextReply(100);
        Outcome outcome = RunExchange(link, exchange.run, ReadRegisterRequest(0));
        EXPECT_EQ(outcome.result, 0) << exchange.name;
        EXPECT_EQ(outcome.code, kErrorWriteDevice) << exchange.name;
    }
}

// Bytes waiting before the request, stray ones or the late reply to an
// earlier request, never become the start of this one's reply.
TEST(ExchangeLine, BytesQueuedBeforeTheRequestAreDiscarded) {
    const struct {
        const char* leftover;
        std::function<void(ExchangeLine&, Exchange)> leave;
        uint32_t count;
    } leftovers[] = {
        {"stray bytes", [](ExchangeLine& link, Exchange) { link.line.SendFromDevice({0xDE, 0xAD, 0x00}); }, 3},
        {"late reply",
         [](ExchangeLine& link, Exchange exchange) {
             link.driver.SetResponseTimeout(50);
             link.line.DelayNextReply(150);
             EXPECT_EQ(RunExchange(link, exchange, ReadRegisterRequest(0)).code, kErrorWriteDevice);
             link.driver.SetResponseTimeout(500);
         },
         7},
    };
    for (const auto& exchange : kPolledExchanges) {
        for (const auto& l : leftovers) {
            ExchangeLine link;
            link.line.SetHoldingRegister(1, 0, 0x0A0B);
            link.line.SetHoldingRegister(1, 1, 0x0C0D);
            l.leave(link, exchange.run);
            link.AwaitQueuedInput(l.count);
            Outcome outcome = RunExchange(link, exchange.run, ReadRegisterRequest(1));
            EXPECT_EQ(outcome.result, 1) << exchange.name << ", " << l.leftover;
            EXPECT_EQ(outcome.data, ReadRegisterReply(0x0C0D)) << exchange.name << ", " << l.leftover;
        }
    }
}

// Fails one read, counted from 1, with ERROR_READ_FAULT.
class FailingReadPort : public CSerialPort {
public:
    explicit FailingReadPort(int failingRead) : m_failingRead(failingRead) {}

    uint32_t ReadData(void* buffer, uint32_t count, uint32_t* read, OVERLAPPED* overlapped,
                      uint32_t timeout) override {
        if (++m_reads != m_failingRead) return CSerialPort::ReadData(buffer, count, read, overlapped, timeout);
        if (read != nullptr) *read = 0;
        m_lastError = ERROR_READ_FAULT;
        return ERROR_READ_FAULT;
    }

private:
    int m_failingRead;
    int m_reads = 0;
};

// A reply of 85 bytes, long enough on the paced line that more is still
// arriving after the first read. A failed first read of ExchangePolledBulk
// leaves nothing; a failed later read keeps what came before it.
TEST(ExchangeLine, FailedReadRecordsReadError) {
    const std::vector<uint16_t> values(40, 0x5AA5);
    const std::string request = ReadRegistersRequest(0, 40);
    const std::string reply = ReadRegistersReply(values);
    for (const auto& exchange : kPolledExchanges) {
        for (int failingRead : {1, 2}) {
            ExchangeLine link(0, std::make_unique<FailingReadPort>(failingRead));
            for (uint16_t address = 0; address < 40; ++address) link.line.SetHoldingRegister(1, address, 0x5AA5);
            Outcome outcome = RunExchange(link, exchange.run, request);
            EXPECT_EQ(outcome.result, 0) << exchange.name << ", read " << failingRead;
            EXPECT_EQ(outcome.code, kErrorReadDevice) << exchange.name << ", read " << failingRead;
            EXPECT_EQ(static_cast<size_t>(outcome.length), outcome.data.size()) << exchange.name;
            EXPECT_EQ(outcome.data, reply.substr(0, outcome.length)) << exchange.name << ", read " << failingRead;
            if (failingRead == 1) {
                EXPECT_EQ(outcome.length, 0) << exchange.name;
            } else {
                EXPECT_GT(outcome.length, 0) << exchange.name;
            }
        }
    }
}

// Clears the device's read time-outs before every read, as Wine does to a
// read whose total time-out fires while the read takes in bytes: the read
// then waits for every byte it asked for.
class LostTimeoutPort : public CSerialPort {
public:
    uint32_t ReadData(void* buffer, uint32_t count, uint32_t* read, OVERLAPPED* overlapped,
                      uint32_t timeout) override {
        COMMTIMEOUTS none{};
        SetCommTimeouts(Handle(), &none);
        return CSerialPort::ReadData(buffer, count, read, overlapped, timeout);
    }
};

// A read that asks for more than the reply still ends, with the reply.
TEST(ExchangeLine, AReadWhoseTimeoutNeverComesEndsWithWhatCame) {
    for (const auto& exchange : kPolledExchanges) {
        ExchangeLine link(0, std::make_unique<LostTimeoutPort>());
        link.line.SetHoldingRegister(1, 0, 0x0102);
        Outcome outcome = RunExchange(link, exchange.run, ReadRegisterRequest(0));
        EXPECT_EQ(outcome.result, 1) << exchange.name;
        EXPECT_EQ(outcome.data, ReadRegisterReply(0x0102)) << exchange.name;
    }
}

// Where the line cannot wait for port events, the wait fails at once and
// the exchange reports a read error with nothing gathered; otherwise the
// reply comes back whole.
TEST(ExchangeLine, ExchangeByEventSendsAndWaitsWithItsOwnTimeouts) {
    for (bool givenTimeouts : {false, true}) {
        ExchangeLine link;
        link.line.SetHoldingRegister(1, 0, 0x00FF);
        const uint32_t responseTimeout = 300;
        const uint32_t writeTimeout = 1000;
        std::string data = ReadRegisterRequest(0);
        int32_t length = 8;
        int result = givenTimeouts ? link.driver.ExchangeByEvent(data, length, &responseTimeout, &writeTimeout)
                                   : link.driver.ExchangeByEvent(data, length, nullptr, nullptr);
        int32_t code = link.driver.TakeCode();
        EXPECT_EQ(link.AwaitRequests(1), std::vector<std::vector<uint8_t>>{Bytes(ReadRegisterRequest(0))});
        if (link.WaitsForPortEvents()) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(code, kErrorNone);
            EXPECT_EQ(data, ReadRegisterReply(0x00FF));
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(code, kErrorReadDevice);
            EXPECT_TRUE(data.empty());
            EXPECT_EQ(length, 0);
        }
    }
}

TEST(ExchangeLine, ExchangeByEventWaitTimeoutGivesReadError) {
    ExchangeLine link;
    link.line.DropNextReply();
    const uint32_t responseTimeout = 100;
    std::string data = ReadRegisterRequest(0);
    int32_t length = 8;
    EXPECT_EQ(link.driver.ExchangeByEvent(data, length, &responseTimeout, nullptr), 0);
    EXPECT_EQ(link.driver.TakeCode(), kErrorReadDevice);
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(data.empty());
}

}  // namespace
