// The rules that decide which bytes answer which request, on both kinds of
// line whose RTU frames carry no transaction: the COM port, and a device
// server in front of the same line. Each row bends the reply to one read or
// write; the host then goes on back to back, as one polling hard does.
// Every value handed out must be the device's (FaultLine checks each), and
// once the line fell quiet every request gets its own answer again.
#include <algorithm>
#include <functional>
#include <optional>

#include "FaultLine.h"

namespace {

const char* const kCarriers[] = {nullptr, "open-tcp rtu 9600 1 2"};
constexpr uint32_t kTurnaroundMs = 80;

class ReplyPlacing : public FaultLine, public ::testing::WithParamInterface<const char*> {
protected:
    // A late-reply limit of four response time-outs keeps the waits behind
    // another request's owed reply short.
    ReplyPlacing() : FaultLine(GetParam(), "late_reply_max_ms=1200") {}

    // The relay delays a reply on top of the device's turnaround.
    static constexpr uint32_t LateBy(uint32_t pastTimeoutMs) {
        return kResponseTimeoutMs + pastTimeoutMs - kTurnaroundMs;
    }
};

using Fault = std::function<void(LineFixture&)>;

std::vector<uint8_t> RegistersOf(uint8_t station, uint16_t value, size_t count) {
    return RegistersReply(station, 3, std::vector<uint16_t>(count, value));
}

TEST_P(ReplyPlacing, NoReadIsAnsweredByAnotherRequestsReply) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    const TagAddress sameShape = driver.Tag("4x101,3", kTypeUInt16);
    const TagAddress otherStation = driver.Tag("4x201,3", kTypeUInt16);
    const std::optional<Outcome> kEither;
    const struct {
        const char* situation;
        Fault fault;
        std::optional<Outcome> first;
    } rows[] = {
        {"a reply late by half a time-out", [](LineFixture& l) { l.DelayNextReply(LateBy(kResponseTimeoutMs / 2)); },
         kReadFailed},
        {"a reply late by two time-outs", [](LineFixture& l) { l.DelayNextReply(LateBy(2 * kResponseTimeoutMs)); },
         kReadFailed},
        {"a reply sent twice at once", [](LineFixture& l) { l.SendNextReplyTwice(); }, kSucceeded},
        {"a reply sent twice, the copy 30 ms later", [](LineFixture& l) { l.SendNextReplyTwice(30); }, kSucceeded},
        {"a reply followed by one of its shape", [](LineFixture& l) { l.SuffixNextReply(RegistersOf(1, 0xBAD, 3)); },
         kEither},
        {"a frame of another station, then the reply", [](LineFixture& l) { l.PrefixNextReply(RegistersOf(2, 0xBAD, 3)); },
         kSucceeded},
        {"another master's frames, one of the reply's shape, then the reply",
         [](LineFixture& l) {
             std::vector<uint8_t> frames = RegistersOf(2, 0xBAD, 3);
             const std::vector<uint8_t> sameShape = RegistersOf(1, 0xBAD, 3);
             frames.insert(frames.end(), sameShape.begin(), sameShape.end());
             l.PrefixNextReply(frames);
         },
         kSucceeded},
        {"a frame that cannot be the reply, then the device's own answer",
         [](LineFixture& l) { l.PrefixNextReply(RegistersOf(1, 0xBAD, 1)); }, kSucceeded},
        {"frames that cannot be the reply, and no answer",
         [](LineFixture& l) {
             std::vector<uint8_t> frames = ExceptionReply(2, 3, 2);
             for (const auto& frame : {RegistersReply(1, 4, {1, 2, 3}), RegistersOf(1, 0xBAD, 1)}) {
                 frames.insert(frames.end(), frame.begin(), frame.end());
             }
             l.DropNextReply();
             l.SuffixNextReply(frames);
         },
         kSucceeded},  // listened out to the deadline, then asked again
        {"a reply followed by noise", [](LineFixture& l) { l.SuffixNextReply({0x00, 0x01, 0x03, 0x06}); }, kSucceeded},
        {"silence", [](LineFixture& l) { l.DropNextReply(); }, kReadFailed},
        {"babble over the reply",
         [](LineFixture& l) {
             l.Babble(true);
             Sleep(20);
         },
         kEither},
    };
    // A device that takes its time answers a request that waited behind a
    // late reply well after that reply.
    line.SetTurnaround(kTurnaroundMs);
    uint16_t next = 0x100;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        SetTableValue(1, tag, ++next);
        SetTableValue(1, sameShape, ++next);
        SetTableValue(2, otherStation, ++next);
        row.fault(line);
        const Outcome first = ReadChecked(1, tag);
        line.Babble(false);
        if (row.first) {
            EXPECT_EQ(first, *row.first);
        }
        // A device busy with a late reply may leave these unanswered too;
        // whatever they deliver must be right.
        ReadChecked(1, sameShape);
        ReadChecked(2, otherStation);
        ReadChecked(1, tag);
        LetLineFallQuiet();
        EXPECT_EQ(PollCycle(1, {tag, sameShape}) + PollCycle(2, {otherStation}), 0) << "reads after the line fell quiet";
    }
}

