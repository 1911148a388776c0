// What a listened line's exchanges come to: their texts and records, the
// per-station figures and the capture's bytes.
#include <gtest/gtest.h>

#include <sstream>

#include "ListenedFrames.h"
#include "korvel-poll/monitor/ExchangeText.h"
#include "korvel-poll/monitor/ListenFigures.h"
#include "korvel-poll/monitor/PcapFile.h"

namespace {

using monitor::Exchange;
using monitor::Outcome;

Exchange Answered(Outcome outcome, const std::string& request, const std::string& reply, int64_t startUs = 0,
                  int64_t answerUs = 4000) {
    Exchange exchange;
    exchange.outcome = outcome;
    exchange.request = request;
    exchange.reply = reply;
    exchange.startUs = startUs;
    exchange.requestEndUs = startUs + 1000;
    exchange.replyStartUs = exchange.requestEndUs + answerUs;
    exchange.endUs = exchange.replyStartUs + 1000;
    return exchange;
}

TEST(ListenRecords, WhatWasAskedAndWhatCameBackRead) {
    const struct {
        Exchange exchange;
        const char* asked;
        const char* answered;
    } cases[] = {
        {Answered(Outcome::kReply, kRead, kReadReply), "4x1,2", "12 34"},
        {Answered(Outcome::kReply, WithCrc(Frame({0x11, 0x01, 0x00, 0x13, 0x00, 0x0A})),
                  WithCrc(Frame({0x11, 0x01, 0x02, 0xCD, 0x01}))),
         "0x20,10", "1 0 1 1 0 0 1 1 1 0"},
        {Answered(Outcome::kReply, WithCrc(Frame({0x01, 0x04, 0x00, 0x08, 0x00, 0x01})),
                  WithCrc(Frame({0x01, 0x04, 0x02, 0xFF, 0xFE}))),
         "3x9,1", "65534"},
        {Answered(Outcome::kReply, WithCrc(Frame({0x01, 0x05, 0x00, 0x04, 0xFF, 0x00})),
                  WithCrc(Frame({0x01, 0x05, 0x00, 0x04, 0xFF, 0x00}))),
         "0x5=on", "ok"},
        {Answered(Outcome::kReply, WithCrc(Frame({0x01, 0x06, 0x00, 0x13, 0x02, 0xD0})), ""), "4x20=720", "ok"},
        {Answered(Outcome::kReply, kWrite, kWriteDone), "4x10,2=1 2", "ok"},
        {Answered(Outcome::kException, kRead, kReadRefused), "4x1,2", "exception 02 (illegal data address)"},
        {Answered(Outcome::kNoReply, kRead, ""), "4x1,2", "no reply"},
        {Answered(Outcome::kCrcError, kRead, Frame({0x01, 0x03, 0x04})), "4x1,2", "CRC error: 01 03 04"},
        {Answered(Outcome::kReply, kDiagnostic, kDiagnostic), "00 00 12 34", "01 08 00 00 12 34 ED 7C"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(monitor::AskedText(c.exchange.request), c.asked);
        EXPECT_EQ(monitor::AnsweredText(c.exchange), c.answered) << c.asked;
    }
}

TEST(ListenRecords, OneLineAnExchangeInEachFormat) {
    Exchange read = Answered(Outcome::kReply, kRead, kReadReply, 0, 12300);
    read.gapUs = 40000;
    const std::string time = "2026-12-10T21:30:01.250Z";
    EXPECT_EQ(monitor::ExchangeTableLine(read, time),
              time + "  station   1  03  4x1,2  -> 12 34  in 12.3 ms  gap 40.0 ms");
    EXPECT_EQ(monitor::ExchangeCsvLine(read, time), time + ",1,3,reply,\"4x1,2\",12 34,12.3,40.0");
    EXPECT_EQ(monitor::ExchangeJsonLine(Answered(Outcome::kNoReply, kRead, ""), time),
              "{\"time\":\"" + time +
                  "\",\"station\":1,\"function\":3,\"outcome\":\"no-reply\",\"asked\":\"4x1,2\",\"answered\":"
                  "\"no reply\",\"answer_ms\":null,\"gap_ms\":null}");
    Exchange noise;
    noise.reply = Frame({0x00, 0xFF});
    EXPECT_EQ(monitor::ExchangeTableLine(noise, time), time + "  noise, 2 bytes: 00 FF");
    EXPECT_EQ(monitor::ExchangeCsvLine(noise, time), time + ",,,noise,,00 FF,,");
}

TEST(ListenRecords, FiguresPerStationAndForTheLine) {
    monitor::ListenFigures figures;
    const Exchange exchanges[] = {
        Answered(Outcome::kReply, kRead, kReadReply, 0, 10000),
        Answered(Outcome::kReply, kRead, kReadReply, 100000, 30000),
        Answered(Outcome::kException, kRead, kReadRefused, 200000, 20000),
        Answered(Outcome::kNoReply, kRead, "", 250000),
        Answered(Outcome::kCrcError, kReadOfTwo, Broken(kReplyOfTwo), 300000),
        Answered(Outcome::kUnsolicited, "", kReplyOfTwo, 400000),
    };
    for (const Exchange& exchange : exchanges) figures.AddExchange(exchange);
    const std::vector<std::vector<std::string>> rows = figures.StationRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][9], "interval-ms");
    EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "4", "3", "1", "0", "02:1", "0", "20.0", "30.0", "100.0"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"2", "1", "0", "0", "1", "0", "1", "-", "-", "-"}));

    figures.AddCut({monitor::CutKind::kFrame, kRead, 0, 800});
    figures.AddCut({monitor::CutKind::kNoise, Frame({0, 0, 0}), 1800, 2100});
    figures.AddCut({monitor::CutKind::kFrame, kReadReply, 1002100, 1003000});
    EXPECT_EQ(figures.LineSummary(),
              "line: 20 bytes, 2 frames, 3 bytes of noise in 1 pieces, longest silence 1000.0 ms");
}

TEST(ListenRecords, TheCaptureHasPcapsHeaderAndATimedRecordAFrame) {
    std::ostringstream out;
    monitor::PcapFile capture(out);
    capture.Add(kReadRefused, 1700000000123456);
    const std::string expected = Frame({0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0,
                                        147, 0, 0, 0, 0x00, 0xF1, 0x53, 0x65, 0x40, 0xE2, 0x01, 0x00, 5, 0, 0, 0, 5,
                                        0, 0, 0}) +
                                 kReadRefused;
    EXPECT_EQ(out.str(), expected);
}

}  // namespace
