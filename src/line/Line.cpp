// The module-wide table of open lines by port index: publishing, finding,
// and closing by the last user.
#include "line/Line.h"

#include <mutex>

namespace {

constexpr int32_t kPortCount = 64;

// Open lines by port index. Entries do not keep a line alive: its users do.
std::weak_ptr<CLine> g_lines[kPortCount];
std::mutex g_linesLock;
// Held by an open from its look at the table to its publishing.
std::mutex g_openingLock;

std::atomic<uint64_t> g_formatGenerations{0};

}  // namespace

bool CLine::IsPortIndex(int32_t index) {
    return index >= 0 && index < kPortCount;
}

// A share that is not handed out is dropped only after the lock: were it
// the last, closing the line would take the lock again.
std::shared_ptr<CLine> CLine::Find(int32_t index, HANDLE handle) {
    if (!IsPortIndex(index) || handle == nullptr) return nullptr;
    std::shared_ptr<CLine> line;
    {
        std::lock_guard<std::mutex> guard(g_linesLock);
        line = g_lines[index].lock();
        if (line != nullptr && line->Owns(handle)) return line;
    }
    return nullptr;
}

bool CLine::IsPublished(int32_t index) {
    std::lock_guard<std::mutex> guard(g_linesLock);
    return IsPortIndex(index) && !g_lines[index].expired();
}

uint32_t CLine::OpenPublished(int32_t index, const std::function<uint32_t()>& open) {
    std::lock_guard<std::mutex> opening(g_openingLock);
    if (IsPublished(index)) return ERROR_ACCESS_DENIED;
    m_index = index;
    if (uint32_t code = open()) {
        m_index = -1;
        return code;
    }
    std::lock_guard<std::mutex> guard(g_linesLock);
    g_lines[index] = shared_from_this();
    return 0;
}

std::string CLine::PortName() const {
    return "COM" + std::to_string(m_index + 1);
}

void CLine::NewFormatGeneration() {
    m_formatGeneration = ++g_formatGenerations;
}

// The entry goes first: a new line can take the index only once the carrier
// below is closed, and then it is not disturbed.
void CLine::Close() {
    if (m_index >= 0) {
        std::lock_guard<std::mutex> guard(g_linesLock);
        UnpublishLocked();
    }
    CloseCarrier();
}

// The use count cannot grow meanwhile: a line's only user takes no copies,
// and others get a share only through Find, under the same lock.
bool CLine::CloseIfOnlyUser(CLine& line, const std::function<long()>& useCount) {
    std::lock_guard<std::mutex> guard(g_linesLock);
    if (useCount() > 1) return false;
    line.UnpublishLocked();
    line.CloseCarrier();
    return true;
}

// Compares owners rather than taking a share, which could be the last.
void CLine::UnpublishLocked() {
    if (m_index < 0) return;
    std::weak_ptr<CLine>& entry = g_lines[m_index];
    const std::weak_ptr<CLine> self = weak_from_this();
    const bool ours = !entry.owner_before(self) && !self.owner_before(entry);
    if (ours || entry.expired()) entry.reset();
    m_index = -1;
}

ExchangeResult CLine::Emptied(std::string& data, int32_t& length, ExchangeResult result) {
    data.clear();
    length = 0;
    return result;
}
