// Proves the simulated line with plain Win32 calls on the COM port, the way
// the driver uses it: overlapped writes, then polling the input queue.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/FrameBytes.h"
#include "support/LineFixture.h"
#include "support/Stopwatch.h"

namespace {

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Inverted(Bytes bytes, size_t index) {
    bytes[index] ^= 0xFF;
    return bytes;
}

// What came back after a write: the bytes, and when each chunk of them was
// first seen in the input queue, in ms after the write began.
struct Arrival {
    Bytes bytes;
    std::vector<double> chunkTimes;
    std::vector<size_t> countsBefore;

    double FirstMs() const { return chunkTimes.empty() ? -1 : chunkTimes.front(); }
    double LastMs() const { return chunkTimes.empty() ? -1 : chunkTimes.back(); }
    // The longest silence between two chunks, and how many bytes had come before it.
    std::pair<double, size_t> LongestPause() const {
        std::pair<double, size_t> longest{0, 0};
        for (size_t i = 1; i < chunkTimes.size(); ++i) {
            double pause = chunkTimes[i] - chunkTimes[i - 1];
            if (pause > longest.first) longest = {pause, countsBefore[i]};
        }
        return longest;
    }
};

class TestPort {
public:
    explicit TestPort(const std::string& path) {
        m_handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
        m_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE) return;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(m_handle, &dcb);
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        SetCommState(m_handle, &dcb);
        COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 1000};
        SetCommTimeouts(m_handle, &immediate);
    }
    ~TestPort() {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
        CloseHandle(m_event);
    }
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

    // Writes the request, then gathers the reply until quietMs pass without
    // a new byte, or deadlineMs pass without any.
    Arrival Exchange(const Bytes& request, double quietMs = 100, double deadlineMs = 1000) {
        const Stopwatch sinceWrite;
        if (!request.empty() && !Write(request)) ADD_FAILURE() << "WriteFile failed: " << GetLastError();
        return Collect(sinceWrite, quietMs, deadlineMs);
    }

private:
    bool Write(const Bytes& bytes) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = m_event;
        DWORD written = 0;
        if (!WriteFile(m_handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        return GetOverlappedResult(m_handle, &overlapped, &written, TRUE) && written == bytes.size();
    }

    size_t Queued() {
        DWORD errors = 0;
        COMSTAT status{};
        return ClearCommError(m_handle, &errors, &status) ? status.cbInQue : 0;
    }

    Bytes Read(size_t count) {
        Bytes bytes(count);
        OVERLAPPED overlapped{};
        overlapped.hEvent = m_event;
        DWORD read = 0;
        if (!ReadFile(m_handle, bytes.data(), static_cast<DWORD>(count), &read, &overlapped) &&
            GetLastError() == ERROR_IO_PENDING) {
            GetOverlappedResult(m_handle, &overlapped, &read, TRUE);
        }
        bytes.resize(read);
        return bytes;
    }

    Arrival Collect(const Stopwatch& sinceWrite, double quietMs, double deadlineMs) {
        Arrival arrival;
        for (;;) {
            Sleep(1);
            double now = sinceWrite.ElapsedMs();
            if (size_t queued = Queued()) {
                arrival.countsBefore.push_back(arrival.bytes.size());
                arrival.chunkTimes.push_back(now);
                Bytes chunk = Read(queued);
                arrival.bytes.insert(arrival.bytes.end(), chunk.begin(), chunk.end());
            } else if (arrival.bytes.empty() ? now > deadlineMs : now - arrival.LastMs() > quietMs) {
                return arrival;
            }
        }
    }

    HANDLE m_handle;
    HANDLE m_event;
};

const Bytes kReadTwoRegisters = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};

struct PreparedLine {
    LineFixture line;
    Bytes reply;
    PreparedLine() {
        line.SetHoldingRegister(1, 0, 0x04D2);
        line.SetHoldingRegister(1, 1, 0x162E);
        reply = WithCrc({0x01, 0x03, 0x04, 0x04, 0xD2, 0x16, 0x2E});
    }
};

TEST(LineFixture, ReplyCarriesTheTableValuesAndTheLogHoldsTheRequest) {
    PreparedLine prepared;
    TestPort port(prepared.line.DevicePath());
    ASSERT_TRUE(port.IsOpen()) << prepared.line.DevicePath();

    Arrival arrival = port.Exchange(kReadTwoRegisters);

    EXPECT_EQ(arrival.bytes, prepared.reply);
    EXPECT_EQ(prepared.line.Requests(), std::vector<Bytes>{kReadTwoRegisters});
    std::printf("8-byte request + 9-byte reply at 9600 baud (wire time 17.7 ms): first byte after %.1f ms, "
                "last after %.1f ms\n",
                arrival.FirstMs(), arrival.LastMs());
    prepared.line.ClearRequests();
    EXPECT_TRUE(prepared.line.Requests().empty());
}

