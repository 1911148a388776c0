// Network lines end to end: Korvel.dll driven as a host drives it, on a line
// reached over TCP on 127.0.0.1. The peers are the line server's TCP face in
// both framings (a device server or a gateway in front of the simulated
// line, with its faults) and two independent TCP servers, pymodbus in both
// framings and libmodbus in Modbus TCP. A read that succeeds must deliver
// exactly what the device holds, whatever the connection did.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/FrameBytes.h"
#include "support/HostDriver.h"
#include "support/LineFixture.h"
#include "support/Stopwatch.h"

namespace {

// COM50: the line's number names it and its settings; no port is opened.
constexpr int kNetworkPortIndex = 49;
constexpr uint32_t kResponseTimeoutMs = 300;
constexpr uint32_t kConnectTimeoutMs = 3000;  // connect_timeout_ms unless set

struct Peer {
    const char* name;
    const char* open;  // the line server's command
    const char* transport;
};

const Peer kRtuFace{"device server", "open-tcp rtu 115200 1 2", "rtu-over-tcp"};
const Peer kMbapFace{"gateway", "open-tcp mbap 115200 1 2", "modbus-tcp"};
const Peer kPeers[] = {
    kRtuFace,
    kMbapFace,
    {"pymodbus, RTU framing", "open-peer pymodbus-rtu 1 2", "rtu-over-tcp"},
    {"pymodbus, Modbus TCP", "open-peer pymodbus-mbap 1 2", "modbus-tcp"},
    {"libmodbus, Modbus TCP", "open-peer libmodbus-mbap 1 2", "modbus-tcp"},
};

// A driver object on a network line to peer, its settings given through
// the environment as a tool gives them, its trace in a file of its own.
class NetworkHost {
public:
    NetworkHost(const Peer& peer, uint32_t responseTimeoutMs = kResponseTimeoutMs, const char* moreSettings = "")
        : line(peer.open), m_responseTimeoutMs(responseTimeoutMs) {
        char directory[MAX_PATH];
        char path[MAX_PATH];
        EXPECT_TRUE(GetTempPathA(MAX_PATH, directory) && GetTempFileNameA(directory, "kvn", 0, path));
        m_tracePath = path;
        SetEnvironmentVariableA("KORVEL_TRACE", path);
        const std::string settings =
            std::string("transport=") + peer.transport + ";endpoint=" + line.Endpoint() + ";" + moreSettings;
        SetEnvironmentVariableA("KORVEL_SET", settings.c_str());
    }
    ~NetworkHost() {
        driver.Close();
        SetEnvironmentVariableA("KORVEL_SET", nullptr);
        SetEnvironmentVariableA("KORVEL_TRACE", nullptr);
        DeleteFileA(m_tracePath.c_str());
    }

    Outcome Open() { return driver.Open(kNetworkPortIndex, kBaudIndex9600, m_responseTimeoutMs); }

    // Reads holding register 1 of station 1, checked against the table.
    Outcome ReadChecked() {
        const TagAddress tag = driver.Tag("4x1", kTypeUInt16);
        TagValue value = {};
        const Stopwatch clock;
        const Outcome outcome = driver.Read(1, tag, value);
        longestReadMs = std::max(longestReadMs, clock.ElapsedMs());
        if (outcome.result == 1) {
            EXPECT_EQ(DeliveredValue(tag, value), line.HoldingRegister(1, 0));
        }
        return outcome;
    }

    // Reads until one succeeds, each checked, 250 ms apart; how long it took.
    double MsUntilReadSucceeds(int tries) {
        const Stopwatch clock;
        while (tries-- > 0 && !(ReadChecked() == kSucceeded)) Sleep(250);
        EXPECT_GE(tries, 0) << "no read succeeded";
        return clock.ElapsedMs();
    }

