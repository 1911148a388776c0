// The send phase every exchange shares.
#include <algorithm>

#include "serial/LineClock.h"
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"

namespace {

constexpr uint32_t kRtsHoldMs = 5;

// Modes 1 and 2 key RTS by hand around each request.
bool KeysRts(int32_t rtsControl) {
    return rtsControl == 1 || rtsControl == 2;
}

}  // namespace

void BusyWait(uint32_t ms) {
    const CLineClock clock;
    const int64_t end = clock.Later(ms);
    while (clock.Now() < end) {
    }
}

// Whatever waits in the input queue is dropped first, so that a late reply
// to an earlier request cannot become the start of this one's reply. After
// a failed write RTS stays on; the next exchange lowers it. A failure
// empties the buffer.
ExchangeResult CSerialLine::SendRequest(std::string& data, int32_t& length, const LineUse& use,
                                        uint32_t writeTimeout) {
    m_port->DiscardInput();
    if (KeysRts(use.rtsControl)) m_port->KeyRts(true);
    auto count = static_cast<uint32_t>(std::clamp<int64_t>(length, 0, static_cast<int64_t>(data.size())));
    if (m_port->WriteData(data.data(), count, nullptr, nullptr, writeTimeout) != 0) {
        data.clear();
        length = 0;
        return ExchangeResult::kSendFailed;
    }
    if (KeysRts(use.rtsControl)) {
        BusyWait(kRtsHoldMs);
        m_port->KeyRts(false);
    }
    return ExchangeResult::kReplied;
}
