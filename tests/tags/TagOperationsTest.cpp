#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/FrameBytes.h"
#include "support/SimulatedSlave.h"
#include "tags/TagOperations.h"

using modbus::StationMaps;
using modbus::BitStationMap;
using modbus::WordStationMap;
using modbus::DWordStationMap;

namespace {

using Reply = SimulatedSlave::Reply;

// A driver's six station maps in front of simulated slaves.
class TagOperations : public ::testing::Test {
protected:
    static TagAddress Tag(const char* text, int16_t dataType) {
        TagAddress tag{};
        tag.dataType = dataType;
        EXPECT_EQ(modbus::ParseAddress(text, &tag), modbus::Outcome::kDone) << text;
        return tag;
    }

    static TagValue Untouched() {
        TagValue value;
        std::memset(&value, 0xA5, sizeof(value));
        return value;
    }

    modbus::Outcome Read(int32_t station, const TagAddress& tag, TagValue& value) {
        return modbus::ReadTag(Maps(), slave, &station, &tag, &value);
    }

    modbus::Outcome Write(int32_t station, const TagAddress& tag, const TagValue& value) {
        return modbus::WriteTag(Maps(), slave, &station, &tag, &value);
    }

    // The value a read delivers, and whether it needed the line.
    uint32_t ReadWord(int32_t station, const TagAddress& tag, modbus::Outcome expectedCode = modbus::Outcome::kDone) {
        TagValue value = Untouched();
        EXPECT_EQ(Read(station, tag, value), expectedCode);
        return value.wordValue;
    }

    size_t RequestsDuring(const std::function<void()>& step) {
        slave.ClearRequests();
        step();
        return slave.Requests().size();
    }

    StationMaps Maps() {
        return {coils, discreteInputs, inputWords, holdingWords, inputDWords, holdingDWords};
    }

    modbus::BlockLimits BitLimits(uint32_t station) { return slave.SettingsOf(station).bitLimits; }
    modbus::BlockLimits RegisterLimits(uint32_t station) { return slave.SettingsOf(station).registerLimits; }

    SimulatedSlave slave;
    BitStationMap coils{[this](uint32_t station) { return BitLimits(station); }};
    BitStationMap discreteInputs{[this](uint32_t station) { return BitLimits(station); }};
    WordStationMap inputWords{[this](uint32_t station) { return RegisterLimits(station); }};
    WordStationMap holdingWords{[this](uint32_t station) { return RegisterLimits(station); }};
    DWordStationMap inputDWords{[this](uint32_t station) { return RegisterLimits(station); }};
    DWordStationMap holdingDWords{[this](uint32_t station) { return RegisterLimits(station); }};
};

TEST_F(TagOperations, FirstReadDeliversTheDeviceValueWithOneRequestForItsItem) {
    slave.Item(1, kAreaHoldingRegisters, 99) = 0x1234;
    slave.Item(1, kAreaHoldingRegisters, 100) = 0x0001;
    slave.Item(1, kAreaCoils, 4) = 1;
    slave.Item(1, kAreaDiscreteInputs, 6) = 1;
    slave.Item(1, kAreaInputRegisters, 9) = 0xFFFF;
    const struct {
        const char* text;
        int16_t dataType;
        std::string request;
    } cases[] = {
        {"4x100", 8, Frame({0x01, 0x03, 0x00, 0x63, 0x00, 0x01, 0x74, 0x14})},
        {"4x100", 32, Frame({0x01, 0x03, 0x00, 0x63, 0x00, 0x02, 0x34, 0x15})},
        {"0x5", 1, Frame({0x01, 0x01, 0x00, 0x04, 0x00, 0x01, 0xBC, 0x0B})},
        {"1x7", 1, Frame({0x01, 0x02, 0x00, 0x06, 0x00, 0x01, 0x59, 0xCB})},
        {"3x10,5", 4, Frame({0x01, 0x04, 0x00, 0x09, 0x00, 0x05, 0xE0, 0x0B})},
    };
    TagValue values[5];
    for (size_t i = 0; i < std::size(cases); ++i) {
        values[i] = Untouched();
        EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(Read(1, Tag(cases[i].text, cases[i].dataType), values[i]), modbus::Outcome::kDone); }), 1u);
        EXPECT_EQ(slave.Requests().back(), cases[i].request) << cases[i].text;
    }
    EXPECT_EQ(values[0].wordValue, 0x1234);
    EXPECT_EQ(values[0].bcdValue, 1234);
    EXPECT_EQ(values[1].dwordValue, 0x00011234u);
    EXPECT_EQ(values[2].bitValue, 1u);
    EXPECT_EQ(values[3].bitValue, 1u);
    EXPECT_EQ(values[4].intValue, -1);
}

