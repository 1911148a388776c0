#include "LineRelay.h"

#include <fcntl.h>
#include <algorithm>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kPollMs = 20;
// Only a reply whose length its first bytes do not give ends on silence.
constexpr int kReplySilenceMs = 10;
// The far end of a pty is closed: the COM port between two opens, or a
// stopped slave. Reading fails until it opens again.
constexpr auto kClosedEndRetry = std::chrono::milliseconds(2);

struct PtyRate {
    uint32_t baud;
    speed_t speed;
};

const PtyRate kPtyRates[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},     {9600, B9600},
                             {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

// Opening the pty for a moment is the only way to reach its input queue.
void DiscardUnread(const std::string& slavePath) {
    int fd = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    tcflush(fd, TCIFLUSH);
    close(fd);
}

// Appends what can be read within timeoutMs; returns how many bytes came.
size_t ReadSome(int fd, Bytes& into, int timeoutMs) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0) return 0;
    uint8_t chunk[512];
    ssize_t n = (ready.revents & POLLIN) ? read(fd, chunk, sizeof chunk) : -1;
    if (n <= 0) {
        std::this_thread::sleep_for(kClosedEndRetry);
        return 0;
    }
    into.insert(into.end(), chunk, chunk + n);
    return static_cast<size_t>(n);
}

}  // namespace

LineRelay::LineRelay(int comMaster, std::string comSlavePath, int deviceMaster, Clock::duration characterTime)
    : m_comMaster(comMaster),
      m_comSlavePath(std::move(comSlavePath)),
      m_deviceMaster(deviceMaster),
      m_towardsDevice(deviceMaster, characterTime),
      m_towardsCom(comMaster, characterTime),
      m_characterTime(characterTime),
      m_requestCarrier(&LineRelay::CarryRequests, this),
      m_replyCarrier(&LineRelay::CarryReplies, this) {}

LineRelay::~LineRelay() {
    Babble(false);
    m_stopping = true;
    m_requestCarrier.join();
    m_replyCarrier.join();
}

void LineRelay::ChangeNextFault(const std::function<void(ReplyFault&)>& change) {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    change(m_nextFault);
}

void LineRelay::SetBursts(const Bursts& bursts) {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    m_bursts = bursts;
}

void LineRelay::Babble(bool on) {
    if (on == m_babbling.exchange(on)) return;
    if (on) {
        m_babbler = std::thread(&LineRelay::RunBabble, this);
    } else {
        m_babbler.join();
    }
}

// Hands the writer a block at a time, as fast as the line carries it, and
// only while nothing else waits: a babbling device keeps the line busy, but
// does not hold back replies queued behind a backlog of its own.
void LineRelay::RunBabble() {
    constexpr size_t kBlock = 16;
    while (m_babbling) {
        if (m_towardsCom.Idle()) m_towardsCom.Send({std::chrono::milliseconds(0), Bytes(kBlock, 0)});
        std::this_thread::sleep_for(m_characterTime * kBlock);
    }
}

void LineRelay::RepeatNextFault(size_t replies) {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    m_faultRepeats = replies;
}

void LineRelay::CorruptEvery(size_t n) {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    m_corrupted.Set(n);
}

void LineRelay::DelayEvery(size_t n, std::chrono::milliseconds late) {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    m_delayed.Set(n);
    m_lateBy = late;
}

void LineRelay::SetTurnaround(std::chrono::milliseconds turnaround, std::chrono::milliseconds most) {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    m_turnaround = turnaround;
    m_turnaroundMost = std::max(turnaround, most);
}

void LineRelay::Tap(LineTap* tap) {
    const auto hear = [tap](const uint8_t* data, size_t count) { tap->Hear(data, count); };
    m_towardsDevice.SetTap(hear);
    m_towardsCom.SetTap(hear);
}

void LineRelay::SendFromDevice(Bytes bytes) {
    m_towardsCom.Send({std::chrono::milliseconds(0), std::move(bytes)});
}

bool LineRelay::HearOnlyAt(uint32_t baud) {
    for (const PtyRate& rate : kPtyRates) {
        if (rate.baud != baud) continue;
        m_onlyRate = rate.speed;
        return true;
    }
    return false;
}

// The master side of a pty reports the settings of its slave side.
bool LineRelay::ComPortHeard() const {
    termios settings{};
    return m_onlyRate == B0 || (tcgetattr(m_comMaster, &settings) == 0 && cfgetospeed(&settings) == m_onlyRate);
}

bool LineRelay::SilenceKept() {
    const std::chrono::milliseconds needed = m_neededSilence;
    return needed.count() == 0 || Clock::now() >= m_towardsCom.LastByteAt() + needed;
}

void LineRelay::CarryRequests() {
    bool comWasOpen = false;
    while (!m_stopping) {
        bool comOpen = IsFarEndOpen(m_comMaster);
        if (comWasOpen && !comOpen) DiscardUnread(m_comSlavePath);
        comWasOpen = comOpen;
        Bytes bytes;
        if (ReadSome(m_comMaster, bytes, kPollMs) == 0) continue;
        const bool heard = ComPortHeard() && SilenceKept();
        if (m_echo) m_towardsCom.Send({std::chrono::milliseconds(0), bytes});
        if (heard) m_towardsDevice.Send({std::chrono::milliseconds(0), bytes});
    }
}

// Gathers whole replies, so that a fault applies to one reply exactly.
void LineRelay::CarryReplies() {
    Bytes pending;
    while (!m_stopping) {
        size_t got = ReadSome(m_deviceMaster, pending, pending.empty() ? kPollMs : kReplySilenceMs);
        for (Bytes& reply : TakeWholeFrames(pending, ReplyLength)) ForwardReply(std::move(reply));
        if (got == 0 && !pending.empty()) {
            ForwardReply(pending);
            pending.clear();
        }
    }
}

// The byte the steady corruption inverts: inside any reply, the byte count
// or first data byte of a read, the address of a write's echo.
constexpr size_t kSteadyCorruptionIndex = 2;

void LineRelay::ForwardReply(Bytes reply) {
    ReplyFault fault;
    Bursts bursts;
    {
        std::lock_guard<std::mutex> lock(m_faultMutex);
        bursts = m_bursts;
        if (m_faultRepeats > 1) {
            fault = m_nextFault;
            --m_faultRepeats;
        } else {
            std::swap(fault, m_nextFault);
        }
        if (m_corrupted.Tick() && !fault.corruptIndex) fault.corruptIndex = kSteadyCorruptionIndex;
        if (m_delayed.Tick()) fault.delay += m_lateBy;
        fault.delay += std::chrono::milliseconds(std::uniform_int_distribution<int64_t>(
            m_turnaround.count(), m_turnaroundMost.count())(m_turnaroundDraw));
    }
    for (PacedPart& part : InBursts(PlanReply(fault, std::move(reply)), bursts)) m_towardsCom.Send(std::move(part));
}
