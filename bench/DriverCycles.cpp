#include "DriverCycles.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "line/LineFormat.h"

namespace bench {
namespace {

constexpr uint16_t kEightDataBits = 1;
constexpr int16_t kNoParity = 2;  // the host orders parities odd, even, none
// A network line runs as COM50: its number names it, no port is opened.
constexpr int16_t kNetworkPortIndex = 49;
constexpr uint32_t kNetworkBaud = 9600;

bool HexByte(const std::string& text, size_t at, uint8_t& byte) {
    char* end = nullptr;
    const std::string digits = text.substr(at, 2);
    byte = static_cast<uint8_t>(std::strtoul(digits.c_str(), &end, 16));
    return digits.size() == 2 && *end == '\0';
}

// The line server's request log: frames in hex, separated by spaces.
bool ParseRequestLog(const std::string& log, std::vector<std::vector<uint8_t>>& frames) {
    std::istringstream words(log);
    std::string hex;
    while (words >> hex) {
        std::vector<uint8_t> frame(hex.size() / 2);
        for (size_t i = 0; i < frame.size(); ++i) {
            if (!HexByte(hex, 2 * i, frame[i])) return false;
        }
        frames.push_back(frame);
    }
    return true;
}

bool Poll(DriverOnLine& driver, uint32_t baud, const RunLength& run, const std::string& master, Figures& figures,
          std::string& error) {
    for (int cycle = 0; cycle < run.warmupCycles; ++cycle) driver.PollCycle();
    std::vector<std::vector<uint8_t>> frames;
    if (!driver.TakeRequests(frames, error)) return false;
    frames.clear();
    std::vector<double> cycleMs;
    int failed = 0;
    for (int cycle = 0; cycle < run.cycles; ++cycle) {
        Stopwatch stopwatch;
        failed += driver.PollCycle();
        cycleMs.push_back(stopwatch.ElapsedMs());
    }
    if (!driver.TakeRequests(frames, error)) return false;
    std::vector<ExchangeBytes> exchanges;
    for (const std::vector<uint8_t>& frame : frames) exchanges.push_back(ExchangeOf(frame));
    figures = Summarise(master, baud, cycleMs, exchanges, failed);
    return true;
}

}  // namespace

Stopwatch::Stopwatch() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    m_frequency = frequency.QuadPart;
    m_start = start.QuadPart;
}

double Stopwatch::ElapsedMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - m_start) / static_cast<double>(m_frequency);
}

DriverOnLine::~DriverOnLine() {
    if (m_open) m_host.Driver().Close(0);
}

bool DriverOnLine::Open(uint32_t baud, const std::string& stations, const std::vector<BenchTag>& tags,
                        uint32_t responseTimeoutMs, std::string& error) {
    uint32_t baudIndex = 0;
    if (!line::BaudIndexOf(baud, baudIndex)) {
        error = "the host has no baud index for " + std::to_string(baud);
        return false;
    }
    std::string answer;
    if (!m_server.Connect(error) || !Command("open " + std::to_string(baud) + " " + stations, answer, error)) {
        return false;
    }
    return OpenDriver(static_cast<int16_t>(std::atoi(answer.c_str()) - 1), baudIndex, tags, responseTimeoutMs, error);
}

// The settings reach the driver as a tool gives them, and only this Open.
bool DriverOnLine::OpenNetwork(const std::string& openCommand, const std::string& transport,
                               const std::vector<BenchTag>& tags, uint32_t responseTimeoutMs, std::string& error) {
    uint32_t baudIndex = 0;
    line::BaudIndexOf(kNetworkBaud, baudIndex);
    if (!m_server.Connect(error) || !Command(openCommand, m_networkPort, error)) return false;
    const std::string settings = "transport=" + transport + ";endpoint=127.0.0.1:" + m_networkPort;
    SetEnvironmentVariableA("KORVEL_SET", settings.c_str());
    const bool opened = OpenDriver(kNetworkPortIndex, baudIndex, tags, responseTimeoutMs, error);
    SetEnvironmentVariableA("KORVEL_SET", nullptr);
    return opened;
}

