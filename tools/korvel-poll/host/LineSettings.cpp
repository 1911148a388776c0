#include "korvel-poll/host/LineSettings.h"

#include <cctype>

#include "korvel-poll/console/TextUtil.h"
#include "settings/NetworkEndpoint.h"
#include "line/LineFormat.h"

namespace {

// What devices are most often set to, the most common first.
const uint32_t kCommonBaudRates[] = {9600, 19200, 38400, 115200, 4800, 2400};
const char* const kCommonParities[] = {"none", "even", "odd"};

constexpr int kLastPort = 64;
constexpr int kNetworkLinePort = kLastPort;
constexpr const char* kUrlSeparator = "://";

// The host's baud index of a rate written as text, -1 for none of the table.
int BaudIndexOfText(const std::string& text) {
    for (size_t i = 0; i < line::kBaudRateCount; ++i) {
        if (std::to_string(line::kBaudRates[i]) == text) return static_cast<int>(i);
    }
    return -1;
}

// The host's parity index of a parity's name, -1 for none of the table.
int ParityIndexOf(const std::string& name) {
    for (size_t i = 0; i < line::kParityCount; ++i) {
        if (name == line::kParities[i].name) return static_cast<int>(i);
    }
    return -1;
}

std::string BaudList() {
    std::string list;
    for (uint32_t baud : line::kBaudRates) list += (list.empty() ? "" : ", ") + std::to_string(baud);
    return list;
}

bool ParseChoice(const std::string& text, int64_t min, int64_t max, int64_t& value) {
    return text.find_first_not_of("0123456789") == std::string::npos && ParseInteger(text, min, max, value);
}

}  // namespace

// "modbus-tcp://HOST:PORT" or "rtu-over-tcp://HOST:PORT".
std::string SetNetworkPort(LineOptions& line, const std::string& text) {
    const size_t separator = text.find(kUrlSeparator);
    const std::string transport = ToLower(text.substr(0, separator));
    const std::string endpoint = text.substr(separator + std::string(kUrlSeparator).size());
    modbus::NetworkEndpoint parsed;
    const bool known = transport == modbus::kTransportNames[static_cast<int>(modbus::Transport::kRtuOverTcp)] ||
                       transport == modbus::kTransportNames[static_cast<int>(modbus::Transport::kModbusTcp)];
    if (!known) return "--port '" + text + "': a network line is modbus-tcp://HOST:PORT or rtu-over-tcp://HOST:PORT";
    if (const std::string wrong = modbus::ParseEndpoint(endpoint, parsed); !wrong.empty()) {
        return "--port '" + text + "': the endpoint " + wrong;
    }
    line.port = kNetworkLinePort;
    line.transport = transport;
    line.endpoint = endpoint;
    return "";
}

std::string SetPort(LineOptions& line, const std::string& text) {
    if (text.find(kUrlSeparator) != std::string::npos) return SetNetworkPort(line, text);
    std::string number = ToLower(text).compare(0, 3, "com") == 0 ? text.substr(3) : text;
    int64_t port = 0;
    if (!ParseChoice(number, 1, kLastPort, port)) {
        return "--port '" + text + "' is not a serial port or a network line: use COM1..COM64, 1..64, "
               "modbus-tcp://HOST:PORT or rtu-over-tcp://HOST:PORT";
    }
    line.port = static_cast<int>(port);
    return "";
}

std::string SetBaud(LineOptions& line, const std::string& text) {
    const int index = BaudIndexOfText(text);
    if (index < 0) return "--baud '" + text + "' is not supported: use one of " + BaudList();
    line.baud = line::kBaudRates[index];
    return "";
}

std::string SetParity(LineOptions& line, const std::string& text) {
    std::string parity = ToLower(text);
    if (ParityIndexOf(parity) < 0) return "--parity '" + text + "' is unknown: use none, odd, even, mark or space";
    line.parity = parity;
    return "";
}

std::string SetDataBits(LineOptions& line, const std::string& text) {
    if (text != "7" && text != "8") return "--data-bits '" + text + "' must be 7 or 8";
    line.dataBits = text[0] - '0';
    return "";
}

std::string SetStopBits(LineOptions& line, const std::string& text) {
    if (text != "1" && text != "2") return "--stop-bits '" + text + "' must be 1 or 2";
    line.stopBits = text[0] - '0';
    return "";
}

std::string SetRts(LineOptions& line, const std::string& text) {
    int64_t rts = 0;
    if (!ParseChoice(text, 0, 2, rts)) return "--rts '" + text + "' must be 0 (leave RTS), 1 or 2 (raise RTS while sending)";
    line.rts = static_cast<int>(rts);
    return "";
}

std::string SetTimeout(LineOptions& line, const std::string& text) {
    int64_t ms = 0;
    if (!ParseChoice(text, 1, 600000, ms)) return "--timeout '" + text + "' must be 1..600000 milliseconds";
    line.timeoutMs = static_cast<uint32_t>(ms);
    return "";
}

std::vector<LineOptions> CommonLineSettings(const LineOptions& given) {
    std::vector<LineOptions> settings;
    for (uint32_t baud : kCommonBaudRates) {
        for (const char* parity : kCommonParities) {
            LineOptions line = given;
            line.baud = baud;
            line.parity = parity;
            settings.push_back(line);
        }
    }
    return settings;
}

LinkParameters ToLinkParameters(const LineOptions& line) {
    LinkParameters link{};
    link.portIndex = static_cast<int16_t>(line.port - 1);
    link.baudIndex = static_cast<uint32_t>(BaudIndexOfText(std::to_string(line.baud)));
    link.eightDataBits = line.dataBits == 8;
    link.twoStopBits = line.stopBits == 2;
    link.parityIndex = static_cast<int16_t>(ParityIndexOf(line.parity));
    link.rtsControl = static_cast<int16_t>(line.rts);
    link.responseTimeout = line.timeoutMs;
    return link;
}

std::string NetworkLineSettings(const LineOptions& line) {
    return line.transport.empty() ? "" : "transport=" + line.transport + ";endpoint=" + line.endpoint;
}

std::string DescribeLine(const LineOptions& line) {
    if (!line.transport.empty()) return line.transport + kUrlSeparator + line.endpoint;
    return "COM" + std::to_string(line.port) + " " + std::to_string(line.baud) + " " +
           std::to_string(line.dataBits) + static_cast<char>(std::toupper(line.parity[0])) +
           std::to_string(line.stopBits);
}
