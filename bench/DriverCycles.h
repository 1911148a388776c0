#pragma once
// Korvel.dll polling the benchmark's tags on a simulated line, driven the way
// a host drives it: the COM object from the module, its IDeviceDriver, Open,
// CheckStation, ParseAddress, then Read of every tag, cycle after cycle.
#include <cstdint>
#include <string>
#include <vector>

#include "Figures.h"
#include "TagSet.h"
#include "korvel-poll/host/DriverHost.h"
#include "support/LineServerClient.h"
#include "tags/TagRecords.h"

namespace bench {

// The plant's line: its stations, and the response time-out it is polled
// with.
constexpr const char* kPlantStations = "1 2 3";
constexpr uint32_t kPlantResponseTimeoutMs = 500;

struct RunLength {
    int warmupCycles;  // the first cycle plans the blocks
    int cycles;
};

// A fresh driver object on a line of its own of the line server that
// KORVEL_LINE_SERVER names, its tags parsed and the line opened as a host
// opens them.
class DriverOnLine {
public:
    DriverOnLine() = default;
    ~DriverOnLine();
    DriverOnLine(const DriverOnLine&) = delete;
    DriverOnLine& operator=(const DriverOnLine&) = delete;

    // stations: the line's stations, e.g. "1 2 3". False with the reason in
    // error when the line or the driver cannot be had.
    bool Open(uint32_t baud, const std::string& stations, const std::vector<BenchTag>& tags,
              uint32_t responseTimeoutMs, std::string& error);
    // Opens the line with this RTS control (the host's rtsControl) instead of
    // unkeyed.
    void KeyRtsOnOpen(int16_t rtsControl) { m_link.rtsControl = rtsControl; }
    // A network line instead: openCommand is the line server's ("open-peer
    // ..." or "open-tcp ..."), which answers the TCP port; transport is
    // modbus-tcp or rtu-over-tcp.
    bool OpenNetwork(const std::string& openCommand, const std::string& transport, const std::vector<BenchTag>& tags,
                     uint32_t responseTimeoutMs, std::string& error);
    // A second driver object on first's line, with first's tags, opened on
    // the settings record first's Open filled in, as a host shares a line.
    bool OpenBeside(const DriverOnLine& first, std::string& error);
    // The TCP port on 127.0.0.1 a network line reaches.
    const std::string& NetworkPort() const { return m_networkPort; }
    // A line server command; answer receives what follows "ok".
    bool Command(const std::string& command, std::string& answer, std::string& error);
    // Reads every tag once, or every tag of station; returns the failed reads.
    int PollCycle(int station = 0);
    // Reads the first tag; its value (16 or 32 bits) on success.
    bool ReadFirst(uint32_t& value);
    // The request frames the slave heard since the last call, which clears them.
    bool TakeRequests(std::vector<std::vector<uint8_t>>& frames, std::string& error);

private:
    bool OpenDriver(int16_t portIndex, uint32_t baudIndex, const std::vector<BenchTag>& tags,
                    uint32_t responseTimeoutMs, std::string& error);
    bool ParseTags(const std::vector<BenchTag>& tags, std::string& error);

    struct HostTag {
        int32_t station;
        TagAddress address;
    };

    LineServerClient m_server;
    DriverHost m_host;
    std::vector<HostTag> m_tags;
    std::vector<BenchTag> m_benchTags;
    LinkParameters m_link{};
    DeviceSettings m_settings{};
    std::string m_networkPort;
    bool m_open = false;
};

// Milliseconds since construction, from the performance counter.
class Stopwatch {
public:
    Stopwatch();
    double ElapsedMs() const;

private:
    int64_t m_frequency;
    int64_t m_start;
};

// Opens a line at baud (a Modbus TCP line at kModbusTcp) and a fresh driver
// object on it, and measures the driver's cycles there. False with the reason in error when either cannot
// be had.
// deviceCommand, unless empty, is sent to the line server for the line's
// device first, and the figures are named master.
bool MeasureDriver(uint32_t baud, const std::vector<BenchTag>& tags, const RunLength& run, Figures& figures,
                   std::string& error, const std::string& deviceCommand = "", const std::string& master = "driver");

}  // namespace bench
