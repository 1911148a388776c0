#pragma once
// A driver object without a COM object around it, owned by the test. Tests
// never call its QueryInterface, AddRef or Release.
#include <cstring>
#include <memory>
#include <utility>

#include "driver/DriverError.h"
#include "driver/HostRecords.h"
#include "driver/SerialDriverBase.h"
#include "serial/SerialPort.h"

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
        return m_port.get();
    }
    int32_t RtsControl() const {
        return m_rtsControl;
    }
    uint32_t ResponseTimeout() const {
        return m_responseTimeout;
    }
    void SetResponseTimeout(uint32_t ms) {
        m_responseTimeout = ms;
    }

    // The code behind the text GetErrorText hands out (which resets it);
    // -1 for a text that is none of the table's.
    int32_t TakeCode() {
        const char* text = GetErrorText();
        CDriverError table;
        for (int32_t code = 0; code <= 8; ++code) {
            table.SetCode(code);
            if (std::strcmp(table.GetText(0), text) == 0) return code;
        }
        return -1;
    }
};

// The host's settings record with its link parameters: 9600 baud, 8 data
// bits, no parity, one stop bit, no RTS keying, 500 ms response time-out.
struct HostSettings {
    explicit HostSettings(int16_t portIndex) {
        link.portIndex = portIndex;
        link.baudIndex = 6;
        link.eightDataBits = 1;
        link.twoStopBits = 0;
        link.parityIndex = 2;
        link.rtsControl = 0;
        link.responseTimeout = 500;
        device.link = &link;
    }
    HostSettings(const HostSettings&) = delete;
    HostSettings& operator=(const HostSettings&) = delete;

    LinkParameters link{};
    DeviceSettings device{};
};