TEST_F(TagOperations, AFirstReadFreshensOnlyItsOwnItem) {
    const TagAddress middle = Tag("4x2", 8);
    const TagAddress pair = Tag("4x1", 32);
    const TagAddress suffixed = Tag("4x1,3", 8);
    ReadWord(1, middle);
    TagValue value = Untouched();
    EXPECT_EQ(Read(1, pair, value), modbus::Outcome::kDone);  // registers 0 and 1
    EXPECT_EQ(Read(1, suffixed, value), modbus::Outcome::kDone);  // registers 0..2
    EXPECT_EQ(RequestsDuring([&] { ReadWord(1, middle); }), 1u);
}

TEST_F(TagOperations, LaterCyclesSendOneRequestPerBlock) {
    for (uint16_t i = 0; i < 3; ++i) slave.Item(1, kAreaHoldingRegisters, i) = static_cast<uint16_t>(10 + i);
    const TagAddress neighbours[] = {Tag("4x1", 8), Tag("4x2", 8), Tag("4x3", 8)};
    EXPECT_EQ(RequestsDuring([&] {
                  for (const TagAddress& tag : neighbours) ReadWord(1, tag);
              }),
              3u);
    for (int cycle = 0; cycle < 2; ++cycle) {
        std::vector<uint32_t> values;
        EXPECT_EQ(RequestsDuring([&] {
                      for (const TagAddress& tag : neighbours) values.push_back(ReadWord(1, tag));
                  }),
                  1u);
        EXPECT_EQ(slave.Requests()[0], Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x03, 0x05, 0xCB}));
        EXPECT_EQ(values, (std::vector<uint32_t>{10, 11, 12}));
    }

    const TagAddress apart[] = {Tag("4x21", 8), Tag("4x31", 8)};  // gap 10 above the limit of 8
    for (const TagAddress& tag : apart) ReadWord(1, tag);
    EXPECT_EQ(RequestsDuring([&] {
                  for (const TagAddress& tag : apart) ReadWord(1, tag);
              }),
              2u);
}

TEST_F(TagOperations, BothViewsOfARegisterAreaShareAResponse) {
    slave.Item(1, kAreaInputRegisters, 0) = 0x0000;
    slave.Item(1, kAreaInputRegisters, 1) = 0x3F80;
    const TagAddress word = Tag("3x2", 8);
    const TagAddress pair = Tag("3x1", 128);
    TagValue value = Untouched();
    Read(1, word, value);
    Read(1, pair, value);
    EXPECT_EQ(RequestsDuring([&] {
                  EXPECT_EQ(Read(1, pair, value), modbus::Outcome::kDone);
                  EXPECT_EQ(Read(1, word, value), modbus::Outcome::kDone);
              }),
              1u);
    EXPECT_EQ(value.floatValue, 1.0f);
    EXPECT_EQ(value.wordValue, 0x3F80);
}

TEST_F(TagOperations, PaddingBitsAreNotTakenForCoils) {
    slave.PadBitsWithOnes(true);
    const TagAddress first = Tag("0x1,1", 1);
    const TagAddress third = Tag("0x3", 1);
    TagValue value = Untouched();
    Read(1, first, value);
    Read(1, third, value);
    Read(1, first, value);  // one coil asked for, a byte with seven padding ones back
    EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(Read(1, third, value), modbus::Outcome::kDone); }), 1u);
    EXPECT_EQ(value.bitValue, 0u);
}

TEST_F(TagOperations, CountSuffixReplacesThePlannedBlock) {
    const struct {
        const char* text;
        int16_t dataType;
        std::string request;
    } cases[] = {
        {"4x10,5", 8, Frame({0x01, 0x03, 0x00, 0x09, 0x00, 0x05, 0x55, 0xCB})},
        {"4x10,5", 32, Frame({0x01, 0x03, 0x00, 0x09, 0x00, 0x06, 0x15, 0xCA})},
        {"0x3,20", 1, Frame({0x01, 0x01, 0x00, 0x02, 0x00, 0x14, 0x9D, 0xC5})},
    };
    for (const auto& c : cases) {
        const TagAddress tag = Tag(c.text, c.dataType);
        TagValue value = Untouched();
        Read(1, tag, value);
        EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(Read(1, tag, value), modbus::Outcome::kDone); }), 1u);
        EXPECT_EQ(slave.Requests()[0], c.request) << c.text;
    }
}

TEST_F(TagOperations, StationsKeepSeparateCaches) {
    slave.Item(1, kAreaHoldingRegisters, 0) = 100;
    slave.Item(2, kAreaHoldingRegisters, 0) = 200;
    const TagAddress tag = Tag("4x1", 8);
    EXPECT_EQ(ReadWord(1, tag), 100u);
    EXPECT_EQ(ReadWord(2, tag), 200u);
    EXPECT_EQ(RequestsDuring([&] {
                  EXPECT_EQ(ReadWord(1, tag), 100u);
                  EXPECT_EQ(ReadWord(2, tag), 200u);
              }),
              2u);
    EXPECT_EQ(slave.Requests()[0][0], 1);
    EXPECT_EQ(slave.Requests()[1][0], 2);
}

