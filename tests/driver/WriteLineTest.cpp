// Writes through Korvel.dll over a simulated line: the bytes of each write,
// what the device and the caches hold afterwards, and records no write or
// read may act on.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/TagValues.h"
#include "support/HostDriver.h"
#include "support/LineFixture.h"

namespace {

// The items a write reaches on the slave, from the tag's own address on.
std::vector<uint16_t> DeviceItems(LineFixture& line, const TagAddress& tag, uint16_t count) {
    std::vector<uint16_t> items;
    const uint16_t first = static_cast<uint16_t>(tag.address - 1);
    for (uint16_t i = 0; i < count; ++i) {
        const uint16_t address = static_cast<uint16_t>(first + i);
        items.push_back(tag.area == kAreaCoils ? line.Coil(1, address) : line.HoldingRegister(1, address));
    }
    return items;
}

// Opens the driver again with write_function set for every station, or with
// none set for a null choice; the setting goes when the test ends.
class WriteFunctionChoice {
public:
    explicit WriteFunctionChoice(HostDriver& rig) : m_rig(rig) {}
    ~WriteFunctionChoice() { SetEnvironmentVariableA("KORVEL_SET", nullptr); }
    Outcome Reopen(const char* choice) {
        const std::string assignment = choice != nullptr ? std::string("write_function=") + choice : "";
        SetEnvironmentVariableA("KORVEL_SET", choice != nullptr ? assignment.c_str() : nullptr);
        return m_rig.Reopen();
    }

private:
    HostDriver& m_rig;
};

TagValue Written(uint32_t bitValue, int32_t intValue, uint16_t wordValue, int32_t bcdValue, uint32_t dwordValue,
                 float floatValue) {
    TagValue value = {};
    value.bitValue = bitValue;
    value.intValue = intValue;
    value.wordValue = wordValue;
    value.bcdValue = bcdValue;
    value.dwordValue = dwordValue;
    value.floatValue = floatValue;
    return value;
}

TEST(WriteOverALine, EachTypePutsItsBytesOnTheLineAndReadsBackWhatWasSent) {
    LineFixture line;
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    const TagValue on = Written(1, 70000, 0xBEEF, 1234, 0x12345678, 1.0f);
    const TagValue two = Written(2, 0, 0, 0, 0, 0.0f);
    const struct {
        const char* text;
        int16_t dataType;
        TagValue written;
        Bytes request;
        std::vector<uint16_t> device;
        TagValue readBack;
        size_t readRequests;  // 32-bit tags ask the device again
        const char* writeFunction = nullptr;
    } cases[] = {
        {"0x1", 1, on, {0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A}, {1}, Bits(1), 0},
        // Anything but 1 switches the coil off, and off is what is cached.
        {"0x1", 1, two, {0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0xCD, 0xCA}, {0}, Bits(0), 0},
        {"4x100", 4, on, {0x01, 0x06, 0x00, 0x63, 0x11, 0x70, 0x74, 0x60}, {0x1170}, Words(0x1170, 0x1170, 1170), 0},
        {"4x100", 8, on, {0x01, 0x06, 0x00, 0x63, 0xBE, 0xEF, 0x49, 0xF8}, {0xBEEF}, Words(-16657, 0xBEEF, 0), 0},
        {"4x100", 16, on, {0x01, 0x06, 0x00, 0x63, 0x12, 0x34, 0x74, 0xA3}, {0x1234}, Words(0x1234, 0x1234, 1234), 0},
        {"4x100", 32, on, {0x01, 0x10, 0x00, 0x63, 0x00, 0x02, 0x04, 0x56, 0x78, 0x12, 0x34, 0x29, 0x74},
         {0x5678, 0x1234}, DWords(0x12345678), 1},
        {"4x100", 128, on, {0x01, 0x10, 0x00, 0x63, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0x80, 0xA5, 0xC2},
         {0x0000, 0x3F80}, DWords(0x3F800000), 1},
        {"0x1", 1, on, {0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A}, {1}, Bits(1), 0, "single"},
        {"4x100", 8, on, {0x01, 0x06, 0x00, 0x63, 0xBE, 0xEF, 0x49, 0xF8}, {0xBEEF}, Words(-16657, 0xBEEF, 0), 0,
         "single"},
        {"4x100", 32, on, {0x01, 0x10, 0x00, 0x63, 0x00, 0x02, 0x04, 0x56, 0x78, 0x12, 0x34, 0x29, 0x74},
         {0x5678, 0x1234}, DWords(0x12345678), 1, "single"},
        // Function 15 for one coil, 16 for every register.
        {"0x1", 1, on, {0x01, 0x0F, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0xEF, 0x57}, {1}, Bits(1), 0, "multiple"},
        {"0x1", 1, two, {0x01, 0x0F, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x2E, 0x97}, {0}, Bits(0), 0, "multiple"},
        {"4x100", 4, on, {0x01, 0x10, 0x00, 0x63, 0x00, 0x01, 0x02, 0x11, 0x70, 0xA2, 0x77}, {0x1170},
         Words(0x1170, 0x1170, 1170), 0, "multiple"},
        {"4x100", 16, on, {0x01, 0x10, 0x00, 0x63, 0x00, 0x01, 0x02, 0x12, 0x34, 0xA2, 0xB4}, {0x1234},
         Words(0x1234, 0x1234, 1234), 0, "multiple"},
        {"4x100", 128, on, {0x01, 0x10, 0x00, 0x63, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0x80, 0xA5, 0xC2},
         {0x0000, 0x3F80}, DWords(0x3F800000), 1, "multiple"},
    };
    WriteFunctionChoice choice(rig);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.writeFunction != nullptr ? c.writeFunction : "no write_function");
        ASSERT_EQ(choice.Reopen(c.writeFunction), kSucceeded);
        const TagAddress tag = rig.Tag(c.text, c.dataType);
        EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Write(1, tag, c.written), kSucceeded) << c.text; }),
                  Frames{c.request})
            << c.text << " type " << c.dataType;
        EXPECT_EQ(DeviceItems(line, tag, static_cast<uint16_t>(c.device.size())), c.device)
            << c.text << " type " << c.dataType;

        TagValue value = Untouched();
        EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, tag, value), kSucceeded); }).size(), c.readRequests)
            << c.text << " type " << c.dataType;
        EXPECT_TRUE(SameRecord(c.readBack, value)) << c.text << " type " << c.dataType;
    }
}

