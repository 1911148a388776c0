#include "MasterCycles.h"

#include <modbus.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "ComPortPath.h"
#include "support/LineServerClient.h"

namespace bench {
namespace {

constexpr const char* kStations = "1 2 3";
constexpr uint32_t kResponseTimeoutUs = 500000;

using Context = std::unique_ptr<modbus_t, void (*)(modbus_t*)>;

void CloseContext(modbus_t* context) {
    modbus_close(context);
    modbus_free(context);
}

bool Read(modbus_t* context, const ReadRequest& request) {
    uint8_t bits[2000];
    uint16_t registers[125];
    modbus_set_slave(context, request.station);
    switch (request.function) {
    case 1:
        return modbus_read_bits(context, request.start, request.quantity, bits) == request.quantity;
    case 2:
        return modbus_read_input_bits(context, request.start, request.quantity, bits) == request.quantity;
    case 3:
        return modbus_read_registers(context, request.start, request.quantity, registers) == request.quantity;
    case 4:
        return modbus_read_input_registers(context, request.start, request.quantity, registers) == request.quantity;
    }
    return false;
}

// A libmodbus context on a line of the line server: the COM port of a
// serial line, or a TCP connection to a libmodbus server.
bool Connect(LineServerClient& server, uint32_t baud, Context& context, std::string& error) {
    std::string answer, path;
    const std::string open = baud == kModbusTcp ? "open-peer libmodbus-mbap " : "open " + std::to_string(baud) + " ";
    if (!server.Connect(error) || !server.Call(open + kStations, answer, error)) return false;
    if (baud == kModbusTcp) {
        context.reset(modbus_new_tcp("127.0.0.1", std::atoi(answer.c_str())));
        path = "127.0.0.1:" + answer;
    } else if (ComPortPath(answer, path, error)) {
        context.reset(modbus_new_rtu(path.c_str(), static_cast<int>(baud), 'N', 8, 1));
    } else {
        return false;
    }
    if (!context || modbus_connect(context.get()) != 0) {
        error = "libmodbus cannot open " + path + ": " + modbus_strerror(errno);
        return false;
    }
    modbus_set_response_timeout(context.get(), 0, kResponseTimeoutUs);
    return true;
}

int PollCycle(modbus_t* context, const std::vector<ReadRequest>& requests) {
    int failed = 0;
    for (const ReadRequest& request : requests) {
        if (!Read(context, request)) ++failed;
    }
    return failed;
}

}  // namespace

bool MeasureMaster(const std::string& master, uint32_t baud, const std::vector<ReadRequest>& requests,
                   int warmupCycles, int cycles, Figures& figures, std::string& error,
                   const std::string& deviceCommand) {
    LineServerClient server;
    Context context(nullptr, CloseContext);
    if (!Connect(server, baud, context, error)) return false;
    std::string answer;
    if (!deviceCommand.empty() && !server.Call(deviceCommand, answer, error)) return false;
    for (int cycle = 0; cycle < warmupCycles; ++cycle) PollCycle(context.get(), requests);
    std::vector<double> cycleMs;
    std::vector<ExchangeBytes> exchanges;
    int failed = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const auto start = std::chrono::steady_clock::now();
        failed += PollCycle(context.get(), requests);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        cycleMs.push_back(std::chrono::duration<double, std::milli>(elapsed).count());
        for (const ReadRequest& request : requests) {
            exchanges.push_back(ReadExchange(request.function, request.quantity));
        }
    }
    figures = Summarise(master, baud, cycleMs, exchanges, failed);
    return true;
}

bool MeasureSingleTcpRead(const std::string& master, int reads, Figures& figures, std::string& error) {
    LineServerClient server;
    Context context(nullptr, CloseContext);
    if (!Connect(server, kModbusTcp, context, error)) return false;
    const std::vector<ReadRequest> one = {{1, 3, 0, 2}};
    PollCycle(context.get(), one);
    std::vector<double> readMs;
    int failed = 0;
    for (int read = 0; read < reads; ++read) {
        const auto start = std::chrono::steady_clock::now();
        failed += PollCycle(context.get(), one);
        readMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    figures = Summarise(master, kModbusTcp, readMs, {}, failed);
    return true;
}

}  // namespace bench
