#include "DriverCycles.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "korvel-poll/DriverHost.h"
#include "modbus/TagRecords.h"
#include "serial/LineFormat.h"
#include "support/LineServerClient.h"

namespace bench {
namespace {

constexpr uint16_t kEightDataBits = 1;
constexpr int16_t kNoParity = 2;  // the host orders parities odd, even, none
constexpr uint32_t kResponseTimeoutMs = 500;
constexpr const char* kStations = "1 2 3";

struct HostTag {
    int32_t station;
    TagAddress address;
};

class Stopwatch {
public:
    Stopwatch() {
        QueryPerformanceFrequency(&m_frequency);
        QueryPerformanceCounter(&m_start);
    }
    double ElapsedMs() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const double ticks = static_cast<double>(now.QuadPart - m_start.QuadPart);
        return 1000.0 * ticks / static_cast<double>(m_frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_start;
};


bool HexByte(const std::string& text, size_t at, uint8_t& byte) {
    char* end = nullptr;
    const std::string digits = text.substr(at, 2);
    byte = static_cast<uint8_t>(std::strtoul(digits.c_str(), &end, 16));
    return digits.size() == 2 && *end == '\0';
}

// The line server's request log: frames in hex, separated by spaces.
bool ParseRequestLog(const std::string& log, std::vector<ExchangeBytes>& exchanges) {
    std::istringstream frames(log);
    std::string hex;
    while (frames >> hex) {
        std::vector<uint8_t> frame(hex.size() / 2);
        for (size_t i = 0; i < frame.size(); ++i) {
            if (!HexByte(hex, 2 * i, frame[i])) return false;
        }
        exchanges.push_back(ExchangeOf(frame));
    }
    return true;
}

// What the host does once per tag before it polls.
bool PrepareTags(IDeviceDriver& driver, const std::vector<BenchTag>& tags, std::vector<HostTag>& prepared,
                 std::string& error) {
    for (const BenchTag& tag : tags) {
        HostTag host{};
        host.address.dataType = tag.dataType;  // the host fills in the type, the driver checks it
        const std::string address = AddressText(tag);
        if (driver.CheckStation(std::to_string(tag.station).c_str(), &host.station) != 1 ||
            driver.ParseAddress(address.c_str(), &host.address) != 1) {
            error = "the driver refused station " + std::to_string(tag.station) + ", tag " + address;
            return false;
        }
        prepared.push_back(host);
    }
    return true;
}

// Returns the number of reads that failed.
int PollCycle(IDeviceDriver& driver, const std::vector<HostTag>& tags) {
    int failed = 0;
    for (const HostTag& tag : tags) {
        TagValue value{};
        if (driver.Read(&tag.station, &tag.address, &value) != 1) ++failed;
    }
    return failed;
}

bool Call(LineServerClient& server, const std::string& command, std::string& answer, std::string& error) {
    if (server.Call(command, answer, error)) return true;
    error = "line server, \"" + command + "\": " + error;
    return false;
}

bool Poll(IDeviceDriver& driver, LineServerClient& server, uint32_t baud, const std::vector<HostTag>& tags,
          const RunLength& run, Figures& figures, std::string& error) {
    for (int cycle = 0; cycle < run.warmupCycles; ++cycle) PollCycle(driver, tags);
    std::string answer;
    if (!Call(server, "clear-requests", answer, error)) return false;
    std::vector<double> cycleMs;
    int failed = 0;
    for (int cycle = 0; cycle < run.cycles; ++cycle) {
        Stopwatch stopwatch;
        failed += PollCycle(driver, tags);
        cycleMs.push_back(stopwatch.ElapsedMs());
    }
    std::vector<ExchangeBytes> exchanges;
    if (!Call(server, "requests", answer, error)) return false;
    if (!ParseRequestLog(answer, exchanges)) {
        error = "the line server's request log is not hex frames";
        return false;
    }
    figures = Summarise("driver", baud, cycleMs, exchanges, failed);
    return true;
}

}  // namespace

bool MeasureDriver(uint32_t baud, const std::vector<BenchTag>& tags, const RunLength& run, Figures& figures,
                   std::string& error) {
    LinkParameters link{};
    if (!serial::BaudIndexOf(baud, link.baudIndex)) {
        error = "the host has no baud index for " + std::to_string(baud);
        return false;
    }
    LineServerClient server;
    std::string answer;
    if (!server.Connect(error) || !Call(server, "open " + std::to_string(baud) + " " + kStations, answer, error)) {
        return false;
    }
    DriverHost host;
    error = host.Load("");
    if (error.empty()) error = host.CreateDriver(false);
    if (!error.empty()) return false;
    IDeviceDriver& driver = host.Driver();
    std::vector<HostTag> prepared;
    if (!PrepareTags(driver, tags, prepared, error)) return false;

    link.portIndex = static_cast<int16_t>(std::atoi(answer.c_str()) - 1);
    link.eightDataBits = kEightDataBits;
    link.parityIndex = kNoParity;
    link.responseTimeout = kResponseTimeoutMs;
    DeviceSettings settings{};
    settings.link = &link;
    if (driver.Open(&settings) != 1) {
        error = "the driver could not open COM" + answer + ": " + driver.GetErrorText();
        return false;
    }
    const bool polled = Poll(driver, server, baud, prepared, run, figures, error);
    driver.Close(0);
    return polled;
}

}  // namespace bench
