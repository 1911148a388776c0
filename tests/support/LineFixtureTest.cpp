// Proves the simulated line with plain Win32 calls on the COM port, the way
// the driver uses it: overlapped writes, then polling the input queue.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/LineFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes WithCrc(Bytes frame) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : frame) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

double NowMs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
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
        double start = NowMs();
        if (!request.empty() && !Write(request)) ADD_FAILURE() << "WriteFile failed: " << GetLastError();
        return Collect(start, quietMs, deadlineMs);
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

    Arrival Collect(double start, double quietMs, double deadlineMs) {
        Arrival arrival;
        for (;;) {
            Sleep(1);
            double now = NowMs() - start;
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

}  // namespace
