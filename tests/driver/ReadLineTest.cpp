// Reads through Korvel.dll over a simulated line: what each read puts on the
// line, and which values reach the host.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/TagValues.h"
#include "support/HostDriver.h"
#include "support/LineFixture.h"

namespace {

std::vector<TagAddress> Tags(HostDriver& rig, const std::vector<const char*>& texts, int16_t dataType) {
    std::vector<TagAddress> tags;
    for (const char* text : texts) tags.push_back(rig.Tag(text, dataType));
    return tags;
}

// One poll cycle: every tag read once, in order; the word values delivered.
std::vector<uint16_t> PollWords(HostDriver& rig, int32_t station, const std::vector<TagAddress>& tags) {
    std::vector<uint16_t> values;
    for (const TagAddress& tag : tags) {
        TagValue value = Untouched();
        EXPECT_EQ(rig.Read(station, tag, value), kSucceeded);
        values.push_back(value.wordValue);
    }
    return values;
}

TEST(ReadOverALine, FirstReadOfEachAreaAndTypeDeliversTheDeviceValueWithARequestForItsItem) {
    LineFixture line;
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    line.SetCoil(1, 4, true);
    line.SetDiscreteInput(1, 6, true);
    line.SetHoldingRegister(1, 99, 0x1234);
    line.SetInputRegister(1, 9, 0xFFFF);
    line.SetHoldingRegister(1, 2, 0x0099);
    line.SetHoldingRegister(1, 3, 0x12A4);
    line.SetHoldingRegister(1, 199, 0x5678);
    line.SetHoldingRegister(1, 200, 0x1234);
    line.SetInputRegister(1, 19, 0x0000);
    line.SetInputRegister(1, 20, 0x3F80);
    const struct {
        const char* text;
        int16_t dataType;
        Bytes request;
        TagValue delivered;
    } cases[] = {
        {"0x5", 1, {0x01, 0x01, 0x00, 0x04, 0x00, 0x01, 0xBC, 0x0B}, Bits(1)},
        {"1x7", 1, {0x01, 0x02, 0x00, 0x06, 0x00, 0x01, 0x59, 0xCB}, Bits(1)},
        {"4x100", 8, {0x01, 0x03, 0x00, 0x63, 0x00, 0x01, 0x74, 0x14}, Words(4660, 0x1234, 1234)},
        {"3x10", 4, {0x01, 0x04, 0x00, 0x09, 0x00, 0x01, 0xE1, 0xC8}, Words(-1, 0xFFFF, 0)},
        {"4x3", 16, {0x01, 0x03, 0x00, 0x02, 0x00, 0x01, 0x25, 0xCA}, Words(0x99, 0x99, 99)},
        {"4x4", 16, {0x01, 0x03, 0x00, 0x03, 0x00, 0x01, 0x74, 0x0A}, Words(0x12A4, 0x12A4, 0)},
        {"4x200", 32, {0x01, 0x03, 0x00, 0xC7, 0x00, 0x02, 0x75, 0xF6}, DWords(0x12345678)},
        // The low word in the tag's own register: 1.0f.
        {"3x20", 128, {0x01, 0x04, 0x00, 0x13, 0x00, 0x02, 0x80, 0x0E}, DWords(0x3F800000)},
    };
    for (const auto& c : cases) {
        const TagAddress tag = rig.Tag(c.text, c.dataType);
        TagValue value = Untouched();
        const Frames requests = line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, tag, value), kSucceeded) << c.text; });
        EXPECT_EQ(requests, Frames{c.request}) << c.text << " type " << c.dataType;
        EXPECT_TRUE(SameRecord(c.delivered, value)) << c.text << " type " << c.dataType;
    }
}

TEST(ReadOverALine, LaterCyclesSendOneRequestPerBlockAndDeliverThatRequestsValues) {
    const struct {
        const char* name;
        std::vector<const char*> texts;
        std::vector<uint16_t> wireAddresses;
        Frames blockRequests;
    } polls[] = {
        {"three neighbours", {"4x1", "4x2", "4x3"}, {0, 1, 2},
         {{0x01, 0x03, 0x00, 0x00, 0x00, 0x03, 0x05, 0xCB}}},
        {"a gap of 10 above the limit of 8", {"4x101", "4x111"}, {100, 110},
         {{0x01, 0x03, 0x00, 0x64, 0x00, 0x01, 0xC5, 0xD5}, {0x01, 0x03, 0x00, 0x6E, 0x00, 0x01, 0xE5, 0xD7}}},
    };
    for (const auto& poll : polls) {
        LineFixture line;
        HostDriver rig;
        ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
        const std::vector<TagAddress> tags = Tags(rig, poll.texts, 8);
        for (uint16_t cycle = 1; cycle <= 3; ++cycle) {
            std::vector<uint16_t> expected;
            for (uint16_t i = 0; i < poll.wireAddresses.size(); ++i) {
                expected.push_back(static_cast<uint16_t>(100 * cycle + i));
                line.SetHoldingRegister(1, poll.wireAddresses[i], expected.back());
            }
            std::vector<uint16_t> values;
            const Frames requests = line.RequestsDuring([&] { values = PollWords(rig, 1, tags); });
            EXPECT_EQ(values, expected) << poll.name << ", cycle " << cycle;
            // The tags were parsed before the first read: the first cycle plans blocks too.
            EXPECT_EQ(requests, poll.blockRequests) << poll.name << ", cycle " << cycle;
        }
    }
}

