// The polled exchanges: after the request, watch the input queue every
// 10 ms until bytes arrive or the response time-out passes, then read the
// reply in chunks until the line falls quiet.
#include <algorithm>
#include <vector>

#include "driver/SerialDriverBase.h"
#include "serial/LineControl.h"
#include "serial/SerialPort.h"

namespace {

constexpr DWORD kPauseMs = 10;
constexpr uint32_t kChunkSize = 10;
constexpr uint32_t kNoReadLimit = INFINITE;

}  // namespace

// Returns the bytes queued at the first poll that finds some, or 0 once
// m_responseTimeout / 10 further polls found none.
uint32_t CSerialDriverBase::AwaitReply() {
    const uint32_t bound = m_responseTimeout / 10;
    for (uint32_t pass = 1;; ++pass) {
        Sleep(kPauseMs);
        uint32_t queued = line::QueuedBytes(m_port->m_handle);
        if (queued > 0) return queued;
        if (pass > bound) return 0;
    }
}

// Appends chunks until a read brings nothing. Bounded by the queue, a read
// never asks for more than is waiting, so an empty queue ends the reply at
// once. Returns the port's code of a failed read, keeping what came before.
uint32_t CSerialDriverBase::ReadChunks(std::string& data, int32_t& length, bool boundedByQueue) {
    char chunk[kChunkSize];
    for (;;) {
        Sleep(kPauseMs);
        uint32_t wanted = boundedByQueue ? std::min(line::QueuedBytes(m_port->m_handle), kChunkSize) : kChunkSize;
        if (wanted == 0) return 0;
        uint32_t count = 0;
        if (uint32_t code = m_port->ReadData(chunk, wanted, &count, nullptr, kNoReadLimit)) return code;
        if (count == 0) return 0;
        data.append(chunk, count);
        length += static_cast<int32_t>(count);
    }
}

int CSerialDriverBase::ExchangePolled(std::string& data, int32_t& length, const void*, const void*) {
    if (!SendRequest(data, length, line::kWriteTimeoutMs)) return 0;
    if (AwaitReply() == 0) return FailExchange(data, length, kErrorWriteDevice);
    data.clear();
    length = 0;
    int ok = ReadChunks(data, length, false) == 0;
    m_error.SetCode(ok ? kErrorNone : kErrorReadDevice);
    return ok;
}

// Takes everything queued at the first poll in one read, then chunks of at
// most what is queued.
int CSerialDriverBase::ExchangePolledBulk(std::string& data, int32_t& length, const void*, const void*) {
    if (!SendRequest(data, length, line::kWriteTimeoutMs)) return 0;
    uint32_t queued = AwaitReply();
    if (queued == 0) return FailExchange(data, length, kErrorWriteDevice);
    data.clear();
    length = 0;
    std::vector<char> first(queued + kChunkSize);
    uint32_t count = 0;
    if (m_port->ReadData(first.data(), queued, &count, nullptr, kNoReadLimit) != 0) {
        return FailExchange(data, length, kErrorReadDevice);
    }
    data.assign(first.data(), count);
    length = static_cast<int32_t>(count);
    int ok = ReadChunks(data, length, true) == 0;
    m_error.SetCode(ok ? kErrorNone : kErrorReadDevice);
    return ok;
}
