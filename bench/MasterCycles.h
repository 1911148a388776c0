#pragma once
// A libmodbus master polling the benchmark's tags with a fixed list of
// requests, on a simulated line of the same line server and the same paced
// relay as the driver's. At kModbusTcp it is libmodbus's TCP client, against
// the line server's libmodbus TCP server.
#include <cstdint>
#include <string>
#include <vector>

#include "Figures.h"
#include "RangePlan.h"

namespace bench {

// Every request once per cycle, after warmupCycles unmeasured ones. False
// with the reason in error when the line cannot be had.
// deviceCommand, unless empty, is sent to the line server for the line's
// device first.
bool MeasureMaster(const std::string& master, uint32_t baud, const std::vector<ReadRequest>& requests,
                   int warmupCycles, int cycles, Figures& figures, std::string& error,
                   const std::string& deviceCommand = "");
// One read of two holding registers over Modbus TCP, reads times over:
// figures of master at kModbusTcp with the median time of one read.
bool MeasureSingleTcpRead(const std::string& master, int reads, Figures& figures, std::string& error);

}  // namespace bench
