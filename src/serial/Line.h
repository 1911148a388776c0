#pragma once
// A line as the driver uses it, whatever carries its frames: the framed
// exchange, the record of its stations' health, and sharing. Which kind of
// line it is (a serial port, a TCP connection) is chosen once, when the
// line is opened; the driver never asks again.
//
// Open lines are published in a module-wide table by port index (COM1 to
// COM64), where a driver object given a record that carries the line's
// handle finds it. A line closes when its last user lets go of it.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "modbus/LinkReconnect.h"
#include "serial/LineFormat.h"
#include "serial/StationHealth.h"

// What a driver object's own settings ask of each exchange.
struct LineUse {
    int32_t rtsControl;              // 1 and 2 key RTS by hand around the request
    uint32_t responseTimeout;        // milliseconds
    uint32_t requestGapMs;           // extra silence before a framed exchange's request
    uint32_t silenceUs;              // the silence before a framed request; 0: the line format's own
    modbus::ReconnectTiming reopen;  // how often a lost port or connection is tried again
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

enum class ExchangeResult {
    kReplied,     // the reply phase ended normally, with whatever came
    kSendFailed,  // no port, or the request could not be written
    kNoReply,     // nothing came within the response time-out
    kWaitFailed,  // the wait for a port event failed or timed out
    kReadFailed,  // a read failed; what came before it stays in the buffer
    kPortLost,    // the port failed as a device that is gone does: nothing is counted for the station
    kUnplaced,    // a reply came, but the line did not stay quiet behind it where it had to: none is taken
};

class CLine : public std::enable_shared_from_this<CLine> {
public:
    virtual ~CLine() = default;
    CLine(const CLine&) = delete;
    CLine& operator=(const CLine&) = delete;

    static bool IsPortIndex(int32_t index);
    // The open line published under index that a record carrying handle
    // names; null for none, such as a handle its last user closed.
    static std::shared_ptr<CLine> Find(int32_t index, HANDLE handle);
    // Whether a line is published under index.
    static bool IsPublished(int32_t index);
    // Closes line if its holder is its last user and returns true; false
    // while others still use it. Taking a share through Find and this step
    // take turns under the table's lock, so no user adopts a line that is
    // about to close. The holder drops its share afterwards, not under that
    // lock.
    template <class Line>
    static bool CloseIfLastUser(const std::shared_ptr<Line>& line) {
        return CloseIfOnlyUser(*line, [&line] { return line.use_count(); });
    }

    // What Open puts into the host's record for later users to find the line by.
    virtual HANDLE Handle() const = 0;
    // Whether a record carrying handle names this line.
    virtual bool Owns(HANDLE handle) const { return handle == Handle(); }
    // Applies format between two exchanges, where the line has one; every
    // user of the line sees it. Returns the system's code, 0 when nothing
    // had to change.
    virtual uint32_t Configure(const serial::LineFormat& format) = 0;
    // Which stations of the line stopped answering.
    CStationHealth& Health() { return m_health; }
    // Differs from every earlier one, of this line or any other, whenever the
    // line is opened or its format changes.
    uint64_t FormatGeneration() const { return m_formatGeneration; }
    // Whether the line is there for an exchange. While it is lost, makes it
    // again when an attempt is due. Every user of the line sees the same
    // state.
    virtual bool Available(const LineUse& use, ILineObserver* observer) = 0;

    // The fewest bytes a reply still needs before it is complete, given the
    // bytes received so far; 0 once it is, kNotTheReply once they hold a
    // whole frame that cannot be the reply (another station, function or
    // length).
    using ReplyNeed = std::function<uint32_t(const std::string& received)>;
    static constexpr uint32_t kNotTheReply = UINT32_MAX;
    // The exchange reads and writes use: request in data[0..length) on
    // entry, reply and its length on return. The reply ends the moment need
    // finds it complete, or, with nothing received, at the response time-out;
    // longestReply bounds how long a reply may take to arrive once it began.
    virtual ExchangeResult ExchangeFramed(std::string& data, int32_t& length, const LineUse& use,
                                          const ReplyNeed& need, uint32_t longestReply,
                                          IExchangeObserver* observer = nullptr) = 0;

protected:
    CLine() = default;

    // Runs open, with PortName() naming the index already, and, when it
    // returns 0, publishes the line under index. Two
    // opens of one index take turns from the look at the table to the
    // publishing, so that they never both find the index free: not every
    // device refuses a second opener. ERROR_ACCESS_DENIED while a line is
    // published under index.
    uint32_t OpenPublished(int32_t index, const std::function<uint32_t()>& open);
    // Unpublishes the line and closes what carries it, as the last share goes.
    void Close();
    // Ends what carries the line, after waiting for the exchange on it.
    virtual void CloseCarrier() = 0;
    // "COM3" for index 2.
    std::string PortName() const;
    void NewFormatGeneration();

    // Empties the buffer and its length, as every failure without a partial
    // reply does, and returns result.
    static ExchangeResult Emptied(std::string& data, int32_t& length, ExchangeResult result);

    CStationHealth m_health;

private:
    static bool CloseIfOnlyUser(CLine& line, const std::function<long()>& useCount);
    // The caller holds the table's lock.
    void UnpublishLocked();

    std::atomic<uint64_t> m_formatGeneration{0};

    int32_t m_index = -1;  // where the line is published, -1 while it is not
};
