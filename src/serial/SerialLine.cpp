// Opening, publishing and closing a line; the module-wide table of open
// lines by port index; losing the port and opening it again.
#include "serial/SerialLine.h"

#include <algorithm>
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
// Held by an Open from its look at the table to its publishing, so that two
// Opens never both find an index free: not every device refuses a second
// opener.
std::mutex g_openingLock;

std::atomic<uint64_t> g_formatGenerations{0};

uint64_t NextFormatGeneration() {
    return ++g_formatGenerations;
}

}  // namespace

CSerialLine::CSerialLine(std::unique_ptr<CSerialPort> port) : m_port(std::move(port)) {}

CSerialLine::~CSerialLine() {
    Close();
}

bool CSerialLine::IsPortIndex(int32_t index) {
    return index >= 0 && index < kPortCount;
}

// A share that is not handed out is dropped only after the lock: were it
// the last, closing the line would take the lock again.
std::shared_ptr<CSerialLine> CSerialLine::Find(int32_t index, HANDLE handle) {
    if (!IsPortIndex(index) || handle == nullptr) return nullptr;
    std::shared_ptr<CSerialLine> line;
    {
        std::lock_guard<std::mutex> guard(g_linesLock);
        line = g_lines[index].lock();
        if (line != nullptr) {
            std::lock_guard<std::mutex> handles(line->m_handlesLock);
            if (std::find(line->m_handles.begin(), line->m_handles.end(), handle) != line->m_handles.end()) {
                return line;
            }
        }
    }
    return nullptr;
}

bool CSerialLine::IsPublished(int32_t index) {
    std::lock_guard<std::mutex> guard(g_linesLock);
    return IsPortIndex(index) && !g_lines[index].expired();
}

uint32_t CSerialLine::Open(int32_t index, const serial::LineFormat& format) {
    std::lock_guard<std::mutex> opening(g_openingLock);
    if (IsPublished(index)) return ERROR_ACCESS_DENIED;
    m_index = index;
    const uint32_t code = OpenConfigured(format);
    if (code != 0) {
        m_index = -1;
        return code;
    }
    ForgetLineState();
    m_reconnect = modbus::CLinkReconnect();
    m_lost = false;
    {
        std::lock_guard<std::mutex> handles(m_handlesLock);
        m_handles.assign(1, m_port->Handle());
    }
    std::lock_guard<std::mutex> guard(g_linesLock);
    g_lines[index] = shared_from_this();
    return 0;
}

uint32_t CSerialLine::OpenConfigured(const serial::LineFormat& format) {
    char path[16];
    std::snprintf(path, sizeof(path), "\\\\.\\%s", PortName().c_str());
    if (uint32_t code = m_port->OpenPort(path, kQueueSize, kQueueSize)) return code;
    if (uint32_t code = m_port->SetLineFormat(format.baud, format.byteSize, format.parity, format.stopBits)) {
        m_port->ClosePort();
        return code;
    }
    m_format = format;
    m_formatGeneration = NextFormatGeneration();
    m_port->SetEventMask(kReceivedCharEvent);
    m_port->SetHandshake(kHandshakeRtsEnabled);
    m_port->SetReadTimeouts(kReadTimeoutsShort);
    m_port->GetTimeouts(m_openTimeouts);
    m_timeouts = m_openTimeouts;
    return 0;
}

void CSerialLine::ForgetLineState() {
    m_health.Forget();
    m_lineQuietAt = 0;
    m_lateReplyUntil = 0;
    m_lateReplyPossible = false;
}

std::string CSerialLine::PortName() const {
    return "COM" + std::to_string(m_index + 1);
}

bool CSerialLine::Available(const LineUse& use, ILineObserver* observer) {
    if (!m_lost) return true;
    std::lock_guard<std::mutex> turn(m_exchangeLock);
    return !m_reconnect.IsLost() || TryReopen(use, observer);
}

// The dead handle is closed at once: some systems let the device be opened
// again only once every handle to it is closed.
void CSerialLine::LosePort(uint32_t code, const LineUse& use, ILineObserver* observer) {
    m_port->ClosePort();
    m_lost = true;
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
uint32_t CSerialLine::Configure(const serial::LineFormat& format) {
    std::lock_guard<std::mutex> turn(m_exchangeLock);
    if (format == m_format) return 0;
    if (!m_reconnect.IsLost()) {
        if (uint32_t code = m_port->SetLineFormat(format.baud, format.byteSize, format.parity, format.stopBits)) {
            return code;
        }
    }
    m_format = format;
    m_formatGeneration = NextFormatGeneration();
    m_health.Forget();
    return 0;
}

void CSerialLine::RestoreOpenTimeouts() {
    if (std::memcmp(&m_timeouts, &m_openTimeouts, sizeof m_timeouts) == 0) return;
    if (m_port->SetTimeouts(m_openTimeouts)) m_timeouts = m_openTimeouts;
}

// The entry goes first: a new line can take the index only once the port
// below is closed, and then it is not disturbed.
void CSerialLine::Close() {
    if (m_index >= 0) {
        std::lock_guard<std::mutex> guard(g_linesLock);
        UnpublishLocked();
    }
    ClosePort();
}

// The use count cannot grow meanwhile: a line's only user takes no copies,
// and others get a share only through Find, under the same lock.
bool CSerialLine::CloseIfLastUser(const std::shared_ptr<CSerialLine>& line) {
    std::lock_guard<std::mutex> guard(g_linesLock);
    if (line.use_count() > 1) return false;
    line->UnpublishLocked();
    line->ClosePort();
    return true;
}

// Compares owners rather than taking a share, which could be the last.
void CSerialLine::UnpublishLocked() {
    if (m_index < 0) return;
    std::weak_ptr<CSerialLine>& entry = g_lines[m_index];
    const std::weak_ptr<CSerialLine> self = weak_from_this();
    const bool ours = !entry.owner_before(self) && !self.owner_before(entry);
    if (ours || entry.expired()) entry.reset();
    m_index = -1;
}

// Setting every event ends a wait for a port event still pending on the
// handle, so that the exchange holding the line gives it up soon. A closed
// line is no longer lost: nothing opens it again.
void CSerialLine::ClosePort() {
    m_port->SetEventMask(kEveryEvent);
    std::lock_guard<std::mutex> turn(m_exchangeLock);
    if (m_port->IsOpen()) m_port->ClosePort();
    m_reconnect = modbus::CLinkReconnect();
    m_lost = false;
}
