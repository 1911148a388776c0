#pragma once
// A driver object without a COM object around it, owned by the test. Tests
// never call its QueryInterface, AddRef or Release.
#include <memory>
#include <utility>

#include "driver/DriverError.h"
#include "driver/HostRecords.h"
#include "driver/SerialDriverBase.h"
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"
#include "support/ErrorTexts.h"
#include "support/HostLink.h"

class TestDriver : public CSerialDriverBase {
public:
    TestDriver() : TestDriver(std::make_unique<CSerialPort>()) {}
    explicit TestDriver(std::unique_ptr<CSerialPort> port) {
        AttachPort(std::move(port));
    }

    ptrdiff_t GetOuterOffset() override {
        return 0;
    }

    CSerialPort* Port() const {
        return SerialLine() != nullptr ? &SerialLine()->Port() : nullptr;
    }
    // Driver objects sharing this one's line, this one included.
    long LineUsers() const {
        return m_line.use_count();
    }
    int32_t RtsControl() const {
        return m_rtsControl;
    }
    uint32_t ResponseTimeout() const {
        return m_responseTimeout;
    }
    uint64_t FormatGeneration() const {
        return m_line->FormatGeneration();
    }
    void SetResponseTimeout(uint32_t ms) {
        m_responseTimeout = ms;
    }

    // The exchanges of the line, with the codes a driver records for them:
    // no port or no reply is a write error, a failed wait or read a read error.
    int ExchangeByEvent(std::string& data, int32_t& length, const uint32_t* responseTimeout,
                        const uint32_t* writeTimeout) {
        return OnLine(data, length, [&](CSerialLine& line) {
            return line.ExchangeByEvent(data, length, Use(), responseTimeout, writeTimeout);
        });
    }
    int ExchangePolled(std::string& data, int32_t& length, const void*, const void*) {
        return OnLine(data, length, [&](CSerialLine& line) { return line.ExchangePolled(data, length, Use()); });
    }
    int ExchangePolledBulk(std::string& data, int32_t& length, const void*, const void*) {
        return OnLine(data, length, [&](CSerialLine& line) { return line.ExchangePolledBulk(data, length, Use()); });
    }
    int ExchangeFramed(std::string& data, int32_t& length, const modbus::ReplyShape& reply) {
        return OnLine(data, length, [&](CSerialLine& line) { return line.ExchangeFramed(data, length, Use(), reply); });
    }

    // The code behind the text GetErrorText hands out (which resets it);
    // -1 for a text that belongs to no code.
    int32_t TakeCode() {
        return CodeOfText(GetErrorText());
    }

private:
    CSerialLine* SerialLine() const {
        return dynamic_cast<CSerialLine*>(m_line.get());
    }
    // A driver without a serial line fails as one whose port cannot send.
    template <typename Exchange>
    int OnLine(std::string& data, int32_t& length, const Exchange& exchange) {
        return Record(SerialLine() != nullptr ? exchange(*SerialLine()) : ExchangeResult::kSendFailed, data, length);
    }
    int Record(ExchangeResult result, std::string& data, int32_t& length) {
        static const int32_t kCodes[] = {kErrorNone,       kErrorWriteDevice, kErrorWriteDevice, kErrorReadDevice,
                                         kErrorReadDevice, kErrorReadDevice,  kErrorReadDevice};
        if (result == ExchangeResult::kSendFailed) {
            data.clear();
            length = 0;
        }
        m_error.SetCode(kCodes[static_cast<int>(result)]);
        return result == ExchangeResult::kReplied;
    }
};

// The host's settings record with its link parameters: 9600 baud, 8 data
// bits, no parity, one stop bit, no RTS keying, 500 ms response time-out.
struct HostSettings {
    explicit HostSettings(int16_t portIndex) : link(LinkAt9600(portIndex, 500)) {
        device.link = &link;
    }
    HostSettings(const HostSettings&) = delete;
    HostSettings& operator=(const HostSettings&) = delete;

    LinkParameters link{};
    DeviceSettings device{};
};
