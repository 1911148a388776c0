// Bytes on the line that are not the reply: noise between frames, and
// frames that answer something else. A value is taken only from the
// station's own reply to the request. A request whose reply fails its
// checks is sent once more: where a case fails, its fault bends the
// repeat's reply too.
#include "FaultLine.h"

namespace {

struct LineNoise {
    const char* situation;
    Bytes prefix;      // in front of the reply
    Bytes suffix;      // behind it
    Bytes beforePoll;  // sent by the device before the request goes out
    bool dropReply;
    Outcome expected;
};

}  // namespace

TEST_F(FaultLine, NoiseBetweenFramesNeverBecomesAValue) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    const LineNoise cases[] = {
        {"noise in front of the reply", {0x00, 0xFF, 0x55, 0xAA}, {}, {}, false, kSucceeded},
        {"noise behind the reply", {}, {0xFF, 0x00, 0x03}, {}, false, kSucceeded},
        {"noise on both sides", {0xFE, 0x7F}, {0x00, 0x01}, {}, false, kSucceeded},
        {"noise just before the request goes out", {}, {}, {0x55, 0x03, 0xAA, 0x01}, false, kSucceeded},
        {"noise alone, no reply", {0x00, 0xFF, 0x55, 0xAA}, {}, {}, true, kReadFailed},
        {"noise that holds the station and function", {0x01, 0x03, 0x06, 0x00}, {}, {}, false, kReadFailed},
    };
    uint16_t next = 0x0A00;
    for (const LineNoise& c : cases) {
        SCOPED_TRACE(c.situation);
        SetTableValue(1, tag, ++next);
        if (!c.beforePoll.empty()) line.SendFromDevice(c.beforePoll);
        if (!c.prefix.empty()) line.PrefixNextReply(c.prefix);
        if (!c.suffix.empty()) line.SuffixNextReply(c.suffix);
        if (c.dropReply) line.DropNextReply();
        if (c.expected == kReadFailed) line.RepeatNextFault(2);
        EXPECT_EQ(ReadChecked(1, tag), c.expected);
        EXPECT_EQ(ReadChecked(1, tag), kSucceeded) << "the read after it";
    }
}

TEST_F(FaultLine, NoiseLeftOnTheLineBetweenPollsIsDiscarded) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    SetTableValue(1, tag, 0x0B01);
    EXPECT_EQ(ReadChecked(1, tag), kSucceeded);
    // Noise that a request's station and function could be found in, left
    // waiting in the port's input queue.
    line.SendFromDevice({0x01, 0x03, 0x06, 0x00, 0x01});
    LetLineFallQuiet();
    SetTableValue(1, tag, 0x0B02);
    EXPECT_EQ(ReadChecked(1, tag), kSucceeded);
}

TEST_F(FaultLine, FramesThatAnswerSomethingElseAreNeverTakenForTheReply) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    const struct {
        const char* situation;
        Bytes frame;
        bool dropReply;
        Outcome expected;
    } cases[] = {
        {"another station's reply in front", RegistersReply(2, 3, {0x0707, 0x0707, 0x0707}), false, kSucceeded},
        {"another station's reply instead", RegistersReply(2, 3, {0x0707, 0x0707, 0x0707}), true, kReadFailed},
        {"a reply to another function instead", RegistersReply(1, 4, {0x0707, 0x0707, 0x0707}), true, kReadFailed},
        {"a reply of another length instead", RegistersReply(1, 3, {0x0707, 0x0707}), true, kReadFailed},
        {"a write acknowledgement instead", WithCrc({0x01, 0x06, 0x00, 0x00, 0x07, 0x07}), true, kReadFailed},
    };
    uint16_t next = 0x0C00;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        SetTableValue(1, tag, ++next);
        line.PrefixNextReply(c.frame);
        if (c.dropReply) line.DropNextReply();
        if (c.expected == kReadFailed) line.RepeatNextFault(2);
        EXPECT_EQ(ReadChecked(1, tag), c.expected);
        EXPECT_EQ(ReadChecked(1, tag), kSucceeded) << "the read after it";
    }
}

TEST_F(FaultLine, AnAcknowledgementOfAnotherWriteConfirmsNothing) {
    const TagAddress tag = driver.Tag("4x20", kTypeUInt16);
    const struct {
        const char* situation;
        Bytes frame;
    } cases[] = {
        {"another station's acknowledgement", WithCrc({0x02, 0x06, 0x00, 0x13, 0x01, 0x11})},
        {"another register's acknowledgement", WithCrc({0x01, 0x06, 0x00, 0x14, 0x01, 0x11})},
        {"another value's acknowledgement", WithCrc({0x01, 0x06, 0x00, 0x13, 0x01, 0x12})},
        {"a read reply", RegistersReply(1, 3, {0x0111})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        line.PrefixNextReply(c.frame);
        line.DropNextReply();
        line.RepeatNextFault(2);
        EXPECT_EQ(Write(1, tag, 0x0111), kWriteFailed);
        // The device took the value, but the driver was not told so: the
        // next read asks the device.
        line.ClearRequests();
        EXPECT_EQ(ReadChecked(1, tag), kSucceeded);
        EXPECT_EQ(line.Requests().size(), 1u);
    }
}
