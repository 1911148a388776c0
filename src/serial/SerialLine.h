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

#include "modbus/LinkReconnect.h"
#include "serial/LineFormat.h"
#include "serial/StationHealth.h"

class CSerialPort;

// What a driver object's own settings ask of each exchange.
struct LineUse {
    int32_t rtsControl;              // 1 and 2 key RTS by hand around the request
    uint32_t responseTimeout;        // milliseconds
    uint32_t requestGapMs;           // extra silence before a framed exchange's request
    uint32_t silenceUs;              // the silence before a framed request; 0: the line format's own
    modbus::ReconnectTiming reopen;  // how often a lost port is tried again
};

// What the line reports about its port, once each time: port is its name,
// such as COM3.
class ILineObserver {
public:
    // A call on the port failed with code, which says the port is gone.
    virtual void OnPortLost(const std::string& port, uint32_t code) = 0;
    virtual void OnPortReopened(const std::string& port, uint64_t lostForMs) = 0;

protected:
    ~ILineObserver() = default;
};

// What a framed exchange reports while it runs, so that the frame trace
// shows each thing where it happens.
class IExchangeObserver : public ILineObserver {
public:
    // The request goes onto the line now: the line is the caller's, its
    // silence and the request gap are over.
    virtual void OnSend(const std::string& request, int32_t length) = 0;
    // Bytes an unanswered request's reply brought too late were read off the
    // line and dropped, before anything else was sent.
    virtual void OnLateDiscarded(const std::string& bytes) = 0;

protected:
    ~IExchangeObserver() = default;
};

namespace serial {

// How long a complete reply must be followed by a quiet line before a framed
// exchange takes it.
enum class FollowCheck : uint8_t {
    kNone,        // the line is in step: at once
    kGap,         // a late reply may yet come: the end-of-frame gap
    kWholeWindow  // the line showed replies it cannot place: up to the deadline
};

}  // namespace serial

enum class ExchangeResult {
    kReplied,     // the reply phase ended normally, with whatever came
    kSendFailed,  // no port, or the request could not be written
    kNoReply,     // nothing came within the response time-out
    kWaitFailed,  // the wait for a port event failed or timed out
    kReadFailed,  // a read failed; what came before it stays in the buffer
    kPortLost,    // the port failed as a device that is gone does: nothing is counted for the station
    kUnplaced,    // a reply came, but the line did not stay quiet behind it where it had to: none is taken
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
    // publishes the line. Returns the port's code, or ERROR_ACCESS_DENIED
    // while a line is published under index; a format the device refuses
    // closes the port again, so nothing half-configured is published.
    uint32_t Open(int32_t index, const serial::LineFormat& format);
    // Closes line if its holder is its last user and returns true; false
    // while others still use it. Taking a share through Find and this step
    // take turns under the table's lock, so no user adopts a line that is
    // about to close. The holder drops its share afterwards, not under that
    // lock.
    static bool CloseIfLastUser(const std::shared_ptr<CSerialLine>& line);
    // Applies format to the open line between two exchanges; every user of
    // the line sees it. Returns the port's code, 0 when nothing had to change.
    uint32_t Configure(const serial::LineFormat& format);

    // Differs from every earlier one, of this line or any other, whenever the
    // line is opened or its format changes.
    uint64_t FormatGeneration() const { return m_formatGeneration; }

    CSerialPort& Port() { return *m_port; }
    // Which stations of the line stopped answering.
    CStationHealth& Health() { return m_health; }
    // Whether the port is there for an exchange. While it is lost, opens it
    // again when an attempt is due, which costs one failed open while the
    // device is still away. Every user of the line sees the same state.
    bool Available(const LineUse& use, ILineObserver* observer);

    // Request in data[0..length) on entry, reply and its length on return.
    // Bytes of value zero are data: length, not a terminator, gives the size.
    // Null time-out pointers stand for use.responseTimeout.
    ExchangeResult ExchangeByEvent(std::string& data, int32_t& length, const LineUse& use,
                                   const uint32_t* responseTimeout, const uint32_t* writeTimeout);
    ExchangeResult ExchangePolled(std::string& data, int32_t& length, const LineUse& use);
    ExchangeResult ExchangePolledBulk(std::string& data, int32_t& length, const LineUse& use);

