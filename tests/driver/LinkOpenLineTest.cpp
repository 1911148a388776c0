// Open and Close on a simulated line: a fresh open, refused line formats,
// a second open of an open link, and links shared by several driver
// objects given the same settings record.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "driver/TestDriver.h"
#include "support/FrameBytes.h"
#include "support/LineFixture.h"

namespace {

constexpr uint16_t kValue = 0x4D2;

// A line whose slave holds kValue in register 0.
struct Line {
    Line() {
        fixture.SetHoldingRegister(1, 0, kValue);
    }
    int16_t PortIndex() const {
        return static_cast<int16_t>(fixture.PortIndex());
    }
    // Driver objects sharing the line published with handle.
    long Users(HANDLE handle) const {
        std::shared_ptr<CLine> shared = CLine::Find(PortIndex(), handle);
        return shared != nullptr ? shared.use_count() - 1 : 0;
    }
    LineFixture fixture;
};

// One polled read of register 0: whether the reply came back whole.
bool ReadsRegister(TestDriver& driver) {
    std::string data = ReadRegisterRequest(0);
    int32_t length = static_cast<int32_t>(data.size());
    int result = driver.ExchangePolled(data, length, nullptr, nullptr);
    return result == 1 && data == ReadRegisterReply(kValue);
}

TEST(LinkOpenLine, FreshOpenConfiguresPublishesAndCloses) {
    Line line;
    const struct {
        uint32_t baudIndex;
        uint16_t eightDataBits;
        int16_t parityIndex;
        uint16_t twoStopBits;
        int32_t baud;
        int32_t stopBits;
    } cases[] = {
        {12, 1, 1, 0, 115200, ONESTOPBIT},
        {6, 0, 0, 1, 9600, TWOSTOPBITS},
        {8, 1, 2, 0, 19200, ONESTOPBIT},
        {3, 1, 4, 1, 1200, TWOSTOPBITS},
    };
    for (const auto& c : cases) {
        HostSettings settings(line.PortIndex());
        settings.link.baudIndex = c.baudIndex;
        settings.link.eightDataBits = c.eightDataBits;
        settings.link.parityIndex = c.parityIndex;
        settings.link.twoStopBits = c.twoStopBits;
        settings.link.rtsControl = 2;
        settings.link.responseTimeout = 321;
        TestDriver driver;
        int32_t station = 0;
        driver.CheckStation("x", &station);

        ASSERT_EQ(driver.Open(&settings.device), 1) << c.baud;
        EXPECT_EQ(driver.TakeCode(), kErrorStationAddress) << "a fresh open records nothing";
        CSerialPort& port = *driver.Port();
        ASSERT_NE(port.Handle(), nullptr);
        EXPECT_EQ(settings.device.portHandle, port.Handle());
        EXPECT_NE(CSerialLine::Find(line.PortIndex(), port.Handle()), nullptr);
        EXPECT_EQ(line.Users(settings.device.portHandle), 1);
        EXPECT_EQ(port.GetBaudRate(), c.baud);
        EXPECT_EQ(port.GetStopBits(), c.stopBits) << c.baud;
        EXPECT_EQ(port.GetEventMask(), static_cast<uint32_t>(EV_RXCHAR));
        COMMTIMEOUTS timeouts{};
        GetCommTimeouts(port.Handle(), &timeouts);
        EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 30u);
        EXPECT_EQ(driver.RtsControl(), 2);
        EXPECT_EQ(driver.ResponseTimeout(), 321u);

        HANDLE published = settings.device.portHandle;
        EXPECT_EQ(driver.Close(0), 1);
        EXPECT_EQ(driver.TakeCode(), kErrorNone);
        EXPECT_EQ(port.Handle(), nullptr);
        EXPECT_EQ(line.Users(settings.device.portHandle), 0);
        EXPECT_FALSE(CSerialLine::IsPublished(line.PortIndex()));
        EXPECT_EQ(settings.device.portHandle, published);
        EXPECT_EQ(driver.RtsControl(), 2);
    }
}

TEST(LinkOpenLine, LineFormatOutsideTheTablesOpensNothing) {
    Line line;
    const struct {
        uint32_t baudIndex;
        int16_t parityIndex;
    } cases[] = {{15, 2}, {0xFFFFFFFF, 2}, {6, 5}, {6, -1}};
    TestDriver driver;
    for (const auto& c : cases) {
        HostSettings settings(line.PortIndex());
        settings.link.baudIndex = c.baudIndex;
        settings.link.parityIndex = c.parityIndex;
        EXPECT_EQ(driver.Open(&settings.device), 0) << c.baudIndex << "/" << c.parityIndex;
        EXPECT_EQ(driver.TakeCode(), kErrorInitDevice);
        EXPECT_EQ(driver.Port()->Handle(), nullptr);
        EXPECT_EQ(settings.device.portHandle, nullptr);
        EXPECT_EQ(line.Users(settings.device.portHandle), 0);
    }
    HostSettings settings(line.PortIndex());
    EXPECT_EQ(driver.Open(&settings.device), 1);
    EXPECT_TRUE(ReadsRegister(driver));
}

// Whether it is the same driver object or another one with its own
// settings record, a port the module holds open is not opened again.
TEST(LinkOpenLine, OpeningAnOpenLinkAgainFailsAndKeepsIt) {
    Line line;
    HostSettings settings(line.PortIndex());
    TestDriver driver;
    ASSERT_EQ(driver.Open(&settings.device), 1);
    HANDLE handle = driver.Port()->Handle();

    HostSettings again(line.PortIndex());
    EXPECT_EQ(driver.Open(&again.device), 0);
    EXPECT_EQ(driver.TakeCode(), kErrorInitDevice);
    EXPECT_EQ(driver.Port()->Handle(), handle);
    EXPECT_EQ(again.device.portHandle, nullptr);

    TestDriver other;
    EXPECT_EQ(other.Open(&again.device), 0);
    EXPECT_EQ(other.TakeCode(), kErrorInitDevice);
    EXPECT_EQ(other.Port()->Handle(), nullptr);

    EXPECT_EQ(line.Users(settings.device.portHandle), 1);
    EXPECT_TRUE(ReadsRegister(driver));
}

