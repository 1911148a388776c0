// What reads and writes tell the line of the replies they wait for, and how
// the line tells from the bytes so far when such a reply is complete.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modbus/ReplyShape.h"
#include "support/FrameBytes.h"
#include "support/SimulatedSlave.h"
#include "tags/TagOperations.h"

using modbus::StationMaps;
using modbus::BitStationMap;
using modbus::WordStationMap;
using modbus::DWordStationMap;

namespace {

uint32_t Missing(const modbus::ReplyShape& shape, const std::string& received) {
    return modbus::ReplyBytesMissing(shape, reinterpret_cast<const uint8_t*>(received.data()), received.size());
}

// Remembers each reply shape the protocol hands over, with the reply the
// simulated device gave to that request.
class ShapeRecordingSlave : public SimulatedSlave {
public:
    struct Exchange {
        modbus::ReplyShape shape;
        std::string reply;
    };

    modbus::LineResult ExchangeReply(std::string& data, int32_t& length, const modbus::ReplyShape& reply,
                                     const char* sendLabel) override {
        const modbus::LineResult result = SimulatedSlave::ExchangeReply(data, length, reply, sendLabel);
        exchanges.push_back({reply, data.substr(0, static_cast<size_t>(length))});
        return result;
    }

    std::vector<Exchange> exchanges;
};

TagAddress Tag(const char* text, int16_t dataType) {
    TagAddress tag{};
    tag.dataType = dataType;
    EXPECT_EQ(modbus::ParseAddress(text, &tag), modbus::Outcome::kDone) << text;
    return tag;
}

TEST(ReplyShape, ReadsAndWritesDescribeTheRepliesTheyWaitFor) {
    const struct {
        const char* tag;
        int16_t dataType;
        bool write;
        uint8_t function;
        uint32_t length;
    } cases[] = {
        {"4x1", kTypeUInt16, false, 3, 7},    // a first read fetches its own register
        {"4x10,5", kTypeUInt16, false, 3, 15},
        {"3x7", kTypeFloat, false, 4, 9},     // two registers
        {"3x7,4", kTypeUInt32, false, 4, 15}, // four values, five registers
        {"0x17", kTypeBit, false, 1, 6},
        {"1x1,9", kTypeBit, false, 2, 7},     // nine bits in two bytes
        {"0x17", kTypeBit, true, 5, 8},
        {"4x1", kTypeBcd, true, 6, 8},
        {"4x1", kTypeFloat, true, 16, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + (c.write ? " written" : " read"));
        for (auto reply : {SimulatedSlave::Reply::kNormal, SimulatedSlave::Reply::kException}) {
            ShapeRecordingSlave line;
            line.SetReply(reply);
            BitStationMap coils, discreteInputs;
            WordStationMap inputWords, holdingWords;
            DWordStationMap inputDWords, holdingDWords;
            const StationMaps maps{coils, discreteInputs, inputWords, holdingWords, inputDWords, holdingDWords};
            const TagAddress tag = Tag(c.tag, c.dataType);
            const int32_t station = 17;
            TagValue value{};
            if (c.write) {
                modbus::WriteTag(maps, line, &station, &tag, &value);
            } else {
                modbus::ReadTag(maps, line, &station, &tag, &value);
            }
            ASSERT_EQ(line.exchanges.size(), 1u);
            const auto& [shape, received] = line.exchanges[0];
            EXPECT_EQ(shape.station, 17);
            EXPECT_EQ(shape.function, c.function);
            EXPECT_EQ(shape.length, c.length);
            EXPECT_EQ(shape.exceptionLength, 5u);
            // What the device sent is complete at its last byte, not before.
            EXPECT_EQ(Missing(shape, received), 0u);
            EXPECT_EQ(Missing(shape, received.substr(0, received.size() - 1)), 1u);
        }
    }
}

TEST(ReplyShape, BytesMissingAsTheReplyArrives) {
    const modbus::ReplyShape shape = modbus::ReadReplyShape(1, 3, 3);  // 11 bytes, exception 5
    const std::string reply = WithCrc(Frame({0x01, 0x03, 0x06, 0x00, 0x0A, 0x00, 0x0B, 0x00, 0x0C}));
    const std::string exception = WithCrc(Frame({0x01, 0x83, 0x02}));
    const std::string noise = Frame({0x00, 0xFF, 0x55});
    const struct {
        const char* situation;
        std::string received;
        uint32_t missing;
    } cases[] = {
        {"nothing yet: the shorter reply at least", "", 5},
        {"the station", Frame({0x01}), 4},
        {"station and function", reply.substr(0, 2), 9},
        {"all but the CRC", reply.substr(0, 9), 2},
        {"the whole reply", reply, 0},
        {"the whole reply and more", reply + noise, 0},
        {"noise alone", noise, 5},
        {"noise, then the station", noise + Frame({0x01}), 4},
        {"noise, then part of the reply", noise + reply.substr(0, 4), 7},
        {"noise, then the whole reply", noise + reply, 0},
        {"the station byte followed by another function", Frame({0x01, 0x04}) + reply.substr(0, 3), 8},
        // A whole frame that cannot be the reply is judged at once.
        {"part of another station's frame", WithCrc(Frame({0x02, 0x03, 0x02, 0x00, 0x07})).substr(0, 6), 5},
        {"another station's frame", WithCrc(Frame({0x02, 0x03, 0x02, 0x00, 0x07})), 0},
        {"another station's exception", WithCrc(Frame({0x02, 0x83, 0x02})), 0},
        {"a frame of another function", WithCrc(Frame({0x01, 0x04, 0x02, 0x00, 0x07})), 0},
        {"a byte count that does not fit the request", WithCrc(Frame({0x01, 0x03, 0x02, 0x00, 0x07})), 0},
        {"a wrong byte count whose CRC fails: the reply's length", Frame({0x01, 0x03, 0x02, 0x00, 0x07, 0x00, 0x00}), 4},
        {"part of an exception", exception.substr(0, 3), 2},
        {"an exception", exception, 0},
        {"a false exception, then the reply", Frame({0x01, 0x83, 0x02, 0x00, 0x00}) + reply.substr(0, 5), 6},
    };
    for (const auto& c : cases) EXPECT_EQ(Missing(shape, c.received), c.missing) << c.situation;
}

TEST(ReplyShape, AReadBeyondOneFrameWaitsForTheLargestFrame) {
    // 200 registers need 400 data bytes; no frame carries more than 255.
    EXPECT_EQ(modbus::ReadReplyShape(1, 3, 200).length, 260u);
    EXPECT_EQ(modbus::ReadReplyShape(1, 3, 125).length, 255u);
}

TEST(ReplyShape, ALateReplyIsNamedByItsFirstWholeFrame) {
    const std::string reply = WithCrc(Frame({0x11, 0x03, 0x02, 0x00, 0x0A}));
    const struct {
        std::string dropped;
        const char* event;
    } cases[] = {
        {reply, "Late: station 17 function 3, 7 bytes discarded"},
        {Frame({0x00, 0xFF}) + reply, "Late: station 17 function 3, 9 bytes discarded"},
        {Frame({0x11, 0x03, 0x02}), "Late: station 17 function 3, 3 bytes discarded"},
        {Frame({0x05}), "Late: station 5 function -, 1 bytes discarded"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(modbus::LateReplyEvent(reinterpret_cast<const uint8_t*>(c.dropped.data()), c.dropped.size()),
                  c.event);
    }
}

// The line hands the caller exactly the frame found here, or passes over a
// whole frame that cannot be the reply and searches on behind it.
TEST(ReplyShape, AWholeFrameIsTheDevicesOwnAnswerOrAnother) {
    const modbus::ReplyShape shape = modbus::ReadReplyShape(1, 3, 1);  // 7 bytes
    std::string corrupted = WithCrc(Frame({0x01, 0x03, 0x02, 0x00, 0x0A}));
    corrupted.back() ^= 0x5A;
    const struct {
        const char* situation;
        std::string received;
        bool awaited;
        size_t at;
        size_t length;
    } cases[] = {
        {"the reply", WithCrc(Frame({0x01, 0x03, 0x02, 0x00, 0x0A})), true, 0, 7},
        {"the reply with a bad CRC", corrupted, true, 0, 7},
        {"noise, then the reply", Frame({0x00}) + WithCrc(Frame({0x01, 0x03, 0x02, 0x00, 0x0A})), true, 1, 7},
        {"the exception", WithCrc(Frame({0x01, 0x83, 0x02})), true, 0, 5},
        {"another station's reply", WithCrc(Frame({0x02, 0x03, 0x02, 0x00, 0x0A})), false, 0, 7},
        {"a byte count that does not fit", WithCrc(Frame({0x01, 0x03, 0x00})), false, 0, 5},
        {"noise, then another station's exception", Frame({0x00, 0x00}) + WithCrc(Frame({0x02, 0x83, 0x02})), false,
         2, 5},
    };
    for (const auto& c : cases) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(c.received.data());
        const modbus::ReplyLocation found = modbus::LocateReply(shape, bytes, c.received.size());
        EXPECT_EQ(found.missing, 0u) << c.situation;
        EXPECT_EQ(found.awaited, c.awaited) << c.situation;
        EXPECT_EQ(found.at, c.at) << c.situation;
        EXPECT_EQ(found.length, c.length) << c.situation;
    }
}

}  // namespace
