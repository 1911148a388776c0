// The send phase every exchange shares, and how an exchange gives up.
#include <algorithm>

#include "driver/SerialDriverBase.h"
#include "serial/LineControl.h"
#include "serial/SerialPort.h"

namespace {

constexpr uint32_t kRtsHoldMs = 5;

// Modes 1 and 2 key RTS by hand around each request.
bool KeysRts(int32_t rtsControl) {
    return rtsControl == 1 || rtsControl == 2;
}

}  // namespace

// Spins rather than sleeps: a sleep may last a whole scheduler tick, far
// longer than the RTS hold. Unsigned differences stay right across the
// tick counter's wrap.
void CSerialDriverBase::BusyWait(uint32_t ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
    }
}

int CSerialDriverBase::FailExchange(std::string& data, int32_t& length, int32_t code) {
    data.clear();
    length = 0;
    m_error.SetCode(code);
    return 0;
}

// Whatever waits in the input queue is dropped first, so that a late reply
// to an earlier request cannot become the start of this one's reply. After
// a failed write RTS stays on; the next exchange lowers it.
int CSerialDriverBase::SendRequest(std::string& data, int32_t& length, uint32_t writeTimeout) {
    if (m_port == nullptr) return FailExchange(data, length, kErrorWriteDevice);
    HANDLE handle = m_port->m_handle;
    line::DiscardInput(handle);
    if (KeysRts(m_rtsControl)) line::KeyRts(handle, true);
    auto count = static_cast<uint32_t>(std::clamp<int64_t>(length, 0, static_cast<int64_t>(data.size())));
    if (m_port->WriteData(data.data(), count, nullptr, nullptr, writeTimeout) != 0) {
        return FailExchange(data, length, kErrorWriteDevice);
    }
    if (KeysRts(m_rtsControl)) {
        BusyWait(kRtsHoldMs);
        line::KeyRts(handle, false);
    }
    return 1;
}
