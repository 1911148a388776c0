// The polled exchanges: after the request, watch the input queue every
// 10 ms until bytes arrive or the response time-out passes, then read the
// reply in chunks until the line falls quiet.
#include <algorithm>
#include <vector>

#include "serial/SerialLine.h"
#include "serial/SerialPort.h"

namespace {

constexpr DWORD kPauseMs = 10;
constexpr uint32_t kChunkSize = 10;
// The read time-outs Open set end every read here within 30 ms. Wine loses a
// read's total time-out when it fires while the read takes in bytes, and the
// read then waits for every byte it asked for, for ever once the reply has
// ended. Past this limit such a read is cancelled.
constexpr uint32_t kReadLimitMs = 1000;

// A read cancelled at the limit ends as its lost time-out would have ended
// it: with what it brought.
uint32_t ReadWithinLimit(CSerialPort& port, char* buffer, uint32_t wanted, uint32_t& count) {
    const uint32_t code = port.ReadData(buffer, wanted, &count, nullptr, kReadLimitMs);
    return code == ERROR_TIMEOUT ? 0 : code;
}

}  // namespace

// Returns the bytes queued at the first poll that finds some, or 0 once
// responseTimeout / 10 further polls found none.
uint32_t CSerialLine::AwaitReply(uint32_t responseTimeout) {
    const uint32_t bound = responseTimeout / 10;
    for (uint32_t pass = 1;; ++pass) {
        Sleep(kPauseMs);
        uint32_t queued = m_port->QueuedBytes();
        if (queued > 0) return queued;
        if (pass > bound) return 0;
    }
}

// Appends chunks until a read brings nothing. Bounded by the queue, a read
// never asks for more than is waiting, so an empty queue ends the reply at
// once. Returns the port's code of a failed read, keeping what came before.
uint32_t CSerialLine::ReadChunks(std::string& data, int32_t& length, bool boundedByQueue) {
    char chunk[kChunkSize];
    for (;;) {
        Sleep(kPauseMs);
        uint32_t wanted = boundedByQueue ? std::min(m_port->QueuedBytes(), kChunkSize) : kChunkSize;
        if (wanted == 0) return 0;
        uint32_t count = 0;
        if (uint32_t code = ReadWithinLimit(*m_port, chunk, wanted, count)) return code;
        if (count == 0) return 0;
        data.append(chunk, count);
        length += static_cast<int32_t>(count);
    }
}

ExchangeResult CSerialLine::ExchangePolled(std::string& data, int32_t& length, const LineUse& use) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    RestoreOpenTimeouts();
    if (SendRequest(data, length, use, kWriteTimeoutMs) != ExchangeResult::kReplied) {
        return ExchangeResult::kSendFailed;
    }
    if (AwaitReply(use.responseTimeout) == 0) return Emptied(data, length, ExchangeResult::kNoReply);
    data.clear();
    length = 0;
    return ReadChunks(data, length, false) == 0 ? ExchangeResult::kReplied : ExchangeResult::kReadFailed;
}

// Takes everything queued at the first poll in one read, then chunks of at
// most what is queued.
ExchangeResult CSerialLine::ExchangePolledBulk(std::string& data, int32_t& length, const LineUse& use) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    RestoreOpenTimeouts();
    if (SendRequest(data, length, use, kWriteTimeoutMs) != ExchangeResult::kReplied) {
        return ExchangeResult::kSendFailed;
    }
    uint32_t queued = AwaitReply(use.responseTimeout);
    if (queued == 0) return Emptied(data, length, ExchangeResult::kNoReply);
    std::vector<char> first(queued + kChunkSize);
    uint32_t count = 0;
    if (ReadWithinLimit(*m_port, first.data(), queued, count) != 0) {
        return Emptied(data, length, ExchangeResult::kReadFailed);
    }
    data.assign(first.data(), count);
    length = static_cast<int32_t>(count);
    return ReadChunks(data, length, true) == 0 ? ExchangeResult::kReplied : ExchangeResult::kReadFailed;
}
