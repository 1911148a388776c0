// The framed exchange against the slave behind the paced relay. The line
// runs at 1200 baud, where the end-of-frame silence is 33 ms: wide enough
// that the relay's own unevenness never decides a case. Every case asserts
// what came back, never how long it took.
#include <gtest/gtest.h>

#include <string>

#include "driver/TestDriver.h"
#include "modbus/ReplyShape.h"
#include "serial/RegisterFrames.h"
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

CSerialLine::ReplyNeed NeedOf(const modbus::ReplyShape& shape) {
    return [shape](const std::string& received) {
        return modbus::ReplyBytesMissing(shape, reinterpret_cast<const uint8_t*>(received.data()), received.size());
    };
}

// A read of three holding registers of station 1, and its reply.
const std::string kRequest = ReadRegistersRequest(0, 3);
const modbus::ReplyShape kShape = modbus::ReadReplyShape(1, 3, 3);

std::string Reply(uint16_t first) {
    return ReadRegistersReply({first, static_cast<uint16_t>(first + 1), static_cast<uint16_t>(first + 2)});
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

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

    Outcome Exchange(const CSerialLine::ReplyNeed& need = NeedOf(kShape)) {
        Outcome outcome{0, kRequest, static_cast<int32_t>(kRequest.size()), -1};
        outcome.result = driver.ExchangeFramed(outcome.data, outcome.length, need);
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
    TestDriver driver;
};

TEST_F(FramedLine, ACompleteReplyComesBackAsItIs) {
    const std::string exception = WithCrc(Frame({0x01, 0x83, 0x02}));
    SetRegisters(0x0A00);
    ExpectReply(Exchange(), Reply(0x0A00));

    // An exception in place of the reply, complete at its fifth byte.
    line.DropNextReply();
    line.SuffixNextReply(Bytes(exception));
    ExpectReply(Exchange(), exception);

    // Knowing nothing of the reply, the exchange takes it to the silence.
    SetRegisters(0x0B00);
    ExpectReply(Exchange([](const std::string&) { return 1u; }), Reply(0x0B00));
    EXPECT_EQ(line.Requests().size(), 3u);
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
TEST_F(FramedLine, AReplyTooLateForItsRequestComesWithTheNextReply) {
    SetRegisters(0x2000);
    line.DelayNextReply(kResponseTimeoutMs + 200);
    EXPECT_EQ(Exchange().result, 0);
    SetRegisters(0x2100);
    ExpectReply(Exchange(), Reply(0x2000) + Reply(0x2100));
    SetRegisters(0x2200);
    ExpectReply(Exchange(), Reply(0x2200));
    SetRegisters(0x2300);
    ExpectReply(Exchange(), Reply(0x2300));
}

// The polled exchanges rely on the read time-outs that Open set: 30 ms for
// bytes to come, and what came returned at once.
TEST_F(FramedLine, ThePortsReadTimeoutsAreLeftAsOpenSetThem) {
    SetRegisters(0x3000);
    ExpectReply(Exchange(), Reply(0x3000));
    line.DropNextReply();
    Exchange();
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(driver.Port()->Handle(), &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 30u);
}

}  // namespace
