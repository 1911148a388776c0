#pragma once
// What one master achieved at one speed, per poll cycle, and how the
// programs of the benchmark hand these figures on: one text line each.
#include <cstdint>
#include <string>
#include <vector>

#include "WireTime.h"

namespace bench {

// A "baud" of 0 stands for Modbus TCP to a libmodbus server on 127.0.0.1,
// where no wire time applies.
constexpr uint32_t kModbusTcp = 0;

struct Figures {
    std::string master;  // "driver", "reference", "naive", or "single" for one read alone
    uint32_t baud = 0;
    int cycles = 0;
    int failedReads = 0;  // over all measured cycles; figures with failures measure nothing useful
    double medianMs = 0;
    double p95Ms = 0;
    double requests = 0;  // per cycle
    double bytes = 0;     // per cycle, requests and replies
    double wireMs = 0;    // per cycle: the wire time of exactly those frames
};

double MedianOf(std::vector<double> samples);
// The figures of master at baud among all; null without them.
const Figures* FindFigures(const std::vector<Figures>& all, const std::string& master, uint32_t baud);

// Cycle times in ms give the median and the 95th percentile; the exchanges
// of all cycles give the traffic per cycle.
Figures Summarise(std::string master, uint32_t baud, std::vector<double> cycleMs,
                  const std::vector<ExchangeBytes>& exchanges, int failedReads);

// "figures <master> <baud> <cycles> <failed> <median> <p95> <requests> <bytes> <wire>"
std::string FormatFigures(const Figures& figures);
bool ParseFigures(const std::string& line, Figures& figures);

}  // namespace bench