TEST_F(TagOperations, AFailedReadDeliversNothingAndTheNextReadRetries) {
    slave.Item(1, kAreaHoldingRegisters, 4) = 42;
    const TagAddress tag = Tag("4x5", 8);
    for (Reply failure : {Reply::kException, Reply::kBadCrc, Reply::kSilence}) {
        slave.SetReply(failure);
        TagValue value = Untouched();
        EXPECT_EQ(Read(1, tag, value), modbus::Outcome::kReadFailed);
        EXPECT_EQ(value.wordValue, Untouched().wordValue);
        slave.SetReply(Reply::kNormal);
        EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(ReadWord(1, tag), 42u); }), 1u);
    }
}

TEST_F(TagOperations, ABlockFailureReachesEveryWaitingTagOnceAndTheNextCycleAsksAgain) {
    for (uint16_t i = 0; i < 3; ++i) slave.Item(1, kAreaHoldingRegisters, i) = static_cast<uint16_t>(20 + i);
    const TagAddress block[] = {Tag("4x1", 8), Tag("4x2", 8), Tag("4x3", 8)};
    for (const TagAddress& tag : block) ReadWord(1, tag);
    const struct {
        Reply failure;
        size_t requests;  // a broken reply is asked for once more
    } cases[] = {{Reply::kSilence, 1}, {Reply::kBadCrc, 2}, {Reply::kException, 1}};
    for (const auto& c : cases) {
        slave.SetReply(c.failure);
        EXPECT_EQ(RequestsDuring([&] {
                      for (const TagAddress& tag : block) ReadWord(1, tag, modbus::Outcome::kReadFailed);
                  }),
                  c.requests);
        slave.SetReply(Reply::kNormal);
        std::vector<uint32_t> values;
        EXPECT_EQ(RequestsDuring([&] {
                      for (const TagAddress& tag : block) values.push_back(ReadWord(1, tag));
                  }),
                  1u);
        EXPECT_EQ(values, (std::vector<uint32_t>{20, 21, 22}));
    }
}

TEST_F(TagOperations, BrokenAndBusyRepliesAreAskedForAgainAndSilencesOnlyWhenTheSettingsSay) {
    using modbus::Outcome;
    const TagAddress tag = Tag("4x7", 8);
    const TagAddress pair = Tag("4x8", 32);
    const std::string broken = "Retry: station 1 function 3, broken reply";
    const std::string silent = "Retry: station 1 function 3, no reply";
    const std::string busy = "Busy: station 1 exception 06";
    const std::string accepted = "Busy: station 1 exception 05";
    const std::string pause = "Pause: 250 ms";
    const struct {
        std::initializer_list<Reply> replies;
        int32_t retries;
        int32_t timeoutRetries;
        bool write;
        Outcome outcome;
        size_t requests;
        std::vector<std::string> events;
    } cases[] = {
        {{Reply::kBadCrc}, 1, 0, false, Outcome::kDone, 2, {broken}},
        {{Reply::kBadCrc, Reply::kBadCrc}, 1, 0, false, Outcome::kReadFailed, 2, {broken}},
        {{Reply::kBadCrc}, 0, 0, false, Outcome::kReadFailed, 1, {}},
        {{Reply::kSilence}, 1, 0, false, Outcome::kReadFailed, 1, {}},
        {{Reply::kSilence, Reply::kBadCrc}, 1, 1, false, Outcome::kDone, 3, {silent, broken}},
        {{Reply::kException}, 3, 3, false, Outcome::kReadFailed, 1, {}},
        // The third silence in a row demotes the station: no retry is left for it.
        {{Reply::kSilence, Reply::kSilence, Reply::kSilence}, 1, 3, false, Outcome::kReadFailed, 3,
         {silent, silent, "Demote: station 1 for 10000 ms"}},
        {{Reply::kBadCrc}, 1, 0, true, Outcome::kDone, 2, {"Retry: station 1 function 16, broken reply"}},
        {{Reply::kSilence, Reply::kSilence}, 1, 1, true, Outcome::kWriteFailed, 2,
         {"Retry: station 1 function 16, no reply"}},
        // A busy device is there: three busy answers in a row demote nothing.
        {{Reply::kBusy, Reply::kBusy, Reply::kBusy}, 3, 0, false, Outcome::kDone, 4,
         {busy, pause, busy, pause, busy, pause}},
        {{Reply::kBusy, Reply::kBadCrc}, 1, 3, false, Outcome::kReadFailed, 2, {busy, pause}},
        {{Reply::kAcknowledge}, 1, 0, false, Outcome::kDone, 2, {accepted, pause}},
        {{Reply::kBusy}, 1, 0, true, Outcome::kDone, 2, {busy, pause}},
        // A write the device took is being carried out: it is not sent again.
        {{Reply::kAcknowledge}, 3, 0, true, Outcome::kWriteAcknowledged, 1, {accepted}},
    };
    for (const auto& c : cases) {
        slave.Settings(1).retries = c.retries;
        slave.Settings(1).timeoutRetries = c.timeoutRetries;
        slave.Settings(1).busyRetryMs = 250;
        slave.QueueReplies(c.replies);
        const size_t eventsBefore = slave.Events().size();
        TagValue value = Untouched();
        value.dwordValue = 7;
        EXPECT_EQ(RequestsDuring([&] {
                      EXPECT_EQ(c.write ? Write(1, pair, value) : Read(1, tag, value), c.outcome);
                  }),
                  c.requests);
        EXPECT_EQ(std::vector<std::string>(slave.Events().begin() + eventsBefore, slave.Events().end()), c.events);
        slave.SetReply(Reply::kNormal);
        slave.QueueReplies({});
        slave.Settings(1) = {};
        slave.AdvanceClock(10000);  // past any demotion: the next read probes
        for (int read = 0; read < 3 && Read(1, tag, value) != Outcome::kDone; ++read) {
        }
    }
}

