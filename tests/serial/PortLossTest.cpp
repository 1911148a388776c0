// Which failures of the port lose the line: a port double that fails its
// write with each code, then is away, then back. A loss closes the port,
// fails every exchange at once without touching it and is reported once;
// the line opens the port again when an attempt is due and the device is
// back, and a record carrying the handle published before still finds it.
// A time-out or another failure is no loss.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "line/LineFormat.h"
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"

namespace {

constexpr int32_t kPortIndex = 60;

// The call of an exchange that fails: the write, a read, or the look at the
// input queue, whose failure the exchange only notes.
enum class Call { kWrite, kRead, kQueue };

// A device that is there or away, one of whose calls fails with a code of
// the test's choosing. Each opening gets a handle of its own.
class DoublePort : public CSerialPort {
public:
    uint32_t OpenPort(const char*, uint32_t, uint32_t) override {
        ++opens;
        if (!present) return Fail(ERROR_FILE_NOT_FOUND);
        m_open = true;
        return 0;
    }
    uint32_t ClosePort() override {
        m_open = false;
        ++m_opening;
        return 0;
    }
    bool IsOpen() const override { return m_open; }
    HANDLE Handle() const override { return m_open ? reinterpret_cast<HANDLE>(0x100 + 4 * m_opening) : nullptr; }
    uint32_t SetLineFormat(uint32_t, uint8_t, uint8_t, uint8_t) override { return 0; }
    uint32_t SetEventMask(uint32_t) override { return 0; }
    uint32_t SetHandshake(int32_t) override { return 0; }
    uint32_t SetReadTimeouts(int32_t) override { return 0; }
    bool GetTimeouts(COMMTIMEOUTS& timeouts) override {
        timeouts = COMMTIMEOUTS{};
        return true;
    }
    bool SetTimeouts(const COMMTIMEOUTS&) override { return true; }
    void KeyRts(bool) override {}
    uint32_t QueuedBytes() override {
        if (failing == Call::kQueue && failure != 0) NoteFailure(failure);
        return 0;
    }
    uint32_t OutputQueued() override { return 0; }
    void DiscardInput() override {}
    uint32_t WriteData(const void*, uint32_t, uint32_t* written, OVERLAPPED*, uint32_t) override {
        ++writes;
        if (written != nullptr) *written = 0;
        return Fail(failing == Call::kWrite ? failure : 0);
    }
    // Nothing comes back: a silent station.
    uint32_t ReadData(void*, uint32_t, uint32_t* read, OVERLAPPED*, uint32_t) override {
        if (read != nullptr) *read = 0;
        return Fail(failing == Call::kRead ? failure : 0);
    }

