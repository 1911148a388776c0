#include "serial/PortByteSource.h"

#include "serial/SerialPort.h"

namespace {

// The port's time-outs bound every read. The wait for it gives up this long
// after them only where the system lost them (Wine can, while a read takes
// in bytes), and the read then ends with what it brought, as its time-outs
// would have ended it.
constexpr uint32_t kLostTimeoutsMarginMs = 1000;

}  // namespace

CPortByteSource::CPortByteSource(CSerialPort& port, COMMTIMEOUTS& current) : m_port(port), m_current(current) {}

// Asks the device only when the time-outs change: reads in a row, and
// exchanges in a row, mostly want the same.
uint32_t CPortByteSource::Limit(uint32_t intervalMs, uint32_t totalMs) {
    if (m_current.ReadIntervalTimeout == intervalMs && m_current.ReadTotalTimeoutMultiplier == 0 &&
        m_current.ReadTotalTimeoutConstant == totalMs) {
        return 0;
    }
    COMMTIMEOUTS wanted = m_current;
    wanted.ReadIntervalTimeout = intervalMs;
    wanted.ReadTotalTimeoutMultiplier = 0;
    wanted.ReadTotalTimeoutConstant = totalMs;
    if (!m_port.SetTimeouts(wanted)) return GetLastError();
    m_current = wanted;
    return 0;
}

uint32_t CPortByteSource::Read(std::string& into, uint32_t count, uint32_t intervalMs, uint32_t totalMs,
                               uint32_t& got) {
    got = 0;
    if (uint32_t code = Limit(intervalMs, totalMs)) return code;
    const size_t held = into.size();
    into.resize(held + count);
    const uint32_t waitMs = totalMs < INFINITE - kLostTimeoutsMarginMs ? totalMs + kLostTimeoutsMarginMs : totalMs;
    const uint32_t code = m_port.ReadData(&into[held], count, &got, nullptr, waitMs);
    into.resize(held + got);
    return code == ERROR_TIMEOUT ? 0 : code;
}

bool CPortByteSource::BytesWaiting() {
    return m_port.QueuedBytes() > 0;
}

void CPortByteSource::WaitUntilUs(int64_t then) {
    while (m_clock.NowUs() < then) SwitchToThread();
}
