#pragma once
// Line settings as a person writes them, and their translation into the
// host's LinkParameters record. A network line is given as a URL; it runs
// on a spare line number, COM64, with its transport and endpoint set for it
// as command-line settings.
#include <cstdint>
#include <string>
#include <vector>

#include "driver/HostRecords.h"

struct LineOptions {
    int port = 0;  // COM number, 1-based; 0 until --port is given
    uint32_t baud = 9600;
    std::string parity = "none";
    int dataBits = 8;
    int stopBits = 1;
    int rts = 0;
    uint32_t timeoutMs = 1000;
    // A network line's transport and "HOST:PORT"; empty for a serial port.
    std::string transport;
    std::string endpoint;
};

// Each setter checks one option's text and returns an empty text, or one line
// saying what is wrong.
// "COM3", "com3", "3", "modbus-tcp://HOST:PORT" or "rtu-over-tcp://HOST:PORT".
std::string SetPort(LineOptions& line, const std::string& text);
std::string SetBaud(LineOptions& line, const std::string& text);
std::string SetParity(LineOptions& line, const std::string& text);
std::string SetDataBits(LineOptions& line, const std::string& text);
std::string SetStopBits(LineOptions& line, const std::string& text);
std::string SetRts(LineOptions& line, const std::string& text);
std::string SetTimeout(LineOptions& line, const std::string& text);

// The settings --baud auto tries in turn: the common rates, each with the
// common parities, the rest as given.
std::vector<LineOptions> CommonLineSettings(const LineOptions& given);

// The record the driver's Open reads. The options must have passed the setters.
LinkParameters ToLinkParameters(const LineOptions& line);
// The settings a network line is run with, "transport=...;endpoint=...";
// empty for a serial port.
std::string NetworkLineSettings(const LineOptions& line);
// "COM3 9600 8N1" or "modbus-tcp://10.0.0.5:502" for the run's heading.
std::string DescribeLine(const LineOptions& line);