TEST_F(TagOperations, ASilentStationIsDemotedProbedAndRestoredAloneOnItsLine) {
    using modbus::Outcome;
    slave.Item(1, kAreaHoldingRegisters, 0) = 11;
    slave.Item(2, kAreaHoldingRegisters, 0) = 22;
    const TagAddress tag = Tag("4x1", 8);
    TagValue value{};
    slave.SwitchOff(1, true);
    for (int request = 0; request < 3; ++request) {
        EXPECT_EQ(RequestsDuring([&] { ReadWord(1, tag, Outcome::kReadFailed); }), 1u);
    }
    EXPECT_EQ(slave.Events(), (std::vector<std::string>{"Demote: station 1 for 10000 ms"}));
    EXPECT_EQ(RequestsDuring([&] {
                  ReadWord(1, tag, Outcome::kReadFailed);
                  EXPECT_EQ(Write(1, tag, value), Outcome::kWriteFailed);
              }),
              0u);
    EXPECT_EQ(ReadWord(2, tag), 22u);

    slave.AdvanceClock(9999);
    EXPECT_EQ(RequestsDuring([&] { ReadWord(1, tag, Outcome::kReadFailed); }), 0u);
    slave.AdvanceClock(1);
    EXPECT_EQ(RequestsDuring([&] { ReadWord(1, tag, Outcome::kReadFailed); }), 1u);
    EXPECT_EQ(RequestsDuring([&] { ReadWord(1, tag, Outcome::kReadFailed); }), 0u);
    slave.SwitchOff(1, false);
    slave.AdvanceClock(10000);
    slave.SetReply(Reply::kException);  // any reply restores the station
    EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(Write(1, tag, value), Outcome::kWriteFailed); }), 1u);
    slave.SetReply(Reply::kNormal);
    EXPECT_EQ(ReadWord(1, tag), 11u);
    EXPECT_EQ(slave.Events(),
              (std::vector<std::string>{"Demote: station 1 for 10000 ms", "Probe: station 1",
                                        "Demote: station 1 for 10000 ms", "Probe: station 1", "Restore: station 1"}));
}

