// The framed exchange against the slave behind the paced relay. The line
// runs at 1200 baud, where the end-of-frame silence is 33 ms: wide enough
// that the relay's own unevenness never decides a case. Every case asserts
// what came back, never how long it took.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "driver/TestDriver.h"
#include "modbus/ReplyShape.h"
#include "support/FrameBytes.h"
#include "support/LineFixture.h"

namespace {

constexpr uint32_t kBaud = 1200;
constexpr uint32_t kBaudIndex = 3;  // the host's index of 1200 baud
constexpr uint32_t kResponseTimeoutMs = 300;

struct Outcome {
    int result;
    std::string data;
    int32_t length;
    int32_t code;
};

// A read of three holding registers of station 1, and its reply.
const std::string kRequest = ReadRegistersRequest(0, 3);
const modbus::ReplyShape kShape = modbus::ReadReplyShape(1, 3, 3);

std::string Reply(uint16_t first) {
    return ReadRegistersReply({first, static_cast<uint16_t>(first + 1), static_cast<uint16_t>(first + 2)});
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Counts the port operations an exchange calls, by name.
class CountingPort : public CSerialPort {
public:
    uint32_t WriteData(const void* data, uint32_t count, uint32_t* written, OVERLAPPED* overlapped,
                       uint32_t timeout) override {
        ++calls["WriteData"];
        return CSerialPort::WriteData(data, count, written, overlapped, timeout);
    }
    uint32_t ReadData(void* buffer, uint32_t count, uint32_t* read, OVERLAPPED* overlapped,
                      uint32_t timeout) override {
        ++calls["ReadData"];
        return CSerialPort::ReadData(buffer, count, read, overlapped, timeout);
    }
    int32_t GetBaudRate() override {
        ++calls["GetBaudRate"];
        return CSerialPort::GetBaudRate();
    }
    void KeyRts(bool on) override {
        ++calls["KeyRts"];
        CSerialPort::KeyRts(on);
    }
    uint32_t QueuedBytes() override {
        ++calls["QueuedBytes"];
        return CSerialPort::QueuedBytes();
    }
    uint32_t OutputQueued() override {
        ++calls["OutputQueued"];
        return CSerialPort::OutputQueued();
    }
    void DiscardInput() override {
        ++calls["DiscardInput"];
        CSerialPort::DiscardInput();
    }
    bool GetTimeouts(COMMTIMEOUTS& timeouts) override {
        ++calls["GetTimeouts"];
        return CSerialPort::GetTimeouts(timeouts);
    }
    bool SetTimeouts(const COMMTIMEOUTS& timeouts) override {
        ++calls["SetTimeouts"];
        return CSerialPort::SetTimeouts(timeouts);
    }

    int Total() const {
        int total = 0;
        for (const auto& [name, count] : calls) total += count;
        return total;
    }

    std::map<std::string, int> calls;
};

class FramedLine : public ::testing::Test {
protected:
    FramedLine() : settings(static_cast<int16_t>(line.PortIndex())) {
        settings.link.baudIndex = kBaudIndex;
        settings.link.responseTimeout = kResponseTimeoutMs;
        EXPECT_EQ(driver.Open(&settings.device), 1);
    }

    // The three registers from first on, in the slave's table.
    void SetRegisters(uint16_t first) {
        for (uint16_t i = 0; i < 3; ++i) line.SetHoldingRegister(1, i, static_cast<uint16_t>(first + i));
    }

    Outcome Exchange() {
        Outcome outcome{0, kRequest, static_cast<int32_t>(kRequest.size()), -1};
        outcome.result = driver.ExchangeFramed(outcome.data, outcome.length, kShape);
        outcome.code = driver.TakeCode();
        return outcome;
    }

    void ExpectReply(const Outcome& outcome, const std::string& reply) {
        EXPECT_EQ(outcome.result, 1);
        EXPECT_EQ(outcome.code, kErrorNone);
        EXPECT_EQ(outcome.data, reply);
        EXPECT_EQ(outcome.length, static_cast<int32_t>(reply.size()));
    }

    LineFixture line{kBaud, {1}};
    HostSettings settings;
    CountingPort* port = new CountingPort;
    TestDriver driver{std::unique_ptr<CSerialPort>(port)};
};

TEST_F(FramedLine, ACompleteReplyComesBackAsItIs) {
    const std::string exception = WithCrc(Frame({0x01, 0x83, 0x02}));
    SetRegisters(0x0A00);
    ExpectReply(Exchange(), Reply(0x0A00));

    // An exception in place of the reply, complete at its fifth byte.
    line.DropNextReply();
    line.SuffixNextReply(Bytes(exception));
    ExpectReply(Exchange(), exception);
    EXPECT_EQ(line.Requests().size(), 2u);
}

TEST_F(FramedLine, AReplySplitByAPauseShorterThanTheSilenceComesBackWhole) {
    // Split in the first five bytes, which the first read waits for, and
    // behind them.
    uint16_t first = 0x0C00;
    for (size_t firstPart : {1, 4, 7}) {
        SCOPED_TRACE(std::to_string(firstPart) + " bytes before the pause");
        SetRegisters(first += 0x10);
        line.SplitNextReply(firstPart, 10);
        ExpectReply(Exchange(), Reply(first));
    }
}

// While the reply's shape says bytes are missing, a pause longer than the
// silence does not end it: adapters hand a reply over in bursts.
TEST_F(FramedLine, APauseWithinTheReplyDoesNotEndIt) {
    SetRegisters(0x0D00);
    line.SplitNextReply(4, 150);
    ExpectReply(Exchange(), Reply(0x0D00));
}

TEST_F(FramedLine, NoiseBehindACompleteReplyStaysOutOfTheNextExchange) {
    const std::vector<uint8_t> noises[] = {{0xFF}, {0x00, 0x01, 0x03}, Bytes(Reply(0x0707))};
    uint16_t first = 0x1000;
    for (const auto& noise : noises) {
        SCOPED_TRACE(std::to_string(noise.size()) + " bytes of noise");
        SetRegisters(first += 0x10);
        line.SuffixNextReply(noise);
        ExpectReply(Exchange(), Reply(first));
        SetRegisters(first += 0x10);
        ExpectReply(Exchange(), Reply(first));
    }
}

TEST_F(FramedLine, NoReplyGivesTheWriteErrorWithNothingReceived) {
    const struct {
        const char* situation;
        void (LineFixture::*silence)();
    } cases[] = {
        {"reply dropped", &LineFixture::DropNextReply},
        {"slave stopped", &LineFixture::StopSlave},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        (line.*c.silence)();
        const Outcome outcome = Exchange();
        EXPECT_EQ(outcome.result, 0);
        EXPECT_EQ(outcome.code, kErrorWriteDevice);
        EXPECT_EQ(outcome.length, 0);
        EXPECT_TRUE(outcome.data.empty());
    }
}

// The late reply reaches the port ahead of the next request's own: the
// exchange hands over both, so that the caller can see it has two. Once a
// reply is followed by silence again, replies come back alone.
// The line listens for the late reply before it sends the next request, and
// drops it: the next exchange gets its own reply alone.
TEST_F(FramedLine, AReplyTooLateForItsRequestIsDroppedBeforeTheNextRequest) {
    SetRegisters(0x2000);
    line.DelayNextReply(kResponseTimeoutMs + 200);
    EXPECT_EQ(Exchange().result, 0);
    SetRegisters(0x2100);
    ExpectReply(Exchange(), Reply(0x2100));
    SetRegisters(0x2200);
    ExpectReply(Exchange(), Reply(0x2200));
    SetRegisters(0x2300);
    ExpectReply(Exchange(), Reply(0x2300));
}

// A read in steady state asks the port for no more than the purge, the write
// and its reads: the line knows the rate and the time-outs the port holds,
// on a busy machine as on an idle one. A read slowed past its reply's
// window cuts its last read's time-out to the deadline and the next read
// puts it back, so a loaded machine adds up to two SetTimeouts to a read;
// a reply it splits adds reads, so the fewest calls of three reads count.
TEST_F(FramedLine, AReadInSteadyStateCallsThePortOnlyToSendAndReceive) {
    for (uint16_t first : {0x3100, 0x3200}) {
        SetRegisters(first);
        ExpectReply(Exchange(), Reply(first));
    }
    int fewestOthers = INT_MAX;
    for (uint16_t value : {0x3300, 0x3400, 0x3500}) {
        port->calls.clear();
        SetRegisters(value);
        ExpectReply(Exchange(), Reply(value));
        std::string calls;
        for (const auto& [name, count] : port->calls) calls += " " + name + " " + std::to_string(count);
        std::printf("calls on the port for one read:%s\n", calls.c_str());
        const int setTimeouts = port->calls.count("SetTimeouts") ? port->calls.at("SetTimeouts") : 0;
        EXPECT_LE(setTimeouts, 2) << calls;
        EXPECT_EQ(port->calls.count("GetBaudRate") + port->calls.count("GetTimeouts"), 0u) << calls;
        fewestOthers = std::min(fewestOthers, port->Total() - setTimeouts);
    }
    EXPECT_LE(fewestOthers, 6);
}

// The polled exchanges rely on the read time-outs that Open set: 30 ms for
// bytes to come, and what came returned at once. A polled exchange after
// framed ones finds them again.
TEST_F(FramedLine, APolledExchangeAfterFramedOnesHasTheTimeoutsOpenSet) {
    SetRegisters(0x3000);
    ExpectReply(Exchange(), Reply(0x3000));
    line.DropNextReply();
    Exchange();
    std::string data = kRequest;
    int32_t length = static_cast<int32_t>(data.size());
    EXPECT_EQ(driver.ExchangePolled(data, length, nullptr, nullptr), 1);
    EXPECT_EQ(data, Reply(0x3000));
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(driver.Port()->Handle(), &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 30u);
}

}  // namespace