TEST(LineFixture, StationsAnswerFromTheirOwnTables) {
    LineFixture line(9600, {1, 17});
    line.SetHoldingRegister(1, 107, 0x0101);
    line.SetHoldingRegister(17, 107, 0x1717);
    line.SetInputRegister(17, 9, 0xBEEF);
    line.SetCoil(17, 16, true);
    line.SetCoil(17, 18, true);
    line.SetDiscreteInput(1, 65535, true);
    struct Case {
        const char* name;
        Bytes request;
        Bytes reply;
    } cases[] = {
        {"holding register of station 1", WithCrc({0x01, 0x03, 0x00, 0x6B, 0x00, 0x01}),
         WithCrc({0x01, 0x03, 0x02, 0x01, 0x01})},
        {"holding register of station 17", WithCrc({0x11, 0x03, 0x00, 0x6B, 0x00, 0x01}),
         WithCrc({0x11, 0x03, 0x02, 0x17, 0x17})},
        {"input register", WithCrc({0x11, 0x04, 0x00, 0x09, 0x00, 0x01}), WithCrc({0x11, 0x04, 0x02, 0xBE, 0xEF})},
        {"coils", WithCrc({0x11, 0x01, 0x00, 0x10, 0x00, 0x03}), WithCrc({0x11, 0x01, 0x01, 0x05})},
        {"last discrete input", WithCrc({0x01, 0x02, 0xFF, 0xFF, 0x00, 0x01}), WithCrc({0x01, 0x02, 0x01, 0x01})},
        {"station not on the line", WithCrc({0x05, 0x03, 0x00, 0x00, 0x00, 0x01}), {}},
        {"bad CRC", {0x01, 0x03, 0x00, 0x6B, 0x00, 0x01, 0x00, 0x00}, {}},
        {"beyond the table", WithCrc({0x01, 0x03, 0xFF, 0xFF, 0x00, 0x02}), WithCrc({0x01, 0x83, 0x02})},
    };
    TestPort port(line.DevicePath());
    ASSERT_TRUE(port.IsOpen());
    for (const Case& c : cases) {
        line.ClearRequests();
        EXPECT_EQ(port.Exchange(c.request, 100, 300).bytes, c.reply) << c.name;
        EXPECT_EQ(line.Requests(), std::vector<Bytes>{c.request}) << c.name;
    }
}

TEST(LineFixture, WritesFromTheMasterReachTheTables) {
    LineFixture line(9600, {1, 2});
    struct Case {
        const char* name;
        Bytes request;
        std::function<bool(LineFixture&)> written;
    } cases[] = {
        {"coil on", WithCrc({0x01, 0x05, 0x00, 0x10, 0xFF, 0x00}),
         [](LineFixture& l) { return l.Coil(1, 16) && !l.Coil(2, 16); }},
        {"single register", WithCrc({0x02, 0x06, 0x00, 0x07, 0x12, 0x34}),
         [](LineFixture& l) { return l.HoldingRegister(2, 7) == 0x1234 && l.HoldingRegister(1, 7) == 0; }},
        {"two registers", WithCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56, 0x78}),
         [](LineFixture& l) { return l.HoldingRegister(1, 0) == 0x1234 && l.HoldingRegister(1, 1) == 0x5678; }},
    };
    TestPort port(line.DevicePath());
    ASSERT_TRUE(port.IsOpen());
    for (const Case& c : cases) {
        Bytes reply = port.Exchange(c.request).bytes;
        ASSERT_GE(reply.size(), 2u) << c.name;
        EXPECT_EQ(reply[1], c.request[1]) << c.name;
        EXPECT_TRUE(c.written(line)) << c.name;
    }
}