TEST_F(TagOperations, ARefusedBlockIsSplitUntilItsPartsAnswerAndLaterCyclesAvoidTheHole) {
    const struct {
        std::vector<const char*> texts;
        uint16_t lacking;  // zero-based
        size_t firstCycleRequests;  // a split is kept once the whole block is refused again
        size_t laterRequests;
        std::vector<std::string> splits;
    } cases[] = {
        // The hole lies between two tags: one split, then two blocks.
        {{"4x100", "4x101", "4x102", "4x103", "4x104", "4x106", "4x107", "4x108"}, 104, 4, 2,
         {"Split: station 1 4x100..4x108 at 4x106"}},
        // The hole is a tag of its own: it alone fails.
        {{"4x1", "4x2", "4x3", "4x4"}, 2, 7, 3,
         {"Split: station 1 4x1..4x4 at 4x3", "Split: station 1 4x3..4x4 at 4x4"}},
        // 32-bit tags are never cut in halves.
        {{"3x1:32", "3x3:32", "3x5:32"}, 3, 7, 3,
         {"Split: station 1 3x1..3x6 at 3x3", "Split: station 1 3x3..3x6 at 3x5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts[0]);
        const uint8_t station = static_cast<uint8_t>(1 + (&c - cases));
        std::vector<TagAddress> tags;
        for (const char* text : c.texts) {
            const std::string address(text);
            const bool pair = address.find(":32") != std::string::npos;
            tags.push_back(Tag(address.substr(0, address.find(':')).c_str(), pair ? 32 : 8));
            modbus::RememberParsedTag(Maps(), station, tags.back());
        }
        const Area area = static_cast<Area>(tags[0].area);
        for (uint16_t i = 0; i < 200; ++i) slave.Item(station, area, i) = static_cast<uint16_t>(1000 + i);
        slave.Lack(station, area, c.lacking);
        const size_t eventsBefore = slave.Events().size();
        for (size_t cycle = 0; cycle < 3; ++cycle) {
            EXPECT_EQ(RequestsDuring([&] {
                          for (const TagAddress& tag : tags) {
                              TagValue value = Untouched();
                              const uint32_t item = static_cast<uint32_t>(tag.address - 1);
                              const bool lacking = item <= c.lacking && c.lacking <= item + (tag.dataType == 32);
                              EXPECT_EQ(Read(station, tag, value),
                                        lacking ? modbus::Outcome::kReadFailed : modbus::Outcome::kDone);
                              if (!lacking && tag.dataType == 8) {
                                  EXPECT_EQ(value.wordValue, 1000 + item);
                              }
                          }
                      }),
                      cycle == 0 ? c.firstCycleRequests : c.laterRequests);
        }
        std::vector<std::string> splits(slave.Events().begin() + eventsBefore, slave.Events().end());
        for (std::string& event : splits) event.replace(15, 1, "1");
        EXPECT_EQ(splits, c.splits);
    }
}

TEST_F(TagOperations, SplitsHoldForHolesOnlyAndAreTriedAgainWhenDue) {
    struct Cycle {
        uint64_t afterMs;  // on the line's clock, since the cycle before
        int refusedFirst;  // requests answered with exception 02 before reply applies
        Reply reply;       // kRefusal: exception 02 to every request
        bool holeLacking;
        size_t requests;
        size_t failed;
    };
    const struct {
        const char* situation;
        uint8_t station;
        int32_t first;  // the tags 4x<first>..4x<last>, less the hole unless it is a tag
        int32_t last;
        int32_t hole;   // zero-based; -1 for none
        bool holeIsATag;
        int32_t relearnMs;
        std::vector<Cycle> cycles;
        std::vector<std::string> events;
    } cases[] = {
        {"a device that refuses everything while it starts", 1, 1, 32, -1, false, 60000,
         {{0, 0, Reply::kRefusal, false, 7, 32}, {1000, 0, Reply::kNormal, false, 1, 0},
          {1000, 0, Reply::kNormal, false, 1, 0}},
         {"Split: station 1 4x1..4x32 at 4x17", "Split: station 1 4x1..4x16 at 4x9", "Split: station 1 4x1..4x8 at 4x5",
          "Split: station 1 4x1..4x4 at 4x3", "Split: station 1 4x1..4x2 at 4x2",
          "Split: station 1 4x1..4x32 not split, no part answered"}},
        {"a hole between two tags, asked for whole when due and then given back", 2, 100, 108, 104, false, 60000,
         {{0, 0, Reply::kNormal, true, 4, 0}, {59999, 0, Reply::kNormal, true, 2, 0}, {1, 0, Reply::kNormal, true, 3, 0},
          {59999, 0, Reply::kNormal, true, 2, 0}, {1, 0, Reply::kNormal, false, 1, 0},
          {60000, 0, Reply::kNormal, false, 1, 0}},
         {"Split: station 2 4x100..4x108 at 4x106", "Split: station 2 4x100..4x108 refused again, splits kept",
          "Split: station 2 4x100..4x108 joined again"}},
        {"a tag's own item: one more request when due", 3, 1, 4, 2, true, 60000,
         {{0, 0, Reply::kNormal, true, 7, 1}, {60000, 0, Reply::kNormal, true, 4, 1}, {0, 0, Reply::kNormal, true, 3, 1}},
         {"Split: station 3 4x1..4x4 at 4x3", "Split: station 3 4x3..4x4 at 4x4",
          "Split: station 3 4x1..4x4 refused again, splits kept"}},
        {"relearn_ms 0 keeps splits for good", 4, 100, 108, 104, false, 0,
         {{0, 0, Reply::kNormal, true, 4, 0}, {86400000, 0, Reply::kNormal, true, 2, 0}},
         {"Split: station 4 4x100..4x108 at 4x106"}},
        {"a hole outlives a restart that refused everything", 5, 100, 108, 104, false, 60000,
         {{0, 0, Reply::kNormal, true, 4, 0}, {1000, 0, Reply::kRefusal, true, 7, 8}, {1000, 0, Reply::kNormal, true, 2, 0}},
         {"Split: station 5 4x100..4x108 at 4x106", "Split: station 5 4x100..4x104 at 4x102",
          "Split: station 5 4x100..4x101 at 4x101", "Split: station 5 4x100..4x104 not split, no part answered",
          "Split: station 5 4x106..4x108 at 4x107", "Split: station 5 4x106..4x108 not split, no part answered"}},
        {"a device that starts serving while its block is split", 6, 1, 32, -1, false, 60000,
         {{0, 2, Reply::kNormal, false, 4, 0}, {1000, 0, Reply::kNormal, false, 1, 0}},
         {"Split: station 6 4x1..4x32 at 4x17", "Split: station 6 4x1..4x16 at 4x9",
          "Split: station 6 4x1..4x32 not split, answered whole"}},
        {"a busy device: its block fails whole, unsplit", 7, 1, 4, -1, false, 60000,
         {{0, 0, Reply::kBusy, false, 2, 4}, {1000, 0, Reply::kNormal, false, 1, 0}},
         {"Busy: station 7 exception 06", "Pause: 100 ms", "Busy: station 7 exception 06"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        slave.Settings(c.station).relearnMs = c.relearnMs;
        std::vector<TagAddress> tags;
        for (int32_t item = c.first; item <= c.last; ++item) {
            slave.Item(c.station, kAreaHoldingRegisters, static_cast<uint16_t>(item - 1)) = static_cast<uint16_t>(item);
            if (item - 1 == c.hole && !c.holeIsATag) continue;
            tags.push_back(Tag(("4x" + std::to_string(item)).c_str(), 8));
            modbus::RememberParsedTag(Maps(), c.station, tags.back());
        }
        const size_t eventsBefore = slave.Events().size();
        for (const Cycle& cycle : c.cycles) {
            slave.AdvanceClock(cycle.afterMs);
            slave.SetReply(cycle.reply);
            for (int refused = 0; refused < cycle.refusedFirst; ++refused) slave.QueueReplies({Reply::kRefusal});
            if (c.hole >= 0) slave.Lack(c.station, kAreaHoldingRegisters, static_cast<uint16_t>(c.hole), cycle.holeLacking);
            size_t failed = 0;
            EXPECT_EQ(RequestsDuring([&] {
                          for (const TagAddress& tag : tags) {
                              TagValue value = Untouched();
                              if (Read(c.station, tag, value) != modbus::Outcome::kDone) {
                                  ++failed;
                              } else {
                                  EXPECT_EQ(value.wordValue, tag.address);
                              }
                          }
                      }),
                      cycle.requests)
                << "cycle " << (&cycle - c.cycles.data());
            EXPECT_EQ(failed, cycle.failed) << "cycle " << (&cycle - c.cycles.data());
        }
        slave.SetReply(Reply::kNormal);
        EXPECT_EQ(std::vector<std::string>(slave.Events().begin() + eventsBefore, slave.Events().end()), c.events);
    }
}

TEST_F(TagOperations, TheFirstCyclePlansItsBlocksFromTheParsedTags) {
    // The 32-bit tag lies inside the register block: that block's reply serves it too.
    const TagAddress tags[] = {Tag("4x1", 8), Tag("4x2", 4), Tag("4x5", 8), Tag("0x1", 1), Tag("0x9", 1),
                               Tag("4x3", 32)};
    for (const TagAddress& tag : tags) modbus::RememberParsedTag(Maps(), WordStationMap::kAnyStation, tag);
    // Parsed for station 3 alone: it widens no block of the others.
    modbus::RememberParsedTag(Maps(), 3, Tag("4x9", 8));
    for (int32_t station : {1, 2, 3}) {
        EXPECT_EQ(RequestsDuring([&] {
                      TagValue value = Untouched();
                      for (const TagAddress& tag : tags) EXPECT_EQ(Read(station, tag, value), modbus::Outcome::kDone);
                  }),
                  2u);
        EXPECT_EQ(slave.Requests()[0][5], station == 3 ? 9 : 5) << "registers asked for";
    }
}

TEST_F(TagOperations, EachStationHasItsWordOrderAndBlockLimits) {
    using modbus::WordOrder;
    // A station of its own for each order, so that each order's first read
    // of the pair is the read that registers it.
    const struct {
        uint8_t station;
        WordOrder order;
        uint16_t first;
        uint16_t second;
        std::string write;  // of 21.5 to 4x1
    } orders[] = {
        {11, WordOrder::kCDAB, 0x0000, 0x41AC, Frame({11, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x00, 0x41, 0xAC})},
        {12, WordOrder::kABCD, 0x41AC, 0x0000, Frame({12, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x41, 0xAC, 0x00, 0x00})},
        {13, WordOrder::kBADC, 0xAC41, 0x0000, Frame({13, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0xAC, 0x41, 0x00, 0x00})},
        {14, WordOrder::kDCBA, 0x0000, 0xAC41, Frame({14, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x00, 0xAC, 0x41})},
    };
    const TagAddress pair = Tag("4x1", 128);
    const TagAddress first = Tag("4x1", 8);
    const TagAddress third = Tag("4x3", 8);
    for (const auto& c : orders) {
        SCOPED_TRACE(c.station);
        slave.Settings(c.station).wordOrder = c.order;
        slave.Item(c.station, kAreaHoldingRegisters, 0) = c.first;
        slave.Item(c.station, kAreaHoldingRegisters, 1) = c.second;
        TagValue value = Untouched();
        EXPECT_EQ(Read(c.station, pair, value), modbus::Outcome::kDone);
        EXPECT_EQ(value.floatValue, 21.5f);
        ReadWord(c.station, first);
        ReadWord(c.station, third);
        ReadWord(c.station, first);  // the block read of registers 0..2 fills the 32-bit view too
        EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(Read(c.station, pair, value), modbus::Outcome::kDone); }), 0u);
        EXPECT_EQ(value.floatValue, 21.5f);
        value.floatValue = 21.5f;
        slave.Item(c.station, kAreaHoldingRegisters, 0) = 0;
        slave.Item(c.station, kAreaHoldingRegisters, 1) = 0;
        EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(Write(c.station, pair, value), modbus::Outcome::kDone); }), 1u);
        EXPECT_EQ(slave.Requests()[0].substr(0, 11), c.write.substr(0, 11));
    }

    slave.Settings(2).registerLimits = {1, 1};
    const TagAddress spread[] = {Tag("4x1", 8), Tag("4x2", 8), Tag("4x3", 8)};
    for (int32_t station : {1, 2}) {
        for (const TagAddress& tag : spread) ReadWord(station, tag);
    }
    EXPECT_EQ(RequestsDuring([&] {
                  for (const TagAddress& tag : spread) ReadWord(2, tag);
              }),
              2u);
}