// Every echo of a write to the same registers looks the same, whatever was
// written: only the echo of the write itself may confirm it.
TEST_P(ReplyPlacing, NoWriteIsConfirmedByAnotherWritesEcho) {
    const TagAddress tag = driver.Tag("4x1", kTypeFloat);
    const Fault kNone = [](LineFixture&) {};
    // A write behind an owed echo listens as long as that echo was already
    // late when its own came: a loaded host that sends it late may hear the
    // owed echo then, and fails the write rather than guess whose it was.
    const std::optional<Outcome> kEither;
    const struct {
        const char* situation;
        Fault first;
        Outcome firstOutcome;
        Fault second;
        std::optional<Outcome> secondOutcome;
    } rows[] = {
        {"an echo late by three time-outs", [](LineFixture& l) { l.DelayNextReply(3 * kResponseTimeoutMs); },
         kWriteFailed, kNone, kEither},
        {"an echo just late, the next write's echo lost", [](LineFixture& l) { l.DelayNextReply(kResponseTimeoutMs + 40); },
         kWriteFailed, [](LineFixture& l) { l.DropNextReply(); }, kWriteFailed},
        {"an echo sent twice at once", [](LineFixture& l) { l.SendNextReplyTwice(); }, kSucceeded, kNone, kSucceeded},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        row.first(line);
        EXPECT_EQ(Write(1, tag, 0x41AC0000), row.firstOutcome);
        row.second(line);
        const Outcome second = Write(1, tag, 0x42280000);
        if (row.secondOutcome) {
            EXPECT_EQ(second, *row.secondOutcome);
        }
        LetLineFallQuiet();
        EXPECT_EQ(Write(1, tag, 0x42480000), kSucceeded);
        EXPECT_EQ(TableValue(1, tag), 0x42480000u);
    }
}

// An adapter whose receiver stays on sends each request back before its
// reply. Set to on, or learned by auto from the first read, the echo costs
// nothing and never stands for a reply: a write answered by a copy of
// itself (function 6) is not confirmed by its echo alone. Set to off, the
// echo is a broken reply, never a value.
TEST_P(ReplyPlacing, AnEchoedRequestIsNeverTakenForItsReply) {
    const TagAddress block = driver.Tag("4x1,3", kTypeUInt16);
    const TagAddress single = driver.Tag("4x20", kTypeUInt16);  // written with function 6
    const TagAddress pair = driver.Tag("4x30", kTypeFloat);     // with function 16
    // echoStops: after the first read, as when the adapter is changed; told:
    // the trace says the line echoes; failures: after the first read.
    const struct {
        const char *situation, *settings;
        bool adapterEchoes, echoStops, told, failures;
    } rows[] = {
        {"auto learns it from the first read", "", true, false, true, false},
        {"auto, the echo stops after the first read", "", true, true, true, false},
        {"on", "echo=on", true, false, true, false},
        {"on, an adapter that does not echo: writes of function 6 get no second copy", "echo=on", false, false, false,
         true},
        {"off", "echo=off", true, false, false, true},
    };
    uint16_t next = 0x200;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        ReopenWith(row.settings);
        line.Echo(row.adapterEchoes);
        ClearTrace();
        ReadChecked(1, block);
        if (row.echoStops) line.Echo(false);
        int failed = 0;
        for (int round = 0; round < 2; ++round) {
            failed += PollCycle(1, {block, single, pair});
            failed += Write(1, single, ++next).result != 1;
            failed += Write(1, pair, 0x41AC0000u + next).result != 1;
        }
        EXPECT_EQ(failed > 0, row.failures) << failed << " failed";
        if (row.told && !row.echoStops) {
            line.DropNextReply();
            EXPECT_EQ(Write(1, single, ++next), kWriteFailed) << "confirmed by its echo alone";
        }
        const auto events = TracedEvents();
        EXPECT_EQ(std::count_if(events.begin(), events.end(), [](auto& e) { return e.rfind("Echo: ", 0) == 0; }),
                  row.told ? 1 : 0);
        line.Echo(false);
        LetLineFallQuiet();
    }
}

// A whole frame of another station or function that answers nothing asked
// while no reply is owed is another master's: the trace tells it at once,
// then once a minute at most. Copies of what was asked are none.
TEST_P(ReplyPlacing, FramesNobodyAskedForAreToldAsAnotherMasters) {
    const TagAddress tag = driver.Tag("4x1,3", kTypeUInt16);
    const TagAddress other = driver.Tag("4x201,3", kTypeUInt16);
    // owing: station 2's request before went unanswered; told: Foreign lines,
    // each of one frame.
    const struct {
        const char* situation;
        bool owing;
        Fault fault;
        int reads, told;
    } rows[] = {
        {"another station's reply first", false, [](LineFixture& l) { l.PrefixNextReply(RegistersOf(2, 0xBAD, 3)); }, 1, 1},
        {"another function's reply first, twice in a minute", false,
         [](LineFixture& l) { l.PrefixNextReply(RegistersReply(1, 4, {1, 2, 3})); }, 2, 1},
        {"the reply sent twice", false, [](LineFixture& l) { l.SendNextReplyTwice(); }, 2, 0},
        {"another station's reply first while one is owed", true,
         [](LineFixture& l) { l.PrefixNextReply(RegistersOf(3, 0xBAD, 3)); }, 1, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        ReopenWith("");
        ClearTrace();
        if (row.owing) {
            line.DropNextReply();
            ReadChecked(2, other);
        }
        for (int read = 0; read < row.reads; ++read) {
            row.fault(line);
            ReadChecked(1, tag);
        }
        LetLineFallQuiet();
        ReadChecked(1, tag);
        int told = 0;
        for (const std::string& event : TracedEvents()) {
            if (event.rfind("Foreign: ", 0) != 0) continue;
            ++told;
            EXPECT_NE(event.find(", 1 frame nobody asked for; another master may share the line"), std::string::npos);
        }
        EXPECT_EQ(told, row.told);
    }
}

INSTANTIATE_TEST_SUITE_P(BothCarriers, ReplyPlacing, ::testing::ValuesIn(kCarriers),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return info.param == nullptr ? "ComPort" : "DeviceServer";
                         });

}  // namespace