TEST(WriteOverALine, AnUnconfirmedWriteGivesCode6AndLeavesNothingOfItsItemFresh) {
    LineFixture line;
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    line.SetHoldingRegister(1, 0, 10);
    line.SetHoldingRegister(1, 1, 11);
    const TagAddress first = rig.Tag("4x1", 8);
    const TagAddress second = rig.Tag("4x2", 8);
    const TagAddress coil = rig.Tag("0x1", 1);  // never read: no cache holds it
    TagValue value = Untouched();
    for (const TagAddress* tag : {&first, &second, &first}) EXPECT_EQ(rig.Read(1, *tag, value), kSucceeded);
    // The block read left 4x2 fresh with 11.

    TagValue written = {};
    written.bitValue = 1;
    written.wordValue = 99;
    const struct {
        const TagAddress* tag;
        Bytes exception;
        const char* writeFunction;
    } targets[] = {
        {&second, {0x01, 0x86, 0x02, 0xC3, 0xA1}, nullptr},
        {&coil, {0x01, 0x85, 0x02, 0xC3, 0x51}, nullptr},
        {&second, {0x01, 0x90, 0x02, 0xCD, 0xC1}, "multiple"},
        {&coil, {0x01, 0x8F, 0x02, 0xC5, 0xF1}, "multiple"},
    };
    const struct {
        const char* name;
        std::function<void(LineFixture&, const Bytes& exception)> arm;
        std::function<void(LineFixture&)> heal;
    } faults[] = {
        // Silences and replies alternate, so that the station is never
        // demoted; a broken reply is asked for once more, and the repeat is
        // broken too.
        {"stopped slave", [](LineFixture& line, const Bytes&) { line.StopSlave(); },
         [](LineFixture& line) { line.StartSlave(); }},
        {"exception reply",
         [](LineFixture& line, const Bytes& exception) {
             line.DropNextReply();
             line.SuffixNextReply(exception);
         },
         [](LineFixture&) {}},
        {"dropped reply", [](LineFixture& line, const Bytes&) { line.DropNextReply(); }, [](LineFixture&) {}},
        {"corrupted CRC",
         [](LineFixture& line, const Bytes&) {
             line.CorruptNextReply(7);
             line.RepeatNextFault(2);
         },
         [](LineFixture&) {}},
    };
    WriteFunctionChoice choice(rig);
    for (const auto& target : targets) {
        ASSERT_EQ(choice.Reopen(target.writeFunction), kSucceeded);
        for (const auto& fault : faults) {
            fault.arm(line, target.exception);
            EXPECT_EQ(rig.Write(1, *target.tag, written), kWriteFailed) << fault.name;
            fault.heal(line);
        }
    }

    // The device carried out the writes whose replies were lost.
    line.SetCoil(1, 0, false);
    value = Untouched();
    EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, second, value), kSucceeded); }).size(), 1u);
    EXPECT_TRUE(SameRecord(Words(99, 99, 63), value));
    value = Untouched();
    EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, coil, value), kSucceeded); }),
              (Frames{{0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0xFD, 0xCA}}));
    EXPECT_TRUE(SameRecord(Bits(0), value));
}

