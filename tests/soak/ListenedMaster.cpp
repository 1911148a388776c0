#include "ListenedMaster.h"

#include <iterator>

#include "support/FrameBytes.h"
#include "support/LineFixture.h"
#include "tools/RawPort.h"

namespace {

// A reply, or the rest of one, comes this much later than the device's
// turnaround and the wire time allow before the master takes it as missing:
// room for Wine's scheduling on a busy machine, below the listener's
// time-out (1 s). A read returns as soon as its bytes came, so the room costs
// nothing on a healthy line. The absent station answers nothing, and the
// wait for it is kept short so that the line stays busy.
constexpr uint32_t kReplySlackMs = 800;
constexpr uint32_t kAbsentSlackMs = 20;
// Behind a broken reply the master lets the line fall quiet before it asks
// again, as a master does.
constexpr uint32_t kSettleMs = 200;
// One request in this many goes to the absent station.
constexpr uint32_t kAbsentEvery = 25;
// Requests reach registers 1..kAddressSpan, so that reads of the lacking
// station often cover its lacked register.
constexpr uint32_t kAddressSpan = 60;

struct RequestKind {
    uint8_t function;
    uint32_t mostItems;  // a read's count, or a write of many's
};
// Reads are weighted as a master's usually are: holding registers most.
constexpr RequestKind kKinds[] = {{0x03, 20}, {0x03, 20}, {0x03, 20}, {0x04, 20}, {0x01, 40},
                                  {0x02, 40}, {0x05, 1},  {0x06, 1},  {0x0F, 20}, {0x10, 8}};

void PutWord(std::string& frame, uint32_t word) {
    frame.push_back(static_cast<char>(word >> 8));
    frame.push_back(static_cast<char>(word & 0xFF));
}

}  // namespace

CListenedMaster::CListenedMaster(LineFixture& line, uint32_t baud, uint32_t seed, uint32_t firstMs, uint32_t mostMs)
    : m_line(line), m_baud(baud), m_draw(seed), m_turnaround(firstMs, mostMs) {
    m_port = OpenRawPort(line.DevicePath(), baud);
    m_line.LackHoldingRegister(kLackingStation, kLackedRegister);
    if (firstMs == mostMs) m_line.SetTurnaround(firstMs);
}

CListenedMaster::~CListenedMaster() {
    if (Opened()) CloseHandle(m_port);
}

void CListenedMaster::AskOnce() {
    // The line server draws no turnaround of its own; the master sets each
    // reply's before its request, off the line's time.
    if (m_turnaround.min() != m_turnaround.max()) m_line.SetTurnaround(m_turnaround(m_draw));
    const std::string request = DrawRequest();
    DWORD written = 0;
    WriteFile(m_port, request.data(), static_cast<DWORD>(request.size()), &written, nullptr);
    m_log.push_back({request, TakeReply(request)});
}

std::string CListenedMaster::DrawRequest() {
    const RequestKind& kind = kKinds[m_draw() % std::size(kKinds)];
    const int station = m_draw() % kAbsentEvery == 0 ? kAbsentStation : kStations[m_draw() % std::size(kStations)];
    const uint32_t items = 1 + m_draw() % kind.mostItems;
    std::string frame = Frame({station, kind.function});
    PutWord(frame, m_draw() % kAddressSpan);
    switch (kind.function) {
    case 0x05: PutWord(frame, m_draw() % 2 ? 0xFF00 : 0x0000); break;
    case 0x06: PutWord(frame, m_draw() & 0xFFFF); break;
    case 0x0F:
        PutWord(frame, items);
        frame.push_back(static_cast<char>((items + 7) / 8));
        for (uint32_t i = 0; i < (items + 7) / 8; ++i) frame.push_back(static_cast<char>(m_draw() & 0xFF));
        break;
    case 0x10:
        PutWord(frame, items);
        frame.push_back(static_cast<char>(items * 2));
        for (uint32_t i = 0; i < items; ++i) PutWord(frame, m_draw() & 0xFFFF);
        break;
    default: PutWord(frame, items); break;
    }
    return WithCrc(frame);
}

// A reply is taken as a master takes it: its length from its first bytes.
std::string CListenedMaster::TakeReply(const std::string& request) {
    const uint32_t slackMs = request[0] == kAbsentStation ? kAbsentSlackMs : kReplySlackMs;
    std::string reply = Read(2, WireMs(request.size()) + m_turnaround.max() + slackMs);
    if (reply.size() == 2) {
        const uint8_t function = static_cast<uint8_t>(reply[1]);
        size_t rest = 6;
        if (function & 0x80) {
            rest = 3;
        } else if (function <= 0x04) {
            reply += Read(1, kReplySlackMs);
            rest = reply.size() == 3 ? static_cast<uint8_t>(reply[2]) + 2u : 0;
        }
        reply += Read(rest, WireMs(rest) + kReplySlackMs);
    }
    // What did not make a whole frame is dropped, as a master drops it.
    if (!reply.empty() && !HasValidCrc(reply)) {
        Sleep(kSettleMs);
        PurgeComm(m_port, PURGE_RXCLEAR);
    }
    return reply;
}

std::string CListenedMaster::Read(size_t count, uint32_t waitMs) {
    if (count == 0) return {};
    COMMTIMEOUTS timeouts{0, 0, waitMs, 0, 0};
    SetCommTimeouts(m_port, &timeouts);
    std::string bytes(count, '\0');
    DWORD got = 0;
    ReadFile(m_port, &bytes[0], static_cast<DWORD>(count), &got, nullptr);
    bytes.resize(got);
    return bytes;
}

uint32_t CListenedMaster::WireMs(size_t bytes) const {
    return static_cast<uint32_t>(bytes * 10 * 1000 / m_baud) + 1;
}
