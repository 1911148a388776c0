// Opening and closing a serial line's port; losing the port and opening it
// again.
#include "serial/SerialLine.h"

#include <algorithm>
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

bool CSerialLine::Owns(HANDLE handle) const {
    std::lock_guard<std::mutex> handles(m_handlesLock);
    return std::find(m_handles.begin(), m_handles.end(), handle) != m_handles.end();
}

uint32_t CSerialLine::Open(int32_t index, const line::LineFormat& format) {
    return OpenPublished(index, [&]() -> uint32_t {
        if (uint32_t code = OpenConfigured(format)) return code;
        ForgetLineState();
        m_reconnect = line::CLinkReconnect();
        m_lost = false;
        std::lock_guard<std::mutex> handles(m_handlesLock);
        m_handles.assign(1, m_port->Handle());
        return 0;
    });
}

uint32_t CSerialLine::OpenConfigured(const line::LineFormat& format) {
    char path[16];
    std::snprintf(path, sizeof(path), "\\\\.\\%s", PortName().c_str());
    if (uint32_t code = m_port->OpenPort(path, kQueueSize, kQueueSize)) return code;
    if (uint32_t code = m_port->SetLineFormat(format.baud, format.byteSize, format.parity, format.stopBits)) {
        m_port->ClosePort();
        return code;
    }
    m_format = format;
    NewFormatGeneration();
    m_port->SetEventMask(kReceivedCharEvent);
    m_port->SetHandshake(kHandshakeRtsEnabled);
    m_port->SetReadTimeouts(kReadTimeoutsShort);
    m_port->GetTimeouts(m_openTimeouts);
    m_timeouts = m_openTimeouts;
    return 0;
}

void CSerialLine::ForgetLineState() {
    m_health.Forget();
    m_placer.Forget();
}

bool CSerialLine::Available(const LineUse& use, ILineObserver* observer) {
    if (!m_lost) return true;
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    return !m_reconnect.IsLost() || TryReopen(use, observer);
}

// The dead handle is closed at once: some systems let the device be opened
// again only once every handle to it is closed.
void CSerialLine::LosePort(uint32_t code, const LineUse& use, ILineObserver* observer) {
    m_port->ClosePort();
    m_lost = true;
    NewLossGeneration();
    if (m_reconnect.MarkLost(GetTickCount64(), use.reopen) && observer != nullptr) {
        observer->OnPortLost(PortName(), code);
    }
}

// The purge of opening the port drops whatever an adapter brought along.
bool CSerialLine::TryReopen(const LineUse& use, ILineObserver* observer) {
    if (!m_reconnect.AttemptDue(GetTickCount64())) return false;
    if (OpenConfigured(m_format) != 0) {
        m_reconnect.AttemptFailed(GetTickCount64(), use.reopen);
        return false;
    }
    ForgetLineState();
    RememberHandle();
    const uint64_t lostForMs = m_reconnect.Restored(GetTickCount64());
    m_lost = false;
    if (observer != nullptr) observer->OnPortReopened(PortName(), lostForMs);
    return true;
}

void CSerialLine::RememberHandle() {
    std::lock_guard<std::mutex> handles(m_handlesLock);
    if (std::find(m_handles.begin(), m_handles.end(), m_port->Handle()) == m_handles.end()) {
        m_handles.push_back(m_port->Handle());
    }
}

// A lost port takes the format when it is opened again.
uint32_t CSerialLine::Configure(const line::LineFormat& format) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    if (format == m_format) return 0;
    if (!m_reconnect.IsLost()) {
        if (uint32_t code = m_port->SetLineFormat(format.baud, format.byteSize, format.parity, format.stopBits)) {
            return code;
        }
    }
    m_format = format;
    NewFormatGeneration();
    m_health.Forget();
    m_placer.ForgetEcho();
    return 0;
}

void CSerialLine::RestoreOpenTimeouts() {
    if (std::memcmp(&m_timeouts, &m_openTimeouts, sizeof m_timeouts) == 0) return;
    if (m_port->SetTimeouts(m_openTimeouts)) m_timeouts = m_openTimeouts;
}

// Setting every event ends a wait for a port event still pending on the
// handle, so that the exchange holding the line gives it up soon. A closed
// line is no longer lost: nothing opens it again.
void CSerialLine::CloseCarrier() {
    m_port->SetEventMask(kEveryEvent);
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    if (m_port->IsOpen()) m_port->ClosePort();
    m_reconnect = line::CLinkReconnect();
    m_lost = false;
}
