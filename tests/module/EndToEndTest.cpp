// A host's whole path: the driver object made through COM opens a simulated
// serial line and reads a holding register from the slave behind it.
#include <gtest/gtest.h>

#include "support/HostDriver.h"
#include "support/LineFixture.h"

namespace {

bool HandleIsOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

// Open, then read 4x100 of station 1.
uint16_t ReadHolding100(HostDriver& driver, int portIndex) {
    EXPECT_EQ(driver.Open(portIndex, kBaudIndex9600, 500), kSucceeded);
    int32_t station = 0;
    EXPECT_EQ(driver.Object()->CheckStation("1", &station), 1);
    const TagAddress tag = driver.Tag("4x100", kTypeUInt16);
    TagValue value = {};
    EXPECT_EQ(driver.Read(station, tag, value), kSucceeded);
    return value.wordValue;
}

}  // namespace

TEST(EndToEnd, HostReadsAHoldingRegisterThroughTheComObject) {
    LineFixture line(9600, {1});
    ASSERT_GE(line.PortIndex(), 0);
    line.SetHoldingRegister(1, 99, 1234);

    {
        HostDriver driver;
        ASSERT_TRUE(driver.Created());
        EXPECT_EQ(ReadHolding100(driver, line.PortIndex()), 1234);
        EXPECT_FALSE(line.Requests().empty());

        // The last reference goes without Close: the port's handle goes with
        // it, and the line is free for the next object.
        const HANDLE port = driver.PortHandle();
        ASSERT_TRUE(HandleIsOpen(port));
        EXPECT_EQ(driver.Release(), 0u);
        EXPECT_FALSE(HandleIsOpen(port));
        EXPECT_EQ(Korvel().canUnloadNow(), S_OK);
    }

    line.SetHoldingRegister(1, 99, 4321);
    HostDriver driver;
    ASSERT_TRUE(driver.Created());
    EXPECT_EQ(ReadHolding100(driver, line.PortIndex()), 4321);
    EXPECT_EQ(driver.Close(), kSucceeded);
    EXPECT_EQ(driver.Release(), 0u);
}