TEST_F(TagOperations, WritesSendTheExpectedBytesAndReadBackUnchanged) {
    TagValue value{};
    value.bitValue = 1;
    value.intValue = 70000;
    value.wordValue = 0xBEEF;
    value.bcdValue = 1234;
    value.dwordValue = 0x12345678;
    value.floatValue = 1.0f;
    TagValue off = value;
    off.bitValue = 2;
    const struct {
        const char* text;
        int16_t dataType;
        TagValue written;
        std::string request;
        size_t readRequests;  // 32-bit tags read the device again
    } cases[] = {
        {"0x1", 1, value, Frame({0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A}), 0},
        {"0x1", 1, off, Frame({0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0xCD, 0xCA}), 0},
        {"4x100", 4, value, Frame({0x01, 0x06, 0x00, 0x63, 0x11, 0x70, 0x74, 0x60}), 0},
        {"4x100", 8, value, Frame({0x01, 0x06, 0x00, 0x63, 0xBE, 0xEF, 0x49, 0xF8}), 0},
        {"4x100", 16, value, Frame({0x01, 0x06, 0x00, 0x63, 0x12, 0x34, 0x74, 0xA3}), 0},
        {"4x100", 32, value,
         Frame({0x01, 0x10, 0x00, 0x63, 0x00, 0x02, 0x04, 0x56, 0x78, 0x12, 0x34, 0x29, 0x74}), 1},
        {"4x100", 128, value,
         Frame({0x01, 0x10, 0x00, 0x63, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0x80, 0xA5, 0xC2}), 1},
    };
    for (const auto& c : cases) {
        const TagAddress tag = Tag(c.text, c.dataType);
        EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(Write(1, tag, c.written), modbus::Outcome::kDone); }), 1u);
        EXPECT_EQ(slave.Requests()[0], c.request) << c.text << " type " << c.dataType;
        TagValue readBack = Untouched();
        EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(Read(1, tag, readBack), modbus::Outcome::kDone); }), c.readRequests);
        switch (c.dataType) {
        case 1: EXPECT_EQ(readBack.bitValue, c.written.bitValue == 1 ? 1u : 0u); break;
        case 4: EXPECT_EQ(readBack.intValue, 0x1170); break;
        case 8: EXPECT_EQ(readBack.wordValue, 0xBEEF); break;
        case 16: EXPECT_EQ(readBack.bcdValue, 1234); break;
        case 32: EXPECT_EQ(readBack.dwordValue, 0x12345678u); break;
        default: EXPECT_EQ(readBack.floatValue, 1.0f); break;
        }
    }
}