    // The fewest bytes a reply still needs before it is complete, given the
    // bytes received so far; 0 once it is, kNotTheReply once they hold a
    // whole frame that cannot be the reply (another station, function or
    // length).
    using ReplyNeed = std::function<uint32_t(const std::string& received)>;
    static constexpr uint32_t kNotTheReply = UINT32_MAX;
    // The exchange reads and writes use: the reply ends the moment need finds
    // it complete, or, with nothing received, at the response time-out. Pauses
    // within the reply do not end it; the deadline does: the response
    // time-out plus the wire time of longestReply bytes, from the end of the
    // request. What a reply overdue at the deadline brought is handed over,
    // at most a few frames' worth, for the caller to find it broken.
    //
    // A request that got no whole reply leaves the line listening for that
    // reply until one more response time-out has passed after its deadline:
    // the next exchange first waits that out, unless the late reply came and
    // the line fell quiet behind it, and drops whatever came. Only then may a
    // reply answer a new request. Where a reply may still come later than
    // that, or the line showed replies it cannot place (two where one was
    // awaited, a frame that cannot be the reply, a line that never fell
    // quiet), a reply is taken only once the line stayed quiet behind it: for
    // the end-of-frame gap, or, after such signs, up to the exchange's
    // deadline, by when the device's own answer would have come.
    ExchangeResult ExchangeFramed(std::string& data, int32_t& length, const LineUse& use, const ReplyNeed& need,
                                  uint32_t longestReply, IExchangeObserver* observer = nullptr);

private:
    // How long the exchanges that time their own replies give a request to leave.
    static constexpr uint32_t kWriteTimeoutMs = 2000;

    // Empties the buffer and its length, as every failure without a partial
    // reply does, and returns result.
    static ExchangeResult Emptied(std::string& data, int32_t& length, ExchangeResult result);
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
    uint32_t OpenConfigured(const serial::LineFormat& format);
    // A new or reopened port carries nothing of what the line knew about
    // the old one: the stations' silence, a late reply, the quiet due.
    void ForgetLineState();
    // The caller holds m_exchangeLock.
    ExchangeResult FramedOnOpenPort(std::string& data, int32_t& length, const LineUse& use, const ReplyNeed& need,
                                    uint32_t longestReply, IExchangeObserver* observer);
    void LosePort(uint32_t code, const LineUse& use, ILineObserver* observer);
    bool TryReopen(const LineUse& use, ILineObserver* observer);
    void RememberHandle();
    std::string PortName() const;
    // Unpublishes the line and closes the port, as the last share goes.
    void Close();
    // The caller holds the table's lock.
    void UnpublishLocked();
    // Waits for the exchange on the line to end.
    void ClosePort();

    std::unique_ptr<CSerialPort> m_port;
    int32_t m_index = -1;  // where the line is published, -1 while it is not
    // Known from Open on, so that no exchange asks the port for them: the
    // format, the read time-outs Open set, which the polled exchanges rely
    // on, and the time-outs the port holds now.
    serial::LineFormat m_format{};
    COMMTIMEOUTS m_openTimeouts{};
    COMMTIMEOUTS m_timeouts{};
    std::mutex m_exchangeLock;
    // State of the line between framed exchanges, in performance-counter
    // ticks: from when the line counts as quiet behind the last frame; until
    // when an unanswered request's reply may still come (0: none is awaited);
    // and how the next reply must be followed.
    int64_t m_lineQuietAt = 0;
    int64_t m_lateReplyUntil = 0;
    serial::FollowCheck m_followCheck = serial::FollowCheck::kNone;
    CStationHealth m_health;
    std::atomic<uint64_t> m_formatGeneration{0};
    // Guarded by m_exchangeLock; m_lost mirrors it for a look without the lock.
    modbus::CLinkReconnect m_reconnect;
    std::atomic<bool> m_lost{false};
    // Every handle the line was published under, for records written before
    // a reopen; guarded by m_handlesLock.
    std::vector<HANDLE> m_handles;
    mutable std::mutex m_handlesLock;
};