TEST(WriteOverALine, AWriteLeavesNoStaleValueInTheOtherViewOfItsRegisters) {
    LineFixture line;
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    line.SetHoldingRegister(1, 0, 0x0001);
    line.SetHoldingRegister(1, 1, 0x0002);
    const TagAddress low = rig.Tag("4x1", 8);
    const TagAddress high = rig.Tag("4x2", 8);
    const TagAddress pair = rig.Tag("4x1", 32);
    TagValue value = Untouched();
    for (const TagAddress* tag : {&low, &high, &pair, &low}) EXPECT_EQ(rig.Read(1, *tag, value), kSucceeded);
    // The block read of registers 0 and 1 left the pair fresh.

    TagValue written = {};
    written.wordValue = 7;
    ASSERT_EQ(rig.Write(1, high, written), kSucceeded);
    value = Untouched();
    EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, pair, value), kSucceeded); }).size(), 1u);
    EXPECT_TRUE(SameRecord(DWords(0x00070001), value));

    // The pair's block read left both words fresh.
    written.dwordValue = 0xAAAABBBB;
    ASSERT_EQ(rig.Write(1, pair, written), kSucceeded);
    value = Untouched();
    EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(1, high, value), kSucceeded); }).size(), 1u);
    EXPECT_EQ(value.wordValue, 0xAAAA);
}

TEST(WriteOverALine, RecordsNoParserMakesAndReadOnlyAreasSendNothing) {
    LineFixture line;
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    TagAddress unknownArea = rig.Tag("4x1", 8);
    unknownArea.area = 7;
    TagAddress unknownType = rig.Tag("4x1", 8);
    unknownType.dataType = 2;
    const TagAddress readOnly[] = {rig.Tag("1x1", 1), rig.Tag("3x1", 8), rig.Tag("3x1", 32)};
    const int32_t station = 1;
    TagValue value = Untouched();
    const Frames requests = line.RequestsDuring([&] {
        for (const TagAddress* tag : {&unknownArea, &unknownType}) {
            EXPECT_EQ(rig.Read(1, *tag, value), kReadFailed);
            EXPECT_EQ(rig.Write(1, *tag, value), kRegisterRefused);
        }
        for (const TagAddress& tag : readOnly) {
            EXPECT_EQ(rig.Write(1, tag, value), kRegisterRefused);
        }
        const std::function<int32_t()> nullReads[] = {
            [&] { return rig.Object()->Read(nullptr, &readOnly[0], &value); },
            [&] { return rig.Object()->Read(&station, nullptr, &value); },
            [&] { return rig.Object()->Read(&station, &readOnly[0], nullptr); },
        };
        for (const auto& read : nullReads) {
            EXPECT_EQ(rig.OutcomeOf(read()), kReadFailed);
        }
        const std::function<int32_t()> nullWrites[] = {
            [&] { return rig.Object()->Write(nullptr, &readOnly[0], &value); },
            [&] { return rig.Object()->Write(&station, nullptr, &value); },
            [&] { return rig.Object()->Write(&station, &readOnly[0], nullptr); },
        };
        for (const auto& write : nullWrites) {
            EXPECT_EQ(rig.OutcomeOf(write()), kRegisterRefused);
        }
    });
    EXPECT_TRUE(requests.empty());
    EXPECT_TRUE(SameRecord(Untouched(), value));
}

}  // namespace
