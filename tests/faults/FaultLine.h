#pragma once
// One line at 9600 baud with stations 1 and 2 behind the paced relay, and a
// driver object opened on it as a host opens one: on the line's COM port,
// or through a device server in front of the line (RTU over TCP). Every
// read is checked against the slave's tables at that moment: a read that
// succeeds must deliver exactly what the device holds, whatever the line did.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/FrameBytes.h"
#include "support/HostDriver.h"
#include "support/LineFixture.h"

class FaultLine : public ::testing::Test {
protected:
    static constexpr uint32_t kResponseTimeoutMs = 300;

    // A device server's command of the line server, or null for the COM port;
    // settings as KORVEL_SET gives them to the driver's Open.
    explicit FaultLine(const char* deviceServer = nullptr, std::string settings = "");

    void SetUp() override;
    void TearDown() override;

    // Closes the driver and opens it anew with settings (as KORVEL_SET
    // gives them) on top of the carrier's own: a line that starts afresh.
    void ReopenWith(const std::string& settings);
    // Read, and on success the delivered value compared with the table.
    Outcome ReadChecked(int32_t station, const TagAddress& tag);
    Outcome Write(int32_t station, const TagAddress& tag, uint32_t value);
    // The device's value of the tag, from the slave's table.
    uint32_t TableValue(int32_t station, const TagAddress& tag);
    // A new value for the tag's items in the slave's table.
    void SetTableValue(int32_t station, const TagAddress& tag, uint32_t value);
    // Waits until whatever is still on its way has arrived at the port, as a
    // host's pause between two polls would.
    void LetLineFallQuiet();
    // Reads every tag of station once, each checked; returns the failures.
    int PollCycle(int32_t station, const std::vector<TagAddress>& tags);
    // The requests the slave heard for station since the last ClearRequests.
    size_t RequestsFor(int32_t station);
    // The driver's trace lines that are not frames, without their times:
    // "Retry: ...", "Demote: ..." and the like, since SetUp or ClearTrace.
    std::vector<std::string> TracedEvents();
    void ClearTrace();

private:
    std::unique_ptr<LineFixture> m_line;

protected:
    LineFixture& line;
    HostDriver driver;

private:
    Outcome OpenDriver(const std::string& settings);

    const bool m_network;
    const std::string m_settings;
    std::string m_tracePath;
    int m_reads = 0;
    int m_delivered = 0;
    int m_wrong = 0;
    int m_writes = 0;
    int m_confirmed = 0;
};
