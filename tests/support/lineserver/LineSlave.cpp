#include "LineSlave.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr int kPollMs = 20;

// A request cut short ends after this much silence: four characters, but no
// less than the pacing relay may fall behind on a busy machine, where a
// wake-up late by tens of milliseconds would otherwise cut a whole request in two.
int SilenceMs(uint32_t baud) {
    return std::max(100, static_cast<int>(4 * 10 * 1000 / baud) + 1);
}

}  // namespace

bool LineSlave::SwitchStation(int, bool) {
    return false;
}

bool LineSlave::Lack(Table, int, uint16_t, bool) {
    return false;
}

bool LineSlave::Refuse(const Refusal&) {
    return false;
}

bool LineSlave::Accept(int) {
    return false;
}

std::vector<Bytes> LineSlave::Requests() {
    std::lock_guard<std::mutex> lock(m_logMutex);
    return m_requests;
}

void LineSlave::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_logMutex);
    m_requests.clear();
}

void LineSlave::LogRequest(const Bytes& frame) {
    std::lock_guard<std::mutex> lock(m_logMutex);
    m_requests.push_back(frame);
}

void ReceiveFrames(int fd, uint32_t baud, const std::atomic<bool>& running,
                   const std::function<void(const Bytes&)>& receive) {
    const int silenceMs = SilenceMs(baud);
    Bytes pending;
    while (running) {
        pollfd ready{fd, POLLIN, 0};
        int polled = poll(&ready, 1, pending.empty() ? kPollMs : silenceMs);
        uint8_t chunk[512];
        ssize_t n = polled > 0 && (ready.revents & POLLIN) ? read(fd, chunk, sizeof chunk) : 0;
        if (n > 0) pending.insert(pending.end(), chunk, chunk + n);
        else if (polled > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        for (const Bytes& frame : TakeWholeFrames(pending, RequestLength)) receive(frame);
        if (polled == 0 && !pending.empty()) {
            receive(pending);
            pending.clear();
        }
    }
}
