// A host's whole path: the driver object made through COM opens a simulated
// serial line and reads a holding register from the slave behind it.
#include <gtest/gtest.h>

#include "support/ErrorTexts.h"
#include "support/KorvelHost.h"
#include "support/LineFixture.h"

namespace {

bool HandleIsOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

// A new driver object on the line: Open, then read 4x100 of station 1.
uint16_t ReadHolding100(IDeviceDriver* driver, int portIndex, DeviceSettings& settings, LinkParameters& link) {
    link = LinkAt9600(portIndex, 500);
    settings = {};
    settings.link = &link;
    EXPECT_EQ(driver->Open(&settings), 1) << driver->GetErrorText();
    int32_t station = 0;
    EXPECT_EQ(driver->CheckStation("1", &station), 1);
    TagAddress tag = {};
    tag.dataType = kTypeUInt16;
    EXPECT_EQ(driver->ParseAddress("4x100", &tag), 1);
    TagValue value = {};
    EXPECT_EQ(driver->Read(&station, &tag, &value), 1) << driver->GetErrorText();
    EXPECT_EQ(CodeOfText(driver->GetErrorText()), 0);
    return value.wordValue;
}

}  // namespace

TEST(EndToEnd, HostReadsAHoldingRegisterThroughTheComObject) {
    LineFixture line(9600, {1});
    ASSERT_GE(line.PortIndex(), 0);
    line.SetHoldingRegister(1, 99, 1234);

    auto* driver = CreateDriverObject<IDeviceDriver>(kIidDeviceDriver);
    ASSERT_NE(driver, nullptr);
    DeviceSettings settings = {};
    LinkParameters link = {};
    EXPECT_EQ(ReadHolding100(driver, line.PortIndex(), settings, link), 1234);
    EXPECT_FALSE(line.Requests().empty());

    // The last reference goes without Close: the port's handle goes with it,
    // and the line is free for the next object.
    ASSERT_TRUE(HandleIsOpen(settings.portHandle));
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_FALSE(HandleIsOpen(settings.portHandle));
    EXPECT_EQ(Korvel().canUnloadNow(), S_OK);

    line.SetHoldingRegister(1, 99, 4321);
    driver = CreateDriverObject<IDeviceDriver>(kIidDeviceDriver);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(ReadHolding100(driver, line.PortIndex(), settings, link), 4321);
    EXPECT_EQ(driver->Close(0), 1);
    EXPECT_EQ(driver->Release(), 0u);
}
