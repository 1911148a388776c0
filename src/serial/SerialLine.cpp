// Opening, publishing and closing a line; the module-wide table of open
// lines by port index.
#include "serial/SerialLine.h"

#include <cstdio>
#include <cstring>

#include "serial/SerialPort.h"

namespace {

constexpr int32_t kPortCount = 64;
constexpr uint32_t kQueueSize = 2048;
constexpr uint32_t kReceivedCharEvent = EV_RXCHAR;
constexpr uint32_t kEveryEvent = 0xFFFFFFFF;
constexpr int32_t kHandshakeRtsEnabled = 2;
constexpr int32_t kReadTimeoutsShort = 2;

// Open lines by port index. Entries do not keep a line alive: its users do.
std::weak_ptr<CSerialLine> g_lines[kPortCount];
std::mutex g_linesLock;

}  // namespace

CSerialLine::CSerialLine(std::unique_ptr<CSerialPort> port) : m_port(std::move(port)) {}

CSerialLine::~CSerialLine() {
    Close();
}

bool CSerialLine::IsPortIndex(int32_t index) {
    return index >= 0 && index < kPortCount;
}

std::shared_ptr<CSerialLine> CSerialLine::Find(int32_t index, HANDLE handle) {
    if (!IsPortIndex(index) || handle == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(g_linesLock);
    std::shared_ptr<CSerialLine> line = g_lines[index].lock();
    return line != nullptr && line->m_port->Handle() == handle ? line : nullptr;
}

bool CSerialLine::IsPublished(int32_t index) {
    std::lock_guard<std::mutex> guard(g_linesLock);
    return IsPortIndex(index) && !g_lines[index].expired();
}

uint32_t CSerialLine::Open(int32_t index, const serial::LineFormat& format) {
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

    std::lock_guard<std::mutex> guard(g_linesLock);
    g_lines[index] = shared_from_this();
    m_index = index;
    return 0;
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

// The entry goes first: a new line can take the index only once the port
// below is closed, and then it is not disturbed. Setting every event also
// ends a wait for a port event still pending on the handle.
void CSerialLine::Close() {
    Unpublish();
    m_port->SetEventMask(kEveryEvent);
    if (m_port->IsOpen()) m_port->ClosePort();
}

void CSerialLine::Unpublish() {
    if (m_index < 0) return;
    std::lock_guard<std::mutex> guard(g_linesLock);
    std::shared_ptr<CSerialLine> published = g_lines[m_index].lock();
    if (published == nullptr || published.get() == this) g_lines[m_index].reset();
    m_index = -1;
}