// The device may hold the value or not: the next read asks it. A station
// never read gets no cache from a write.
TEST_F(TagOperations, AnUnconfirmedWriteLeavesNothingOfItsItemFresh) {
    using modbus::Outcome;
    const struct {
        Reply failure;
        Outcome outcome;
    } cases[] = {
        {Reply::kSilence, Outcome::kWriteFailed},
        {Reply::kException, Outcome::kWriteFailed},
        {Reply::kBadCrc, Outcome::kWriteFailed},
        {Reply::kAcknowledge, Outcome::kWriteAcknowledged},
    };
    TagValue written{};
    written.wordValue = 99;
    uint16_t block = 0;  // each case a block of its own
    for (const auto& c : cases) {
        const TagAddress first = Tag(("4x" + std::to_string(block + 1)).c_str(), 8);
        const TagAddress second = Tag(("4x" + std::to_string(block + 2)).c_str(), 8);
        slave.Item(1, kAreaHoldingRegisters, block + 1) = 11;
        for (const TagAddress& tag : {first, second, first}) ReadWord(1, tag);  // the block read leaves second fresh
        slave.SetReply(c.failure);
        EXPECT_EQ(Write(1, second, written), c.outcome);
        EXPECT_EQ(Write(3, Tag("0x1", 1), written), c.outcome);
        slave.SetReply(Reply::kNormal);
        slave.Item(1, kAreaHoldingRegisters, block + 1) = 12;
        EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(ReadWord(1, second), 12u); }), 1u);
        block += 10;
    }
    EXPECT_EQ(coils.Find(3), nullptr);
}