TEST(ReadOverALine, PaddingBitsOfACoilReplyLeaveTheNextBlockAsItWas) {
    LineFixture line;
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    // Coils 0, 16, ..., 128 make one block of the longest span; coil 130
    // starts the next one, yet lies in the padding of the first block's reply.
    std::vector<TagAddress> spanning;
    for (int coil = 0; coil <= 128; coil += 16) {
        spanning.push_back(rig.Tag(("0x" + std::to_string(coil + 1)).c_str(), 1));
    }
    const TagAddress beyond = rig.Tag("0x131", 1);
    line.SetCoil(1, 130, true);
    TagValue value = Untouched();
    for (const TagAddress& tag : spanning) EXPECT_EQ(rig.Read(1, tag, value), kSucceeded);
    EXPECT_EQ(rig.Read(1, beyond, value), kSucceeded);
    EXPECT_EQ(value.bitValue, 1u);

    EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, spanning[0], value), kSucceeded); }),
              (Frames{{0x01, 0x01, 0x00, 0x00, 0x00, 0x81, 0xFC, 0x6A}}));
    value = Untouched();
    EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, beyond, value), kSucceeded); }),
              (Frames{{0x01, 0x01, 0x00, 0x82, 0x00, 0x01, 0x5D, 0xE2}}));
    EXPECT_TRUE(SameRecord(Bits(1), value));
}

TEST(ReadOverALine, CountSuffixAsksForItsOwnRangeOnEveryRead) {
    LineFixture line;
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    line.SetHoldingRegister(1, 9, 0x0102);
    line.SetHoldingRegister(1, 10, 0x0304);
    line.SetCoil(1, 2, true);
    const struct {
        const char* text;
        int16_t dataType;
        Bytes request;
        TagValue delivered;
    } cases[] = {
        {"4x10,5", 8, {0x01, 0x03, 0x00, 0x09, 0x00, 0x05, 0x55, 0xCB}, Words(0x0102, 0x0102, 102)},
        {"4x10,5", 32, {0x01, 0x03, 0x00, 0x09, 0x00, 0x06, 0x15, 0xCA}, DWords(0x03040102)},
        {"0x3,20", 1, {0x01, 0x01, 0x00, 0x02, 0x00, 0x14, 0x9D, 0xC5}, Bits(1)},
    };
    for (const auto& c : cases) {
        const TagAddress tag = rig.Tag(c.text, c.dataType);
        for (const char* read : {"first read", "second read"}) {
            TagValue value = Untouched();
            EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, tag, value), kSucceeded); }), Frames{c.request})
                << c.text << " type " << c.dataType << ", " << read;
            EXPECT_TRUE(SameRecord(c.delivered, value)) << c.text << " type " << c.dataType << ", " << read;
        }
    }
}

TEST(ReadOverALine, StationsKeepSeparateCaches) {
    LineFixture line(9600, {1, 2});
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    for (int station : {1, 2}) {
        line.SetHoldingRegister(station, 0, static_cast<uint16_t>(100 * station));
        line.SetHoldingRegister(station, 1, static_cast<uint16_t>(100 * station + 1));
    }
    const std::vector<TagAddress> tags = Tags(rig, {"4x1", "4x2"}, 8);
    PollWords(rig, 1, tags);
    PollWords(rig, 2, tags);

    std::vector<uint16_t> station1;
    std::vector<uint16_t> station2;
    const Frames requests = line.RequestsDuring([&] {
        station1 = PollWords(rig, 1, tags);
        station2 = PollWords(rig, 2, tags);
    });
    EXPECT_EQ(station1, (std::vector<uint16_t>{100, 101}));
    EXPECT_EQ(station2, (std::vector<uint16_t>{200, 201}));
    EXPECT_EQ(requests, (Frames{{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B},
                                {0x02, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x38}}));
}

TEST(ReadOverALine, AFailedReadGivesCode5AndTheNextReadTriesAgain) {
    LineFixture line;
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    const struct {
        const char* name;
        std::function<void(LineFixture&)> arm;
        std::function<void(LineFixture&)> heal;
    } faults[] = {
        {"exception reply",
         [](LineFixture& line) {
             line.DropNextReply();
             line.SuffixNextReply({0x01, 0x83, 0x02, 0xC0, 0xF1});
         },
         [](LineFixture&) {}},
        // A broken reply is asked for once more: the repeat is broken too.
        {"corrupted CRC",
         [](LineFixture& line) {
             line.CorruptNextReply(5);
             line.RepeatNextFault(2);
         },
         [](LineFixture&) {}},
        {"dropped reply", [](LineFixture& line) { line.DropNextReply(); }, [](LineFixture&) {}},
        {"stopped slave", [](LineFixture& line) { line.StopSlave(); }, [](LineFixture& line) { line.StartSlave(); }},
        // The reply comes after the time-out and waits in the input queue
        // when the next read starts.
        {"late reply", [](LineFixture& line) { line.DelayNextReply(450); }, [](LineFixture&) { Sleep(300); }},
    };
    const TagAddress tag = rig.Tag("4x5", 8);
    uint16_t device = 40;
    for (const auto& fault : faults) {
        line.SetHoldingRegister(1, 4, 0xDEAD);
        fault.arm(line);
        TagValue value = Untouched();
        EXPECT_EQ(rig.Read(1, tag, value), kReadFailed) << fault.name;
        EXPECT_TRUE(SameRecord(Untouched(), value)) << fault.name;

        fault.heal(line);
        line.SetHoldingRegister(1, 4, ++device);
        EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, tag, value), kSucceeded) << fault.name; }).size(), 1u)
            << fault.name;
        EXPECT_EQ(value.wordValue, device) << fault.name;
    }
}

}  // namespace