    // The trace lines that are not frames, without their times.
    std::string Events() {
        std::ifstream trace(m_tracePath);
        std::string events;
        for (std::string text; std::getline(trace, text);) {
            text = text.substr(text.find(' ') + 1);
            if (text.find("Send:") == std::string::npos && text.find("Receive:") == std::string::npos) {
                events += text + "\n";
            }
        }
        return events;
    }

    LineFixture line;
    HostDriver driver;
    double longestReadMs = 0;

private:
    const uint32_t m_responseTimeoutMs;
    std::string m_tracePath;
};

TagValue WordValue(uint32_t value) {
    TagValue tagValue = {};
    tagValue.bitValue = value;
    tagValue.wordValue = static_cast<uint16_t>(value);
    return tagValue;
}

TEST(NetworkLine, EveryPeerInEitherFramingIsReadAndWritten) {
    for (const Peer& peer : kPeers) {
        SCOPED_TRACE(peer.name);
        NetworkHost host(peer);
        host.line.SetHoldingRegister(1, 0, 0x1234);
        host.line.SetHoldingRegister(1, 1, 0x5678);
        host.line.SetHoldingRegister(1, 2, 0x9ABC);
        host.line.SetInputRegister(2, 4, 77);
        host.line.SetCoil(1, 5, true);
        host.line.SetDiscreteInput(2, 6, true);
        ASSERT_EQ(host.Open(), kSucceeded);
        const struct {
            int32_t station;
            const char* tag;
            int16_t type;
            uint32_t expected;
        } reads[] = {
            {1, "4x1", kTypeUInt16, 0x1234}, {1, "4x2", kTypeUInt32, 0x9ABC5678}, {2, "3x5", kTypeUInt16, 77},
            {1, "0x6", kTypeBit, 1},         {2, "1x7", kTypeBit, 1},
        };
        for (const auto& r : reads) {
            const TagAddress tag = host.driver.Tag(r.tag, r.type);
            TagValue value = {};
            EXPECT_EQ(host.driver.Read(r.station, tag, value), kSucceeded) << r.tag;
            EXPECT_EQ(DeliveredValue(tag, value), r.expected) << r.tag;
        }
        EXPECT_EQ(host.driver.Write(1, host.driver.Tag("4x20", kTypeUInt16), WordValue(4321)), kSucceeded);
        EXPECT_EQ(host.line.HoldingRegister(1, 19), 4321);
        EXPECT_EQ(host.driver.Write(2, host.driver.Tag("0x30", kTypeBit), WordValue(1)), kSucceeded);
        EXPECT_TRUE(host.line.Coil(2, 29));
        TagValue value = {};
        EXPECT_EQ(host.driver.Read(3, host.driver.Tag("4x1", kTypeUInt16), value), kReadFailed);
    }
}

// Each fault bends the connection before a read; whatever that read gives,
// a later one succeeds with the device's new value, and the trace says what
// happened on the line. The box closes connections idle for 1.5 s. No read
// waits for a connect: each returns well within the connect time-out, while
// the connection is made off the host's calls.
TEST(NetworkLine, AConnectionThatMisbehavesNeverDeliversAWrongValue) {
    const struct {
        const char* fault;
        std::function<void(LineFixture&)> apply;
        Outcome first;
        const char* traced;  // "" for nothing in particular
        const char* settings = "";
    } faults[] = {
        {"replies in one-byte segments", [](LineFixture& line) { line.ReplyInSegments(1); }, kSucceeded, ""},
        {"another reply in the same segment",
         [](LineFixture& line) { line.SuffixNextReply(RegistersReply(1, 3, {0xBAD})); }, kSucceeded, ""},
        {"a reply later than the time-out", [](LineFixture& line) { line.DelayNextReply(500); }, kReadFailed,
         "Late: station 1 function 3"},
        // Dropped while no request was out: the read goes out on a new one.
        {"the connection dropped",
         [](LineFixture& line) {
             line.DropConnection();
             Sleep(100);
         },
         kSucceeded, "Reconnected: COM50, closed by the peer while idle"},
        {"connections refused for 2 s",
         [](LineFixture& line) {
             line.RefuseConnectionsFor(2000);
             Sleep(100);
         },
         kReadFailed, "Reopened: COM50 after "},
        // The read remakes the dropped connection within its connect
        // time-out, which the stall outlasts; later attempts use their whole
        // time-out on a thread of the line's own, and the reads meanwhile
        // fail at once.
        {"connections neither accepted nor refused for 4 s",
         [](LineFixture& line) {
             line.StallConnectionsFor(4000);
             Sleep(100);
         },
         kReadFailed, "Reopened: COM50 after "},
        // A box that closes connections idle for 1.5 s, polled after 2.5 s:
        // the driver finds the close, or closes first itself.
        {"closed by the box while idle", [](LineFixture&) { Sleep(2500); }, kSucceeded,
         "Reconnected: COM50, closed by the peer while idle"},
        {"closed while idle, idle_close_ms 1000", [](LineFixture&) { Sleep(2500); }, kSucceeded,
         "Reconnected: COM50, idle for 2.", "idle_close_ms=1000"},
        {"closed while idle, connect_delay_ms 200", [](LineFixture&) { Sleep(2500); }, kSucceeded,
         "Reconnected: COM50, closed by the peer while idle", "connect_delay_ms=200"},
        // Polled after 1.2 s, the connection is still open when the read
        // begins, and the box closes it during the read's gap before its
        // request, which then goes out on a new one.
        {"closed by the box in the gap before a request", [](LineFixture&) { Sleep(1200); }, kSucceeded,
         "Reconnected: COM50, closed by the peer while idle", "request_gap_ms=500"},
    };
    for (const Peer& peer : {kRtuFace, kMbapFace}) {
        for (const auto& f : faults) {
            SCOPED_TRACE(std::string(peer.name) + ", " + f.fault);
            NetworkHost host(peer, kResponseTimeoutMs, f.settings);
            host.line.CloseIdleConnectionsAfter(1500);
            host.line.SetHoldingRegister(1, 0, 0x1111);
            ASSERT_EQ(host.Open(), kSucceeded);
            ASSERT_EQ(host.ReadChecked(), kSucceeded);
            host.line.SetHoldingRegister(1, 0, 0x2222);
            f.apply(host.line);
            EXPECT_EQ(host.ReadChecked(), f.first);
            host.line.SetHoldingRegister(1, 0, 0x3333);
            const double ms = host.MsUntilReadSucceeds(40);
            std::printf("  %s, %s: next good read after %.0f ms\n", peer.name, f.fault, ms);
            EXPECT_LT(host.longestReadMs, kConnectTimeoutMs / 2);
            EXPECT_NE(host.Events().find(f.traced), std::string::npos) << host.Events();
        }
    }
}

// A gateway that answers under a transaction rule of its own costs its
// first three replies under auto, which are a read and its retry and the
// first attempt of the next, and every read under strict. A device behind it
// that wants unit id 255 answers only with unit_id set. No read after the
// third reply fails but one whose reply came late, and none delivers a
// wrong value.
TEST(NetworkLine, AGatewaysTransactionRuleIsLearnedAndADevicesUnitIdIsSet) {
    const auto answering = [](const char* rule) { return [rule](LineFixture& line) { line.AnswerTransactions(rule); }; };
    const auto wants255 = [](LineFixture& line) { line.AnswerUnitAsStation(255, 1); };
    const struct {
        const char* situation;
        std::function<void(LineFixture&)> box;
        const char* settings;
        int failed;  // of the first twelve reads
        const char* traced;
    } rows[] = {
        {"zero", answering("zero"), "", 1, "Transactions: COM50 answers with transaction 0"},
        {"plus-one", answering("plus-one"), "", 1,
         "Transactions: COM50 answers with the request's transaction plus one"},
        {"swapped", answering("swapped"), "", 1,
         "Transactions: COM50 answers with the request's transaction, its bytes swapped"},
        {"zero, strict", answering("zero"), "transaction_check=strict", 12, ""},
        {"unit id 255", wants255, "unit_id=255", 0, ""},
        {"unit id 255 wanted, none set", wants255, "", 12, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.situation);
        NetworkHost host(kMbapFace, kResponseTimeoutMs, r.settings);
        r.box(host.line);
        ASSERT_EQ(host.Open(), kSucceeded);
        int failed = 0;
        for (uint16_t read = 0; read < 12; ++read) {
            host.line.SetHoldingRegister(1, 0, static_cast<uint16_t>(0x1000 + read));
            if (!(host.ReadChecked() == kSucceeded)) ++failed;
        }
        EXPECT_EQ(failed, r.failed);
        if (r.failed == 12) continue;
        for (uint16_t read = 0; read < 6; ++read) {
            host.line.SetHoldingRegister(1, 0, static_cast<uint16_t>(0x2000 + read));
            if (read % 2 == 0) host.line.DelayNextReply(500);
            EXPECT_EQ(host.ReadChecked(), read % 2 == 0 ? kReadFailed : kSucceeded) << "read " << read;
        }
        EXPECT_NE(host.Events().find(r.traced), std::string::npos) << host.Events();
    }
}

// A gateway that cannot reach a device answers 0B: that is the station's
// silence, so it is demoted as a silent one would be.
TEST(NetworkLine, AGatewayAnswering0BCountsAsTheStationsSilence) {
    NetworkHost host(kMbapFace, 1500);
    ASSERT_EQ(host.Open(), kSucceeded);
    // The gateway's 0B and its wait for a late reply behind it fit within
    // the host's response time-out, as a gateway must be set up.
    host.line.SetGatewayWait(500);
    host.line.SwitchStation(2, false);
    const TagAddress tag = host.driver.Tag("4x1", kTypeUInt16);
    for (int read = 0; read < 4; ++read) {
        TagValue value = {};
        EXPECT_EQ(host.driver.Read(2, tag, value), kReadFailed);
    }
    const std::string events = host.Events();
    EXPECT_NE(events.find("Gateway: station 2 exception 0B, no reply, taken as no reply"), std::string::npos) << events;
    EXPECT_NE(events.find("Demote: station 2"), std::string::npos) << events;
    EXPECT_EQ(host.ReadChecked(), kSucceeded) << host.Events();
}

// A peer that is down when the host opens the line does not fail the Open:
// the line is lost, reads fail at once, and it connects by itself once the
// peer is back. One that stays connected but silent is dropped after 10 s
// of unanswered requests and connected again; the station is never demoted
// here, so that its requests go on.
TEST(NetworkLine, ALineOpensWhileItsPeerIsDownAndDropsOneThatFellSilent) {
    for (const Peer& peer : {kRtuFace, kMbapFace}) {
        SCOPED_TRACE(peer.name);
        NetworkHost host(peer, kResponseTimeoutMs, "demote_after=0");
        host.line.RefuseConnectionsFor(1500);
        Sleep(100);
        ASSERT_EQ(host.Open(), kSucceeded);
        const Stopwatch failing;
        EXPECT_EQ(host.ReadChecked(), kReadFailed);
        EXPECT_LT(failing.ElapsedMs(), 1000.0) << "a read on a lost line fails at once";
        host.MsUntilReadSucceeds(40);
        host.line.MuteConnection(true);
        for (const Stopwatch muted; muted.ElapsedMs() < 11000;) EXPECT_EQ(host.ReadChecked(), kReadFailed);
        host.line.MuteConnection(false);
        host.MsUntilReadSucceeds(40);
        const std::string events = host.Events();
        EXPECT_NE(events.find("Lost: COM50, error 10061"), std::string::npos) << events;
        EXPECT_NE(events.find("Lost: COM50, error 10060"), std::string::npos) << events;
    }
}

}  // namespace
