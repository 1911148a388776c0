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

#include "line/LineExchange.h"
#include "line/LineFormat.h"
#include "line/StationHealth.h"
#include "modbus/ReplyShape.h"

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
    virtual uint32_t Configure(const line::LineFormat& format) = 0;
    // Which stations of the line stopped answering.
    CStationHealth& Health() { return m_health; }
    // Differs from every earlier one, of this line or any other, whenever the
    // line is opened or its format changes.
    uint64_t FormatGeneration() const { return m_formatGeneration; }
    // Whether the line is there for an exchange. While it is lost, makes it
    // again when an attempt is due. Every user of the line sees the same
    // state.
    virtual bool Available(const LineUse& use, ILineObserver* observer) = 0;

    // The exchange reads and writes use: request in data[0..length) on
    // entry; on kReplied exactly the frame placed as its reply, described by
    // reply, in data and length. Which bytes answer which request is the
    // reply-placing engine's to decide (line/ReplyPlacer.h).
    virtual ExchangeResult ExchangeFramed(std::string& data, int32_t& length, const LineUse& use,
                                          const modbus::ReplyShape& reply,
                                          IExchangeObserver* observer = nullptr) = 0;
    // Counts up whenever the line is lost: values read before a loss say
    // nothing of the devices after it.
    uint64_t LossGeneration() const { return m_lossGeneration; }

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

    void NewLossGeneration() { ++m_lossGeneration; }

    CStationHealth m_health;

private:
    static bool CloseIfOnlyUser(CLine& line, const std::function<long()>& useCount);
    // The caller holds the table's lock.
    void UnpublishLocked();

    std::atomic<uint64_t> m_formatGeneration{0};
    std::atomic<uint64_t> m_lossGeneration{0};

    int32_t m_index = -1;  // where the line is published, -1 while it is not
};
