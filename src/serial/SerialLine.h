#pragma once
// A serial line: one port, shared by every driver object given the same
// settings record, and the request-response exchanges on it. Exchanges take
// turns under the line's lock, whichever thread and driver object asks, and
// what the line remembers between them (the silence due behind the last
// frame, whether an unanswered request's reply may still come) is kept here,
// once for all its users.
//
// Open lines are published in a module-wide table by port index (COM1 to
// COM64), where a driver object given a record that carries the line's
// device handle finds it. A line closes its port when its last user lets go
// of it.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "serial/LineFormat.h"
#include "serial/StationHealth.h"

class CSerialPort;

// What a driver object's own settings ask of each exchange.
struct LineUse {
    int32_t rtsControl;        // 1 and 2 key RTS by hand around the request
    uint32_t responseTimeout;  // milliseconds
};

enum class ExchangeResult {
    kReplied,     // the reply phase ended normally, with whatever came
    kSendFailed,  // no port, or the request could not be written
    kNoReply,     // nothing came within the response time-out
    kWaitFailed,  // the wait for a port event failed or timed out
    kReadFailed,  // a read failed; what came before it stays in the buffer
};

class CSerialLine : public std::enable_shared_from_this<CSerialLine> {
public:
    explicit CSerialLine(std::unique_ptr<CSerialPort> port);
    ~CSerialLine();
    CSerialLine(const CSerialLine&) = delete;
    CSerialLine& operator=(const CSerialLine&) = delete;

    static bool IsPortIndex(int32_t index);
    // The open line published under index whose device is handle; null for
    // none, such as a handle its last user closed.
    static std::shared_ptr<CSerialLine> Find(int32_t index, HANDLE handle);
    // Whether a line is published under index.
    static bool IsPublished(int32_t index);

    // Opens \\.\COM<index + 1> in format, ready for the exchanges, and
    // publishes the line. Returns the port's code; a format the device
    // refuses closes the port again, so nothing half-configured is published.
    uint32_t Open(int32_t index, const serial::LineFormat& format);
    // Unpublishes the line and closes the port.
    void Close();

    CSerialPort& Port() { return *m_port; }
    // Which stations of the line stopped answering.
    CStationHealth& Health() { return m_health; }

    // Request in data[0..length) on entry, reply and its length on return.
    // Bytes of value zero are data: length, not a terminator, gives the size.
    // Null time-out pointers stand for use.responseTimeout.
    ExchangeResult ExchangeByEvent(std::string& data, int32_t& length, const LineUse& use,
                                   const uint32_t* responseTimeout, const uint32_t* writeTimeout);
    ExchangeResult ExchangePolled(std::string& data, int32_t& length, const LineUse& use);
    ExchangeResult ExchangePolledBulk(std::string& data, int32_t& length, const LineUse& use);

    // The fewest bytes a reply still needs before it is complete, given the
    // bytes received so far; 0 once it is.
    using ReplyNeed = std::function<uint32_t(const std::string& received)>;
    // The exchange reads and writes use: the reply ends the moment need finds
    // it complete, when the line falls quiet for the end-of-frame silence of
    // the port's speed, or, with nothing received, at the response time-out.
    ExchangeResult ExchangeFramed(std::string& data, int32_t& length, const LineUse& use, const ReplyNeed& need);

private:
    // How long the exchanges that time their own replies give a request to leave.
    static constexpr uint32_t kWriteTimeoutMs = 2000;

    // Exchange steps; the caller holds m_exchangeLock.
    ExchangeResult SendRequest(std::string& data, int32_t& length, const LineUse& use, uint32_t writeTimeout);
    uint32_t AwaitReply(uint32_t responseTimeout);
    uint32_t ReadChunks(std::string& data, int32_t& length, bool boundedByQueue);
    void Unpublish();

    std::unique_ptr<CSerialPort> m_port;
    int32_t m_index = -1;  // where the line is published, -1 while it is not
    std::mutex m_exchangeLock;
    // State of the line between framed exchanges: the performance-counter
    // reading from which the line counts as quiet behind the last frame, and
    // whether an unanswered request's reply may still be on its way.
    int64_t m_lineQuietAt = 0;
    bool m_lateReplyPossible = false;
    CStationHealth m_health;
};

// Spins rather than sleeps for at least ms milliseconds: a sleep may last a
// whole scheduler tick, far longer than the short waits of RTS keying.
void BusyWait(uint32_t ms);
