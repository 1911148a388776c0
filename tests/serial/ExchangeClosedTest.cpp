// Exchanges that cannot send: no port, a closed port, a port whose write
// fails. Each ends with an empty reply and code 6.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "driver/TestDriver.h"
#include "line/LineFormat.h"

namespace {

class FailingWritePort : public CSerialPort {
public:
    uint32_t WriteData(const void*, uint32_t, uint32_t* written, OVERLAPPED*, uint32_t timeout) override {
        if (written != nullptr) *written = 0;
        lastTimeout = timeout;
        m_lastError = ERROR_WRITE_FAULT;
        return ERROR_WRITE_FAULT;
    }
    uint32_t lastTimeout = 0;
};

using Exchange = std::function<int(TestDriver&, std::string&, int32_t&)>;

struct ExchangeCase {
    const char* name;
    Exchange run;
};

const ExchangeCase kExchanges[] = {
    {"ExchangeByEvent",
     [](TestDriver& d, std::string& data, int32_t& length) {
         return d.ExchangeByEvent(data, length, nullptr, nullptr);
     }},
    {"ExchangePolled",
     [](TestDriver& d, std::string& data, int32_t& length) {
         return d.ExchangePolled(data, length, nullptr, nullptr);
     }},
    {"ExchangePolledBulk",
     [](TestDriver& d, std::string& data, int32_t& length) {
         return d.ExchangePolledBulk(data, length, nullptr, nullptr);
     }},
};

std::unique_ptr<CSerialPort> NoPort() {
    return nullptr;
}
std::unique_ptr<CSerialPort> ClosedPort() {
    return std::make_unique<CSerialPort>();
}
std::unique_ptr<CSerialPort> FailingPort() {
    return std::make_unique<FailingWritePort>();
}

TEST(ExchangeWithoutLine, SendFailureEmptiesTheBufferAndRecordsWriteError) {
    const struct {
        const char* port;
        std::unique_ptr<CSerialPort> (*make)();
    } ports[] = {{"no port", NoPort}, {"closed port", ClosedPort}, {"failing write", FailingPort}};
    for (const auto& port : ports) {
        for (const ExchangeCase& exchange : kExchanges) {
            TestDriver driver(port.make());
            std::string data("\x01\x03\x00\x00\x00\x01\x84\x0a", 8);
            int32_t length = 8;
            EXPECT_EQ(exchange.run(driver, data, length), 0) << exchange.name << ", " << port.port;
            EXPECT_EQ(length, 0) << exchange.name << ", " << port.port;
            EXPECT_TRUE(data.empty()) << exchange.name << ", " << port.port;
            EXPECT_EQ(driver.TakeCode(), kErrorWriteDevice) << exchange.name << ", " << port.port;
        }
    }
}

TEST(ExchangeWithoutLine, WriteTimeOutIsFixedWhenPolledAndFollowsTheSettingsByEvent) {
    const struct {
        const char* name;
        Exchange run;
        uint32_t writeTimeout;
    } cases[] = {
        {"polled", kExchanges[1].run, 2000},
        {"polled bulk", kExchanges[2].run, 2000},
        {"by event, no pointer", kExchanges[0].run, 700},
        {"by event, given",
         [](TestDriver& d, std::string& data, int32_t& length) {
             const uint32_t wait = 50;
             const uint32_t write = 90;
             return d.ExchangeByEvent(data, length, &wait, &write);
         },
         90},
    };
    for (const auto& c : cases) {
        auto port = std::make_unique<FailingWritePort>();
        FailingWritePort* failing = port.get();
        TestDriver driver(std::move(port));
        driver.SetResponseTimeout(700);
        std::string data("\x01", 1);
        int32_t length = 1;
        c.run(driver, data, length);
        EXPECT_EQ(failing->lastTimeout, c.writeTimeout) << c.name;
    }
}

// The wire time of a request: start bit, data bits, parity bit, stop bits for
// each character, at every rate of the host's table.
TEST(LineFormat, WireTimeCountsEveryBitOfEveryCharacter) {
    for (uint32_t index = 0; index < line::kBaudRateCount; ++index) {
        line::LineFormat format;
        ASSERT_TRUE(line::LineFormatOf(index, true, 2, false, format));
        const uint64_t baud = line::kBaudRates[index];
        EXPECT_EQ(line::WireMicroseconds(format, 8), (80 * 1000000 + baud - 1) / baud) << baud;
        EXPECT_EQ(line::WireMicroseconds(format, 73), (730 * 1000000 + baud - 1) / baud) << baud;
    }
    const struct {
        bool eightDataBits;
        int16_t parityIndex;
        bool twoStopBits;
        uint32_t bits;
    } formats[] = {{true, 2, false, 10}, {true, 1, false, 11}, {true, 0, true, 12}, {false, 2, false, 9},
                   {false, 1, true, 11}, {false, 2, true, 10}};
    for (const auto& f : formats) {
        line::LineFormat format;
        ASSERT_TRUE(line::LineFormatOf(6, f.eightDataBits, f.parityIndex, f.twoStopBits, format));
        EXPECT_EQ(line::CharacterBits(format), f.bits);
        EXPECT_EQ(line::WireMicroseconds(format, 8), (8 * f.bits * 1000000 + 9599) / 9600) << f.bits;
    }
}

}  // namespace