    bool present = true;
    Call failing = Call::kWrite;
    uint32_t failure = 0;
    int opens = 0;
    int writes = 0;

private:
    bool m_open = false;
    int m_opening = 0;
};

// Records what the line reports; every exchange wants a one-byte reply it
// never gets.
struct Observer : IExchangeObserver {
    void OnSend(const std::string&, int32_t) override {}
    void OnLateDiscarded(const std::string&) override {}
    void OnPortLost(const std::string& port, uint32_t code) override {
        events.push_back("lost " + port + " " + std::to_string(code));
    }
    void OnPortReopened(const std::string& port, uint64_t) override { events.push_back("reopened " + port); }
    ExchangeResult Exchange(CSerialLine& line, const LineUse& use) {
        std::string data("\x01\x03\x00\x00\x00\x01\x84\x0a", 8);
        int32_t length = 8;
        return line.ExchangeFramed(data, length, use, modbus::ReadReplyShape(1, 3, 1), this);
    }
    std::vector<std::string> events;
};

// Attempts come due after 200 ms: no attempt is due before a loaded
// machine gets from the loss to the next check; the waits below are longer.
constexpr uint32_t kAttemptDueMs = 200;
const LineUse kUse{0, 20, 0, 0, {kAttemptDueMs, kAttemptDueMs}, 0};

// Measured on the clock the line reads: under load Wine may update it
// later than a sleep ends.
void WaitForAttempt() {
    const uint64_t start = GetTickCount64();
    while (GetTickCount64() < start + kAttemptDueMs + 30) Sleep(5);
}

// The line lost by the exchange that failed: later exchanges do not touch
// the port, an attempt while the device is away is one open, and the device
// back is opened again, once, under a new handle that joins the old one.
void ExpectLostUntilBack(CSerialLine& line, DoublePort& port, Observer& observer, uint32_t code, HANDLE published) {
    EXPECT_FALSE(port.IsOpen()) << "the dead handle is closed";
    EXPECT_FALSE(line.Available(kUse, &observer)) << "no attempt is due yet";
    port.present = false;
    port.failure = 0;
    const int writes = port.writes;
    EXPECT_EQ(observer.Exchange(line, kUse), ExchangeResult::kSendFailed);
    EXPECT_EQ(port.writes, writes) << "a lost port is not touched";
    WaitForAttempt();
    const int opens = port.opens;
    EXPECT_FALSE(line.Available(kUse, &observer));
    EXPECT_EQ(port.opens, opens + 1);
    port.present = true;
    WaitForAttempt();
    EXPECT_TRUE(line.Available(kUse, &observer));
    EXPECT_TRUE(line.Available(kUse, &observer));
    EXPECT_NE(port.Handle(), published);
    EXPECT_EQ(CSerialLine::Find(kPortIndex, published).get(), &line) << "the handle published before the loss";
    EXPECT_EQ(CSerialLine::Find(kPortIndex, port.Handle()).get(), &line);
    EXPECT_EQ(observer.events, (std::vector<std::string>{"lost COM61 " + std::to_string(code), "reopened COM61"}));
    EXPECT_EQ(observer.Exchange(line, kUse), ExchangeResult::kNoReply);
}

TEST(PortLoss, EachCodeOfAGonePortLosesTheLineUntilItIsBackAndNoOtherDoes) {
    const struct {
        const char* name;
        uint32_t code;
        bool lost;
    } cases[] = {
        {"access denied", ERROR_ACCESS_DENIED, true},
        {"invalid handle", ERROR_INVALID_HANDLE, true},
        {"bad command", ERROR_BAD_COMMAND, true},
        {"general failure", ERROR_GEN_FAILURE, true},
        {"operation aborted", ERROR_OPERATION_ABORTED, true},
        {"device not connected", ERROR_DEVICE_NOT_CONNECTED, true},
        {"file not found", ERROR_FILE_NOT_FOUND, true},
        {"not ready (Wine, a vanished pty written)", ERROR_NOT_READY, true},
        {"broken pipe (Wine, a vanished pty read)", ERROR_BROKEN_PIPE, true},
        {"silence", 0, false},
        {"time-out", ERROR_TIMEOUT, false},
        {"write fault", ERROR_WRITE_FAULT, false},
        {"I/O device error", ERROR_IO_DEVICE, false},
    };
    line::LineFormat format;
    ASSERT_TRUE(line::LineFormatOf(6, true, 2, false, format));
    for (const auto& c : cases) {
        for (Call call : {Call::kWrite, Call::kRead, Call::kQueue}) {
            SCOPED_TRACE(std::string(c.name) + ", call " + std::to_string(static_cast<int>(call)));
            auto owned = std::make_unique<DoublePort>();
            DoublePort& port = *owned;
            auto line = std::make_shared<CSerialLine>(std::move(owned));
            ASSERT_EQ(line->Open(kPortIndex, format), 0u);
            const HANDLE published = port.Handle();
            Observer observer;
            port.failing = call;
            port.failure = c.code;
            const ExchangeResult result = observer.Exchange(*line, kUse);
            EXPECT_EQ(result == ExchangeResult::kPortLost, c.lost);
            if (c.lost) {
                ExpectLostUntilBack(*line, port, observer, c.code, published);
            } else {
                WaitForAttempt();
                EXPECT_TRUE(line->Available(kUse, &observer));
                EXPECT_EQ(port.opens, 1);
                EXPECT_TRUE(observer.events.empty());
            }
            EXPECT_TRUE(CSerialLine::CloseIfLastUser(line));
        }
    }
}

}  // namespace
