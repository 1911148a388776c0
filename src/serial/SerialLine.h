#pragma once
// A serial line: one port, shared by every driver object given the same
// settings record, and the request-response exchanges on it. Exchanges take
// turns under the line's lock, whichever thread and driver object asks, and
// what the line remembers between them (the silence due behind the last
// frame, whether an unanswered request's reply may still come) is kept here,
// once for all its users. The line is published by its port index and found
// by its port's handle.
//
// A port that fails as a device that is gone does is lost for every user of
// the line: its handle is closed, and the line opens the port again by its
// name and format when one of its users needs it and an attempt is due.
// Nothing runs in the background. A record carrying any handle the line was
// published under still finds it.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "line/LinkReconnect.h"
#include "line/Line.h"
#include "line/LineFormat.h"
#include "line/ReplyPlacer.h"
#include "line/TurnLock.h"
#include "serial/PreciseWait.h"

class CSerialPort;

class CSerialLine : public CLine {
public:
    explicit CSerialLine(std::unique_ptr<CSerialPort> port);
    ~CSerialLine() override;

    // Opens \\.\COM<index + 1> in format, ready for the exchanges, and
    // publishes the line. Returns the port's code, or ERROR_ACCESS_DENIED
    // while a line is published under index; a format the device refuses
    // closes the port again, so nothing half-configured is published.
    uint32_t Open(int32_t index, const line::LineFormat& format);
    // Applies format to the open line between two exchanges; every user of
    // the line sees it. Returns the port's code, 0 when nothing had to change.
    uint32_t Configure(const line::LineFormat& format) override;
    // The port's handle; a record carrying one the line had before a reopen
    // names it too.
    HANDLE Handle() const override;
    bool Owns(HANDLE handle) const override;

    CSerialPort& Port() { return *m_port; }
    // While the port is lost, opens it again when an attempt is due, which
    // costs one failed open while the device is still away.
    bool Available(const LineUse& use, ILineObserver* observer) override;

    // Request in data[0..length) on entry, reply and its length on return.
    // Bytes of value zero are data: length, not a terminator, gives the size.
    // Null time-out pointers stand for use.responseTimeout.
    ExchangeResult ExchangeByEvent(std::string& data, int32_t& length, const LineUse& use,
                                   const uint32_t* responseTimeout, const uint32_t* writeTimeout);
    ExchangeResult ExchangePolled(std::string& data, int32_t& length, const LineUse& use);
    ExchangeResult ExchangePolledBulk(std::string& data, int32_t& length, const LineUse& use);

    // The exchange reads and writes use: the reply-placing engine decides
    // which bytes answer the request (line/ReplyPlacer.h). Pauses within
    // the reply do not end it; the deadline does: the response time-out
    // plus the wire time of the longest reply, from the end of the request.
    ExchangeResult ExchangeFramed(std::string& data, int32_t& length, const LineUse& use,
                                  const modbus::ReplyShape& reply, IExchangeObserver* observer = nullptr) override;

private:
    // How long the exchanges that time their own replies give a request to leave.
    static constexpr uint32_t kWriteTimeoutMs = 2000;

    // Exchange steps; the caller holds m_exchangeLock.
    ExchangeResult SendRequest(std::string& data, int32_t& length, const LineUse& use, uint32_t writeTimeout,
                               IExchangeObserver* observer = nullptr);
    void ReleaseRtsAfter(int64_t writeStart, uint32_t count);
    // Puts back the read time-outs Open set, where a framed exchange changed them.
    void RestoreOpenTimeouts();
    uint32_t AwaitReply(uint32_t responseTimeout);
    uint32_t ReadChunks(std::string& data, int32_t& length, bool boundedByQueue);
    // Opens the port of the published index in format and configures it as
    // the exchanges want it; a format the device refuses closes it again.
    uint32_t OpenConfigured(const line::LineFormat& format);
    // A new or reopened port carries nothing of what the line knew about
    // the old one: the stations' silence, replies owed, the quiet due.
    void ForgetLineState();
    // The caller holds m_exchangeLock.
    ExchangeResult FramedOnOpenPort(std::string& data, int32_t& length, const LineUse& use,
                                    const modbus::ReplyShape& reply, IExchangeObserver* observer);
    void LosePort(uint32_t code, const LineUse& use, ILineObserver* observer);
    bool TryReopen(const LineUse& use, ILineObserver* observer);
    void RememberHandle();
    // Waits for the exchange on the line to end and closes the port.
    void CloseCarrier() override;

    std::unique_ptr<CSerialPort> m_port;
    // Known from Open on, so that no exchange asks the port for them: the
    // format, the read time-outs Open set, which the polled exchanges rely
    // on, and the time-outs the port holds now.
    line::LineFormat m_format{};
    COMMTIMEOUTS m_openTimeouts{};
    COMMTIMEOUTS m_timeouts{};
    CTurnLock m_exchangeLock;
    // Times the RTS hold; guarded by m_exchangeLock.
    CPreciseWait m_rtsWait;
    // Which bytes answer which request, for every user of the line.
    line::CReplyPlacer m_placer;
    // Guarded by m_exchangeLock; m_lost mirrors it for a look without the lock.
    line::CLinkReconnect m_reconnect;
    std::atomic<bool> m_lost{false};
    // Every handle the line was published under, for records written before
    // a reopen; guarded by m_handlesLock.
    std::vector<HANDLE> m_handles;
    mutable std::mutex m_handlesLock;
};
