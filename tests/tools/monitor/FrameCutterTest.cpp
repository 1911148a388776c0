// Cutting a listened line's bytes: pieces as an adapter hands them over in,
// frames and noise out.
#include <gtest/gtest.h>

#include "ListenedFrames.h"
#include "korvel-poll/monitor/FrameCutter.h"

namespace {

using monitor::CutFrame;
using monitor::CutKind;

constexpr monitor::CutTiming kTiming{100, 350, 5000};

struct Piece {
    std::string bytes;
    int64_t pauseUs;  // silence before it
};

struct Cut {
    CutKind kind;
    std::string bytes;
};

struct CutCase {
    const char* name;
    std::vector<Piece> pieces;
    std::vector<Cut> expected;
    int64_t quietUs = 1000;  // after the last piece, before the cutter is asked what it holds
};

std::vector<CutFrame> CutAll(monitor::CFrameCutter& cutter, const std::vector<Piece>& pieces, int64_t quietUs) {
    std::vector<CutFrame> cut;
    int64_t lastUs = 0;
    for (const Piece& piece : pieces) {
        const int64_t firstUs = lastUs + piece.pauseUs;
        lastUs = firstUs + static_cast<int64_t>(piece.bytes.size()) * kTiming.characterUs;
        cutter.Add(piece.bytes, firstUs, lastUs, cut);
    }
    cutter.Quiet(lastUs + quietUs, cut);
    return cut;
}

TEST(FrameCutter, PiecesComeApartAndTogetherAsTheirFramesAre) {
    const std::string noise = Frame({0x00, 0xFF, 0x00});
    const CutCase cases[] = {
        {"a frame a piece", {{kRead, 0}, {kReadReply, 2000}},
         {{CutKind::kFrame, kRead}, {CutKind::kFrame, kReadReply}}},
        {"request and reply in one piece", {{kRead + kReadReply, 0}},
         {{CutKind::kFrame, kRead}, {CutKind::kFrame, kReadReply}}},
        {"a write and its answer in one piece", {{kWrite + kWriteDone, 0}},
         {{CutKind::kFrame, kWrite}, {CutKind::kFrame, kWriteDone}}},
        {"a reply split with a pause", {{kRead, 0}, {kReadReply.substr(0, 4), 2000}, {kReadReply.substr(4), 3000}},
         {{CutKind::kFrame, kRead}, {CutKind::kFrame, kReadReply}}},
        {"a reply's rest read late, as if after a long silence",
         {{kRead, 0}, {kReadReply.substr(0, 4), 2000}, {kReadReply.substr(4), 6000}},
         {{CutKind::kFrame, kRead}, {CutKind::kFrame, kReadReply}}},
        {"a reply in three pieces",
         {{kReadReply.substr(0, 2), 0}, {kReadReply.substr(2, 3), 1000}, {kReadReply.substr(5), 1000}},
         {{CutKind::kFrame, kReadReply}}},
        {"an exception", {{kRead, 0}, {kReadRefused, 2000}},
         {{CutKind::kFrame, kRead}, {CutKind::kFrame, kReadRefused}}},
        {"noise between silences", {{kRead, 0}, {noise, 2000}, {kReadReply, 2000}},
         {{CutKind::kFrame, kRead}, {CutKind::kNoise, noise}, {CutKind::kFrame, kReadReply}}},
        {"noise in front of a request in one piece", {{noise + kRead, 0}},
         {{CutKind::kNoise, noise}, {CutKind::kFrame, kRead}}},
        {"a frame of another function between silences", {{kDiagnostic, 0}}, {{CutKind::kFrame, kDiagnostic}}},
        {"a broken reply between silences", {{kRead, 0}, {Broken(kReadReply), 2000}},
         {{CutKind::kFrame, kRead}, {CutKind::kBadCrc, Broken(kReadReply)}}},
        {"a broken reply behind its request in one piece", {{kRead + Broken(kReadReply), 0}},
         {{CutKind::kFrame, kRead}, {CutKind::kBadCrc, Broken(kReadReply)}}},
        {"the start of a reply whose rest never came", {{kReadReply.substr(0, 4), 0}},
         {{CutKind::kNoise, kReadReply.substr(0, 4)}}, 6000},
        {"a reply whose CRC ends in 00 behind its request", {{kReadOfTwo + kReplyEndingInZero, 0}},
         {{CutKind::kFrame, kReadOfTwo}, {CutKind::kFrame, kReplyEndingInZero}}},
        {"a reply whose CRC ends in 00 and the next request", {{kReplyEndingInZero + kRead, 0}},
         {{CutKind::kFrame, kReplyEndingInZero}, {CutKind::kFrame, kRead}}},
        {"a reply whose first bytes make a request, in two pieces",
         {{kReadOfEleven, 0}, {kElevenReply.substr(0, 10), 2000}, {kElevenReply.substr(10), 1000}},
         {{CutKind::kFrame, kReadOfEleven}, {CutKind::kFrame, kElevenReply}}},
        {"a reply and a broadcast behind it", {{kReplyOfOne + kBroadcast, 0}},
         {{CutKind::kFrame, kReplyOfOne}, {CutKind::kFrame, kBroadcast}}},
        {"two requests and their replies in two pieces", {{kRead + kReadReply + kReadOfTwo.substr(0, 3), 0},
                                                         {kReadOfTwo.substr(3) + kReplyOfTwo, 2000}},
         {{CutKind::kFrame, kRead}, {CutKind::kFrame, kReadReply}, {CutKind::kFrame, kReadOfTwo},
          {CutKind::kFrame, kReplyOfTwo}}},
    };
    for (const CutCase& c : cases) {
        monitor::CFrameCutter cutter(kTiming);
        const std::vector<CutFrame> cut = CutAll(cutter, c.pieces, c.quietUs);
        ASSERT_EQ(cut.size(), c.expected.size()) << c.name;
        for (size_t i = 0; i < cut.size(); ++i) {
            EXPECT_EQ(cut[i].kind, c.expected[i].kind) << c.name << " #" << i;
            EXPECT_EQ(cut[i].bytes, c.expected[i].bytes) << c.name << " #" << i;
        }
        std::vector<CutFrame> left;
        cutter.Finish(left);
        EXPECT_TRUE(left.empty()) << c.name;
    }
}

// The start of a frame is held while its rest may still come in the
// adapter's next piece, and its time is that of its first byte.
TEST(FrameCutter, AFrameWaitsForItsRestAndKeepsItsTimes) {
    monitor::CFrameCutter cutter(kTiming);
    std::vector<CutFrame> cut;
    cutter.Add(kReadReply.substr(0, 4), 9600, 10000, cut);
    cutter.Quiet(12000, cut);
    EXPECT_TRUE(cut.empty());
    EXPECT_EQ(cutter.WaitingSinceUs(), 9600);
    cutter.Add(kReadReply.substr(4), 13500, 14000, cut);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].bytes, kReadReply);
    EXPECT_EQ(cut[0].startUs, 9600);
    EXPECT_EQ(cut[0].endUs, 14000);
}

// A piece that waited in the port's queue while a line was polled at a
// steady pace is spread over the time it gathered in, so the requests in
// it keep their distance.
TEST(FrameCutter, APieceThatGatheredIsSpreadOverItsTime) {
    monitor::CFrameCutter cutter(kTiming);
    std::vector<CutFrame> cut;
    cutter.Add(kRead + kReadReply + kRead + kReadReply, 0, 34000, cut);
    ASSERT_EQ(cut.size(), 4u);
    EXPECT_EQ(cut[0].endUs, 8000);
    EXPECT_EQ(cut[2].startUs - cut[0].startUs, 17000);
    EXPECT_EQ(cut[3].endUs, 34000);
}

}  // namespace