TEST_F(TagOperations, AWriteWithdrawsEveryCachedValueItContradicts) {
    const TagAddress first = Tag("4x1", 8);
    const TagAddress second = Tag("4x2", 8);
    const TagAddress third = Tag("4x3", 8);
    const TagAddress pair = Tag("4x1", 32);
    TagValue value = Untouched();
    for (const TagAddress& tag : {first, third, pair, first}) Read(1, tag, value);
    // The block read of registers 0..2 left the pair over registers 0 and 1 fresh.
    TagValue written{};
    written.wordValue = 0x0007;
    ASSERT_EQ(Write(1, second, written), modbus::Outcome::kDone);
    EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(Read(1, pair, value), modbus::Outcome::kDone); }), 1u);
    EXPECT_EQ(value.dwordValue, 0x00070000u);

    Read(1, first, value);  // registers 0..2 fresh in both views again
    written.dwordValue = 0xAAAABBBB;
    ASSERT_EQ(Write(1, pair, written), modbus::Outcome::kDone);
    EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(ReadWord(1, second), 0xAAAAu); }), 1u);
    EXPECT_EQ(RequestsDuring([&] { EXPECT_EQ(ReadWord(1, third), 0u); }), 0u);
}

TEST_F(TagOperations, RecordsParsingCannotProduceAreRefusedWithoutTraffic) {
    TagAddress unknownArea = Tag("4x1", 8);
    unknownArea.area = 7;
    TagAddress bitAsRegister = Tag("0x1", 1);
    bitAsRegister.dataType = 4;
    TagAddress zeroAddress = Tag("4x1", 8);
    zeroAddress.address = 0;
    const TagAddress readOnly[] = {Tag("1x1", 1), Tag("3x1", 8), Tag("3x1", 32)};
    TagValue value = Untouched();
    const int32_t station = 1;
    EXPECT_EQ(RequestsDuring([&] {
                  for (const TagAddress& tag : {unknownArea, bitAsRegister, zeroAddress}) {
                      EXPECT_EQ(Read(1, tag, value), modbus::Outcome::kReadFailed);
                      EXPECT_EQ(Write(1, tag, value), modbus::Outcome::kBadAddress);
                  }
                  for (const TagAddress& tag : readOnly) EXPECT_EQ(Write(1, tag, value), modbus::Outcome::kBadAddress);
                  EXPECT_EQ(modbus::ReadTag(Maps(), slave, nullptr, &readOnly[0], &value), modbus::Outcome::kReadFailed);
                  EXPECT_EQ(modbus::ReadTag(Maps(), slave, &station, nullptr, &value), modbus::Outcome::kReadFailed);
                  EXPECT_EQ(modbus::ReadTag(Maps(), slave, &station, &readOnly[0], nullptr), modbus::Outcome::kReadFailed);
                  EXPECT_EQ(modbus::WriteTag(Maps(), slave, nullptr, &readOnly[0], &value), modbus::Outcome::kBadAddress);
                  EXPECT_EQ(modbus::WriteTag(Maps(), slave, &station, nullptr, &value), modbus::Outcome::kBadAddress);
                  EXPECT_EQ(modbus::WriteTag(Maps(), slave, &station, &readOnly[0], nullptr), modbus::Outcome::kBadAddress);
              }),
              0u);
    EXPECT_EQ(value.wordValue, Untouched().wordValue);
}

TEST_F(TagOperations, EveryExchangeIsTracedBeforeAndAfter) {
    TagValue value{};
    Read(1, Tag("4x1", 8), value);
    Write(1, Tag("4x1", 8), value);
    EXPECT_EQ(slave.TraceLabels(),
              (std::vector<std::string>{"Read Send", "Read Receive", "Write Send", "Write Receive"}));
}

}  // namespace
