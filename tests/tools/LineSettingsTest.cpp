#include <gtest/gtest.h>

#include "korvel-poll/host/LineSettings.h"

namespace {

TEST(LineSettings, BaudRatesMapToTheHostsIndexTable) {
    const uint32_t bauds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                              19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (uint32_t index = 0; index < 15; ++index) {
        LineOptions line;
        line.port = 1;
        ASSERT_EQ(SetBaud(line, std::to_string(bauds[index])), "");
        EXPECT_EQ(ToLinkParameters(line).baudIndex, index) << bauds[index];
    }
}

TEST(LineSettings, ParityNamesMapToTheHostsOrderNotWin32s) {
    struct Case {
        const char* name;
        int16_t index;
    };
    const Case cases[] = {{"odd", 0}, {"even", 1}, {"none", 2}, {"mark", 3}, {"SPACE", 4}};
    for (const Case& c : cases) {
        LineOptions line;
        line.port = 1;
        ASSERT_EQ(SetParity(line, c.name), "");
        EXPECT_EQ(ToLinkParameters(line).parityIndex, c.index) << c.name;
    }
}

TEST(LineSettings, TheRestOfTheRecord) {
    LineOptions line;
    ASSERT_EQ(SetPort(line, "COM10"), "");
    ASSERT_EQ(SetDataBits(line, "7"), "");
    ASSERT_EQ(SetStopBits(line, "2"), "");
    ASSERT_EQ(SetRts(line, "2"), "");
    ASSERT_EQ(SetTimeout(line, "750"), "");
    LinkParameters link = ToLinkParameters(line);
    EXPECT_EQ(link.portIndex, 9);
    EXPECT_EQ(link.eightDataBits, 0);
    EXPECT_EQ(link.twoStopBits, 1);
    EXPECT_EQ(link.rtsControl, 2);
    EXPECT_EQ(link.responseTimeout, 750u);
    EXPECT_EQ(DescribeLine(line), "COM10 9600 7N2");

    LineOptions first;
    first.port = 1;
    LinkParameters defaults = ToLinkParameters(first);
    EXPECT_EQ(defaults.portIndex, 0);
    EXPECT_EQ(defaults.baudIndex, 6u);
    EXPECT_EQ(defaults.eightDataBits, 1);
    EXPECT_EQ(defaults.twoStopBits, 0);
    EXPECT_EQ(defaults.parityIndex, 2);
    EXPECT_EQ(defaults.rtsControl, 0);
    EXPECT_EQ(defaults.responseTimeout, 1000u);
}

TEST(LineSettings, TheCommonSettingsGoRateByRateThroughTheCommonParities) {
    LineOptions given;
    given.port = 4;
    given.stopBits = 2;
    std::vector<LineOptions> settings = CommonLineSettings(given);
    ASSERT_EQ(settings.size(), 18u);
    EXPECT_EQ(DescribeLine(settings[0]), "COM4 9600 8N2");
    EXPECT_EQ(DescribeLine(settings[1]), "COM4 9600 8E2");
    EXPECT_EQ(DescribeLine(settings[2]), "COM4 9600 8O2");
    EXPECT_EQ(DescribeLine(settings[3]), "COM4 19200 8N2");
    EXPECT_EQ(DescribeLine(settings[17]), "COM4 2400 8O2");
}

TEST(LineSettings, PortsAreWrittenAsComNOrNOrAsANetworkLine) {
    const struct {
        const char* text;
        int port;
        const char* described;
        const char* settings;
    } good[] = {
        {"1", 1, "COM1 9600 8N1", ""},
        {"COM1", 1, "COM1 9600 8N1", ""},
        {"com64", 64, "COM64 9600 8N1", ""},
        {"Com7", 7, "COM7 9600 8N1", ""},
        {"064", 64, "COM64 9600 8N1", ""},
        {"modbus-tcp://10.0.0.5:502", 64, "modbus-tcp://10.0.0.5:502", "transport=modbus-tcp;endpoint=10.0.0.5:502"},
        {"RTU-over-TCP://gw-2.plant:4001", 64, "rtu-over-tcp://gw-2.plant:4001",
         "transport=rtu-over-tcp;endpoint=gw-2.plant:4001"},
    };
    for (const auto& g : good) {
        LineOptions line;
        EXPECT_EQ(SetPort(line, g.text), "") << g.text;
        EXPECT_EQ(line.port, g.port) << g.text;
        EXPECT_EQ(DescribeLine(line), g.described);
        EXPECT_EQ(NetworkLineSettings(line), g.settings);
    }
    for (const char* bad : {"", "0", "65", "COM", "COM-1", "COM 3", "/dev/ttyS0", "3a", "tcp://10.0.0.5:502",
                            "modbus-tcp://10.0.0.5", "modbus-tcp://:502", "rtu-over-tcp://gw:70000"}) {
        LineOptions line;
        EXPECT_NE(SetPort(line, bad), "") << bad;
        EXPECT_EQ(line.port, 0) << bad;
    }
}

}  // namespace
