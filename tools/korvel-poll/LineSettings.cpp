#include "korvel-poll/LineSettings.h"

#include <cctype>

#include "korvel-poll/TextUtil.h"

namespace {

// The host's baud-rate index is the position in this table.
const uint32_t kBaudRates[] = {110,   300,   600,   1200,  2400,  4800,   9600,  14400,
                               19200, 38400, 56000, 57600, 115200, 128000, 256000};

// The host's parity index is the position in this table: odd, even, none,
// mark, space (not the Win32 order).
const char* const kParities[] = {"odd", "even", "none", "mark", "space"};

// What devices are most often set to, the most common first.
const uint32_t kCommonBaudRates[] = {9600, 19200, 38400, 115200, 4800, 2400};
const char* const kCommonParities[] = {"none", "even", "odd"};

constexpr int kLastPort = 64;

template <typename T, size_t N>
int IndexOf(const T (&table)[N], const std::string& wanted) {
    for (size_t i = 0; i < N; ++i) {
        if (std::to_string(table[i]) == wanted) return static_cast<int>(i);
    }
    return -1;
}

template <size_t N>
int IndexOf(const char* const (&table)[N], const std::string& wanted) {
    for (size_t i = 0; i < N; ++i) {
        if (wanted == table[i]) return static_cast<int>(i);
    }
    return -1;
}

std::string BaudList() {
    std::string list;
    for (uint32_t baud : kBaudRates) list += (list.empty() ? "" : ", ") + std::to_string(baud);
    return list;
}

bool ParseChoice(const std::string& text, int64_t min, int64_t max, int64_t& value) {
    return text.find_first_not_of("0123456789") == std::string::npos && ParseInteger(text, min, max, value);
}

}  // namespace

std::string SetPort(LineOptions& line, const std::string& text) {
    std::string number = ToLower(text).compare(0, 3, "com") == 0 ? text.substr(3) : text;
    int64_t port = 0;
    if (!ParseChoice(number, 1, kLastPort, port)) {
        return "--port '" + text + "' is not a serial port: use COM1..COM64 or 1..64";
    }
    line.port = static_cast<int>(port);
    return "";
}

std::string SetBaud(LineOptions& line, const std::string& text) {
    if (IndexOf(kBaudRates, text) < 0) return "--baud '" + text + "' is not supported: use one of " + BaudList();
    line.baud = kBaudRates[IndexOf(kBaudRates, text)];
    return "";
}

std::string SetParity(LineOptions& line, const std::string& text) {
    std::string parity = ToLower(text);
    if (IndexOf(kParities, parity) < 0) return "--parity '" + text + "' is unknown: use none, odd, even, mark or space";
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
    link.baudIndex = static_cast<uint32_t>(IndexOf(kBaudRates, std::to_string(line.baud)));
    link.eightDataBits = line.dataBits == 8;
    link.twoStopBits = line.stopBits == 2;
    link.parityIndex = static_cast<int16_t>(IndexOf(kParities, line.parity));
    link.rtsControl = static_cast<int16_t>(line.rts);
    link.responseTimeout = line.timeoutMs;
    return link;
}

std::string DescribeLine(const LineOptions& line) {
    return "COM" + std::to_string(line.port) + " " + std::to_string(line.baud) + " " +
           std::to_string(line.dataBits) + static_cast<char>(std::toupper(line.parity[0])) +
           std::to_string(line.stopBits);
}