TEST(LineFixture, EachFaultBendsTheNextReplyOnly) {
    struct Case {
        const char* name;
        std::function<void(LineFixture&)> fault;
        std::function<Bytes(const Bytes&)> expected;
    } cases[] = {
        {"drop", [](LineFixture& l) { l.DropNextReply(); }, [](const Bytes&) { return Bytes{}; }},
        {"corrupt", [](LineFixture& l) { l.CorruptNextReply(3); }, [](const Bytes& r) { return Inverted(r, 3); }},
        {"prefix", [](LineFixture& l) { l.PrefixNextReply({0xAA, 0x01}); },
         [](const Bytes& r) { return Concat({0xAA, 0x01}, r); }},
        {"suffix", [](LineFixture& l) { l.SuffixNextReply({0x00, 0x55}); },
         [](const Bytes& r) { return Concat(r, {0x00, 0x55}); }},
        {"split", [](LineFixture& l) { l.SplitNextReply(3, 50); }, [](const Bytes& r) { return r; }},
        {"delay", [](LineFixture& l) { l.DelayNextReply(50); }, [](const Bytes& r) { return r; }},
        {"dropped reply keeps its stray bytes",
         [](LineFixture& l) {
             l.DropNextReply();
             l.PrefixNextReply({0x7E});
             l.SuffixNextReply({0x7F});
         },
         [](const Bytes&) { return Bytes{0x7E, 0x7F}; }},
        {"corrupt beyond the reply", [](LineFixture& l) { l.CorruptNextReply(9); }, [](const Bytes& r) { return r; }},
        {"twice", [](LineFixture& l) { l.SendNextReplyTwice(); }, [](const Bytes& r) { return Concat(r, r); }},
        {"refuse the next request", [](LineFixture& l) { l.RefuseNextRequest(1, 6); },
         [](const Bytes&) { return WithCrc({0x01, 0x83, 0x06}); }},
        {"refusal withdrawn", [](LineFixture& l) { l.RefuseNextRequest(1, 4); l.AcceptRequests(1); },
         [](const Bytes& r) { return r; }},
    };
    PreparedLine prepared;
    TestPort port(prepared.line.DevicePath());
    ASSERT_TRUE(port.IsOpen());
    for (const Case& c : cases) {
        c.fault(prepared.line);
        // A line server starved by a loaded machine may pace a frame's last
        // bytes late: the bent reply is gathered until a longer quiet.
        EXPECT_EQ(port.Exchange(kReadTwoRegisters, 400).bytes, c.expected(prepared.reply)) << c.name;
        EXPECT_EQ(port.Exchange(kReadTwoRegisters).bytes, prepared.reply) << "after " << c.name;
    }
    EXPECT_EQ(prepared.line.Requests().size(), 2 * (sizeof cases / sizeof cases[0]));
}

// Each steady fault bends every reply it covers until turned off; the
// replies' timing is only printed.
TEST(LineFixture, SteadyFaultsLastUntilTurnedOff) {
    struct Case {
        const char* name;
        std::function<void(LineFixture&)> on;
        Bytes expected;
        std::function<void(LineFixture&)> off;
    } cases[] = {
        {"refusal of every request", [](LineFixture& l) { l.RefuseRequests(1, 2, 0); }, WithCrc({0x01, 0x83, 0x02}),
         [](LineFixture& l) { l.AcceptRequests(1); }},
        {"refusal of a range the read touches", [](LineFixture& l) { l.RefuseRequests(1, 2, 0, 1, 5); },
         WithCrc({0x01, 0x83, 0x02}), [](LineFixture& l) { l.AcceptRequests(1); }},
        {"refusal of a range the read misses", [](LineFixture& l) { l.RefuseRequests(1, 4, 0, 2, 5); }, {},
         [](LineFixture& l) { l.AcceptRequests(1); }},
        {"refusal for 200 ms", [](LineFixture& l) { l.RefuseRequests(1, 6, 200); }, WithCrc({0x01, 0x83, 0x06}),
         [](LineFixture&) { Sleep(250); }},
        {"turnaround", [](LineFixture& l) { l.SetTurnaround(60); }, {}, [](LineFixture& l) { l.SetTurnaround(0); }},
        {"every reply late", [](LineFixture& l) { l.DelayEveryNthReply(1, 120); }, {},
         [](LineFixture& l) { l.DelayEveryNthReply(0, 0); }},
    };
    PreparedLine prepared;
    TestPort port(prepared.line.DevicePath());
    ASSERT_TRUE(port.IsOpen());
    for (const Case& c : cases) {
        c.on(prepared.line);
        const Bytes expected = c.expected.empty() ? prepared.reply : c.expected;
        for (int i = 0; i < 2; ++i) {
            const Arrival arrival = port.Exchange(kReadTwoRegisters, 150);
            EXPECT_EQ(arrival.bytes, expected) << c.name;
            std::printf("%s: first byte after %.1f ms\n", c.name, arrival.FirstMs());
        }
        c.off(prepared.line);
        EXPECT_EQ(port.Exchange(kReadTwoRegisters).bytes, prepared.reply) << "after " << c.name;
    }
}

