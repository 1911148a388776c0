// Opening and closing a serial line's port.
#include "serial/SerialLine.h"

#include <cstdio>
#include <cstring>

#include "serial/SerialPort.h"

namespace {

constexpr uint32_t kQueueSize = 2048;
constexpr uint32_t kReceivedCharEvent = EV_RXCHAR;
constexpr uint32_t kEveryEvent = 0xFFFFFFFF;
constexpr int32_t kHandshakeRtsEnabled = 2;
constexpr int32_t kReadTimeoutsShort = 2;

}  // namespace

CSerialLine::CSerialLine(std::unique_ptr<CSerialPort> port) : m_port(std::move(port)) {}

CSerialLine::~CSerialLine() {
    Close();
}

HANDLE CSerialLine::Handle() const {
    return m_port->Handle();
}

uint32_t CSerialLine::Open(int32_t index, const serial::LineFormat& format) {
    return OpenPublished(index, [&]() -> uint32_t {
        char path[16];
        std::snprintf(path, sizeof(path), "\\\\.\\COM%d", index + 1);
        if (uint32_t code = m_port->OpenPort(path, kQueueSize, kQueueSize)) return code;
        if (uint32_t code = m_port->SetLineFormat(format.baud, format.byteSize, format.parity, format.stopBits)) {
            m_port->ClosePort();
            return code;
        }
        m_format = format;
        m_health.Forget();
        m_lineQuietAt = 0;
        m_lateReplyUntil = 0;
        m_lateReplyPossible = false;
        m_port->SetEventMask(kReceivedCharEvent);
        m_port->SetHandshake(kHandshakeRtsEnabled);
        m_port->SetReadTimeouts(kReadTimeoutsShort);
        m_port->GetTimeouts(m_openTimeouts);
        m_timeouts = m_openTimeouts;
        return 0;
    });
}

uint32_t CSerialLine::Configure(const serial::LineFormat& format) {
    std::lock_guard<std::mutex> turn(m_exchangeLock);
    if (format == m_format) return 0;
    if (uint32_t code = m_port->SetLineFormat(format.baud, format.byteSize, format.parity, format.stopBits)) {
        return code;
    }
    m_format = format;
    m_health.Forget();
    return 0;
}

void CSerialLine::RestoreOpenTimeouts() {
    if (std::memcmp(&m_timeouts, &m_openTimeouts, sizeof m_timeouts) == 0) return;
    if (m_port->SetTimeouts(m_openTimeouts)) m_timeouts = m_openTimeouts;
}

// Setting every event ends a wait for a port event still pending on the
// handle, so that the exchange holding the line gives it up soon.
void CSerialLine::CloseCarrier() {
    m_port->SetEventMask(kEveryEvent);
    std::lock_guard<std::mutex> turn(m_exchangeLock);
    if (m_port->IsOpen()) m_port->ClosePort();
}