// The host hands the second object the first one's settings record, which
// carries the line's handle.
bool DriverOnLine::OpenBeside(const DriverOnLine& first, std::string& error) {
    if (!first.m_open || !ParseTags(first.m_benchTags, error)) return false;
    m_link = first.m_link;
    m_settings = first.m_settings;
    m_settings.link = &m_link;
    if (m_host.Driver().Open(&m_settings) != 1) {
        error = std::string("the second driver object could not open the line: ") + m_host.Driver().GetErrorText();
        return false;
    }
    m_open = true;
    return true;
}

// What the host does once per tag before it polls.
bool DriverOnLine::ParseTags(const std::vector<BenchTag>& tags, std::string& error) {
    error = m_host.Load("");
    if (error.empty()) error = m_host.CreateDriver(false);
    if (!error.empty()) return false;
    IDeviceDriver& driver = m_host.Driver();
    m_benchTags = tags;
    for (const BenchTag& tag : tags) {
        HostTag host{};
        host.address.dataType = tag.dataType;  // the host fills in the type, the driver checks it
        const std::string address = AddressText(tag);
        if (driver.CheckStation(std::to_string(tag.station).c_str(), &host.station) != 1 ||
            driver.ParseAddress(address.c_str(), &host.address) != 1) {
            error = "the driver refused station " + std::to_string(tag.station) + ", tag " + address;
            return false;
        }
        m_tags.push_back(host);
    }
    return true;
}

bool DriverOnLine::OpenDriver(int16_t portIndex, uint32_t baudIndex, const std::vector<BenchTag>& tags,
                              uint32_t responseTimeoutMs, std::string& error) {
    if (!ParseTags(tags, error)) return false;
    IDeviceDriver& driver = m_host.Driver();
    m_link.baudIndex = baudIndex;
    m_link.portIndex = portIndex;
    m_link.eightDataBits = kEightDataBits;
    m_link.parityIndex = kNoParity;
    m_link.responseTimeout = responseTimeoutMs;
    m_settings.link = &m_link;
    if (driver.Open(&m_settings) != 1) {
        error = "the driver could not open COM" + std::to_string(portIndex + 1) + ": " + driver.GetErrorText();
        return false;
    }
    m_open = true;
    return true;
}

bool DriverOnLine::Command(const std::string& command, std::string& answer, std::string& error) {
    if (m_server.Call(command, answer, error)) return true;
    error = "line server, \"" + command + "\": " + error;
    return false;
}

int DriverOnLine::PollCycle(int station) {
    int failed = 0;
    for (const HostTag& tag : m_tags) {
        if (station != 0 && tag.station != station) continue;
        TagValue value{};
        if (m_host.Driver().Read(&tag.station, &tag.address, &value) != 1) ++failed;
    }
    return failed;
}

bool DriverOnLine::ReadFirst(uint32_t& value) {
    if (m_tags.empty()) return false;
    TagValue read{};
    if (m_host.Driver().Read(&m_tags[0].station, &m_tags[0].address, &read) != 1) return false;
    value = m_tags[0].address.dataType == kTypeUInt16 ? read.wordValue : read.dwordValue;
    return true;
}

bool DriverOnLine::TakeRequests(std::vector<std::vector<uint8_t>>& frames, std::string& error) {
    std::string log;
    std::string cleared;
    if (!Command("requests", log, error) || !Command("clear-requests", cleared, error)) return false;
    if (ParseRequestLog(log, frames)) return true;
    error = "the line server's request log is not hex frames";
    return false;
}

bool MeasureDriver(uint32_t baud, const std::vector<BenchTag>& tags, const RunLength& run, Figures& figures,
                   std::string& error, const std::string& deviceCommand, const std::string& master) {
    DriverOnLine driver;
    const bool opened = baud == kModbusTcp
                            ? driver.OpenNetwork(std::string("open-peer libmodbus-mbap ") + kPlantStations,
                                                 "modbus-tcp", tags, kPlantResponseTimeoutMs, error)
                            : driver.Open(baud, kPlantStations, tags, kPlantResponseTimeoutMs, error);
    std::string answer;
    return opened && (deviceCommand.empty() || driver.Command(deviceCommand, answer, error)) &&
           Poll(driver, baud, run, master, figures, error);
}

}  // namespace bench