// How long the relay held the reply back is only printed: the reader's own
// scheduling would make any bound on it a guess.
TEST(LineFixture, SplitReplyPausesAfterItsFirstPart) {
    PreparedLine prepared;
    TestPort port(prepared.line.DevicePath());
    ASSERT_TRUE(port.IsOpen());
    prepared.line.SplitNextReply(4, 300);

    Arrival arrival = port.Exchange(kReadTwoRegisters, 400);

    EXPECT_EQ(arrival.bytes, prepared.reply);
    std::pair<double, size_t> pause = arrival.LongestPause();
    EXPECT_EQ(pause.second, 4u);
    std::printf("split after 4 bytes, 300 ms asked: longest pause %.1f ms\n", pause.first);
}

TEST(LineFixture, DelayedReplyStillComesWhole) {
    PreparedLine prepared;
    TestPort port(prepared.line.DevicePath());
    ASSERT_TRUE(port.IsOpen());
    prepared.line.DelayNextReply(200);

    Arrival arrival = port.Exchange(kReadTwoRegisters);

    EXPECT_EQ(arrival.bytes, prepared.reply);
    std::printf("reply delayed by 200 ms: first byte after %.1f ms\n", arrival.FirstMs());
}

TEST(LineFixture, DeviceBytesArriveUnasked) {
    LineFixture line;
    TestPort port(line.DevicePath());
    ASSERT_TRUE(port.IsOpen());
    line.SendFromDevice({0x00, 0xFF, 0x01, 0x03});

    EXPECT_EQ(port.Exchange({}).bytes, (Bytes{0x00, 0xFF, 0x01, 0x03}));
    EXPECT_TRUE(line.Requests().empty());
}

TEST(LineFixture, StoppedSlaveNeitherHearsNorAnswersUntilStartedAgain) {
    PreparedLine prepared;
    TestPort port(prepared.line.DevicePath());
    ASSERT_TRUE(port.IsOpen());

    prepared.line.StopSlave();
    EXPECT_TRUE(port.Exchange(kReadTwoRegisters, 100, 300).bytes.empty());
    EXPECT_TRUE(prepared.line.Requests().empty());

    prepared.line.StartSlave();
    EXPECT_EQ(port.Exchange(kReadTwoRegisters).bytes, prepared.reply);
    EXPECT_EQ(prepared.line.Requests(), std::vector<Bytes>{kReadTwoRegisters});
}

TEST(LineFixture, PortReopensAndEachLineHasItsOwnPort) {
    PreparedLine first;
    PreparedLine second;
    second.line.SetHoldingRegister(1, 0, 0x04D3);
    EXPECT_NE(first.line.PortIndex(), second.line.PortIndex());
    EXPECT_GE(first.line.PortIndex(), 9);
    for (int round = 0; round < 3; ++round) {
        TestPort port(first.line.DevicePath());
        ASSERT_TRUE(port.IsOpen()) << "round " << round;
        EXPECT_EQ(port.Exchange(kReadTwoRegisters).bytes, first.reply) << "round " << round;
    }
    TestPort port(second.line.DevicePath());
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Exchange(kReadTwoRegisters).bytes, WithCrc({0x01, 0x03, 0x04, 0x04, 0xD3, 0x16, 0x2E}));
}

TEST(LineFixture, EveryOpenStartsWithAnEmptyPort) {
    LineFixture line;
    {
        TestPort port(line.DevicePath());
        ASSERT_TRUE(port.IsOpen());
        line.SendFromDevice({0x01, 0x02, 0x03});
        Sleep(200);
    }
    line.SendFromDevice({0x04, 0x05});
    Sleep(200);
    TestPort port(line.DevicePath());
    ASSERT_TRUE(port.IsOpen());
    EXPECT_TRUE(port.Exchange({}, 100, 300).bytes.empty());
    line.SendFromDevice({0x06});
    EXPECT_EQ(port.Exchange({}).bytes, Bytes{0x06});
}

TEST(LineFixture, RefusedCommandsFailTheTest) {
    LineFixture line(9600, {1});
    EXPECT_NONFATAL_FAILURE(line.SetCoil(9, 0, true), "station 9 is not on this line");
    EXPECT_NONFATAL_FAILURE(line.HoldingRegister(2, 0), "station 2 is not on this line");
    line.SetHoldingRegister(1, 0, 7);
    EXPECT_EQ(line.HoldingRegister(1, 0), 7);
}

TEST(LineFixture, ClosedLineTakesItsPortAway) {
    std::string path;
    {
        LineFixture line;
        path = line.DevicePath();
    }
    TestPort port(path);
    EXPECT_FALSE(port.IsOpen());
}

}  // namespace
