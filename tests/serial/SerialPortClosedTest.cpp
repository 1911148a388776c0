// The serial port before any device is opened, and opening a device that
// does not exist.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "serial/SerialPort.h"

namespace {

constexpr uint32_t kInvalidHandle = 6;

struct ClosedCase {
    const char* operation;
    std::function<int64_t(CSerialPort&)> call;
    int64_t result;
};

TEST(SerialPortClosed, EveryOperationFailsWithInvalidHandle) {
    char buffer[4] = {};
    OVERLAPPED caller{};
    const ClosedCase cases[] = {
        {"SetLineFormat", [](CSerialPort& p) { return p.SetLineFormat(9600, 8, 0, 0); }, kInvalidHandle},
        {"SetEventChar", [](CSerialPort& p) { return p.SetEventChar('\n', 1); }, kInvalidHandle},
        {"SetEventMask", [](CSerialPort& p) { return p.SetEventMask(1); }, kInvalidHandle},
        {"WaitEvent", [](CSerialPort& p) { return p.WaitEvent(nullptr, 10); }, kInvalidHandle},
        {"WaitEvent caller's record", [&](CSerialPort& p) { return p.WaitEvent(&caller, 10); }, kInvalidHandle},
        {"SetHandshake", [](CSerialPort& p) { return p.SetHandshake(2); }, kInvalidHandle},
        {"SetHandshake bad mode", [](CSerialPort& p) { return p.SetHandshake(3); }, kInvalidHandle},
        {"SetReadTimeouts", [](CSerialPort& p) { return p.SetReadTimeouts(2); }, kInvalidHandle},
        {"WriteText", [](CSerialPort& p) { return p.WriteText("x", nullptr, nullptr, 10); }, kInvalidHandle},
        {"WriteData", [&](CSerialPort& p) { return p.WriteData(buffer, 4, nullptr, nullptr, 10); }, kInvalidHandle},
        {"ReadData", [&](CSerialPort& p) { return p.ReadData(buffer, 4, nullptr, nullptr, 10); }, kInvalidHandle},
        {"GetBaudRate", [](CSerialPort& p) { return p.GetBaudRate(); }, -1},
        {"GetByteSize", [](CSerialPort& p) { return p.GetByteSize(); }, -1},
        {"GetParity", [](CSerialPort& p) { return p.GetParity(); }, -1},
        {"GetStopBits", [](CSerialPort& p) { return p.GetStopBits(); }, -1},
        {"GetHandshake", [](CSerialPort& p) { return p.GetHandshake(); }, -1},
        {"GetEventMask", [](CSerialPort& p) { return p.GetEventMask(); }, 0},
        {"GetEventChar", [](CSerialPort& p) { return p.GetEventChar(); }, 0},
    };
    for (const ClosedCase& c : cases) {
        CSerialPort port;
        EXPECT_EQ(c.call(port), c.result) << c.operation;
        EXPECT_EQ(port.m_lastError, kInvalidHandle) << c.operation;
        EXPECT_EQ(port.Handle(), nullptr) << c.operation;
    }
}

TEST(SerialPortClosed, TransfersZeroTheCounterBeforeFailing) {
    CSerialPort port;
    char buffer[4] = {};
    uint32_t written = 77;
    uint32_t read = 77;
    EXPECT_EQ(port.WriteData(buffer, 4, &written, nullptr, 10), kInvalidHandle);
    EXPECT_EQ(port.ReadData(buffer, 4, &read, nullptr, 10), kInvalidHandle);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(read, 0u);
}

TEST(SerialPortClosed, ClosingAClosedPortSucceedsAndClearsTheLastError) {
    CSerialPort port;
    port.SetEventMask(1);
    ASSERT_EQ(port.m_lastError, kInvalidHandle);
    EXPECT_EQ(port.ClosePort(), 0u);
    EXPECT_EQ(port.m_lastError, 0u);
}

TEST(SerialPortClosed, LastEventsAreTakenOnce) {
    CSerialPort port;
    EXPECT_EQ(port.TakeLastEvents(), 0xFFFFFFFFu);
    port.m_lastEvents = EV_RXCHAR;
    EXPECT_EQ(port.TakeLastEvents(), static_cast<uint32_t>(EV_RXCHAR));
    EXPECT_EQ(port.TakeLastEvents(), 0xFFFFFFFFu);
}

TEST(SerialPortClosed, OpeningAMissingDeviceLeavesThePortClosed) {
    const char* const devices[] = {"\\\\.\\COM200", "\\\\.\\NOSUCHPORT", ""};
    for (const char* device : devices) {
        CSerialPort port;
        uint32_t code = port.OpenPort(device, 2048, 2048);
        EXPECT_NE(code, 0u) << device;
        EXPECT_EQ(port.m_lastError, code) << device;
        EXPECT_EQ(port.Handle(), nullptr) << device;
    }
}

TEST(SerialPortClosed, WriteTextRefusesANullText) {
    CSerialPort port;
    uint32_t written = 77;
    EXPECT_EQ(port.WriteText(nullptr, &written, nullptr, 10), 0x80070057u);
    EXPECT_EQ(written, 0u);
}

}  // namespace