TEST(LinkShare, SecondDriverAdoptsTheLinkWhichOutlivesTheFirstClose) {
    Line line;
    HostSettings settings(line.PortIndex());
    TestDriver first;
    TestDriver second;
    ASSERT_EQ(first.Open(&settings.device), 1);
    ASSERT_EQ(second.Open(&settings.device), 1);
    EXPECT_EQ(second.TakeCode(), kErrorNone);
    EXPECT_EQ(second.Port()->Handle(), first.Port()->Handle());
    EXPECT_EQ(second.Port(), first.Port());
    EXPECT_EQ(line.Users(settings.device.portHandle), 2);
    EXPECT_TRUE(ReadsRegister(second));

    EXPECT_EQ(first.Close(0), 1);
    EXPECT_EQ(first.TakeCode(), kErrorNone);
    EXPECT_EQ(first.Port()->Handle(), nullptr);
    EXPECT_EQ(line.Users(settings.device.portHandle), 1);
    EXPECT_TRUE(ReadsRegister(second));
    EXPECT_FALSE(ReadsRegister(first));
    EXPECT_EQ(first.TakeCode(), kErrorWriteDevice);

    EXPECT_EQ(second.Close(0), 1);
    EXPECT_EQ(line.Users(settings.device.portHandle), 0);
    EXPECT_EQ(second.Port()->Handle(), nullptr);

    // The record still carries the closed handle: the port is opened anew.
    TestDriver third;
    ASSERT_EQ(third.Open(&settings.device), 1);
    EXPECT_EQ(settings.device.portHandle, third.Port()->Handle());
    EXPECT_EQ(line.Users(settings.device.portHandle), 1);
    EXPECT_TRUE(ReadsRegister(third));
}

TEST(LinkShare, DestroyingADriverGivesUpItsShare) {
    Line line;
    HostSettings settings(line.PortIndex());
    auto opener = std::make_unique<TestDriver>();
    auto adopter = std::make_unique<TestDriver>();
    ASSERT_EQ(opener->Open(&settings.device), 1);
    ASSERT_EQ(adopter->Open(&settings.device), 1);

    opener.reset();
    EXPECT_EQ(line.Users(settings.device.portHandle), 1);
    EXPECT_TRUE(ReadsRegister(*adopter));

    adopter.reset();
    EXPECT_EQ(line.Users(settings.device.portHandle), 0);
    TestDriver next;
    EXPECT_EQ(next.Open(&settings.device), 1);
    EXPECT_TRUE(ReadsRegister(next));
}

// Opening again keeps one share each, and applies a changed record to the
// line for every object sharing it; settings that cannot be applied leave
// the line as it is. A station demoted under the old line format is asked
// again under a new one.
TEST(LinkShare, OpeningAgainKeepsOneShareAndAppliesChangedSettings) {
    Line line;
    HostSettings settings(line.PortIndex());
    TestDriver opener;
    TestDriver adopter;
    ASSERT_EQ(opener.Open(&settings.device), 1);
    ASSERT_EQ(opener.Open(&settings.device), 1);
    ASSERT_EQ(adopter.Open(&settings.device), 1);
    ASSERT_EQ(adopter.Open(&settings.device), 1);
    EXPECT_EQ(line.Users(settings.device.portHandle), 2);
    CStationHealth& health = CSerialLine::Find(line.PortIndex(), settings.device.portHandle)->Health();
    const auto now = [] { return uint64_t{0}; };
    const struct {
        uint32_t baudIndex;
        int32_t result;
        int32_t code;
        int32_t baud;
        bool newFormat;  // what the line's users learned under the old one no longer holds
        modbus::Admission demotedStation;
    } cases[] = {
        {8, 1, kErrorNone, 19200, true, modbus::Admission::kSend},
        {9, 1, kErrorNone, 38400, true, modbus::Admission::kSend},
        {15, 0, kErrorInitDevice, 38400, false, modbus::Admission::kRefuse},
        {6, 1, kErrorNone, 9600, true, modbus::Admission::kSend},
        {6, 1, kErrorNone, 9600, false, modbus::Admission::kRefuse},
    };
    for (const auto& c : cases) {
        health.CountReply(17, false, 1, 10000, now);
        settings.link.baudIndex = c.baudIndex;
        const uint64_t generation = adopter.FormatGeneration();
        EXPECT_EQ(opener.Open(&settings.device), c.result) << c.baudIndex;
        EXPECT_EQ(opener.TakeCode(), c.code) << c.baudIndex;
        EXPECT_EQ(adopter.Port()->GetBaudRate(), c.baud) << c.baudIndex;
        EXPECT_EQ(adopter.FormatGeneration() != generation, c.newFormat) << c.baudIndex;
        EXPECT_EQ(line.Users(settings.device.portHandle), 2);
        EXPECT_EQ(health.Admit(17, now), c.demotedStation) << c.baudIndex;
    }
    EXPECT_TRUE(ReadsRegister(adopter));

    opener.Close(0);
    adopter.Close(0);
    EXPECT_EQ(line.Users(settings.device.portHandle), 0);
    EXPECT_FALSE(CSerialLine::IsPublished(line.PortIndex()));
}

}  // namespace
