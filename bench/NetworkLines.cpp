#include "NetworkLines.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "DriverCycles.h"

namespace bench {
namespace {

constexpr uint32_t kResponseTimeoutMs = 300;
constexpr int kSingleReads = 200;
constexpr uint32_t kRefusedMs = 3000;
constexpr uint32_t kPollEveryMs = 50;
constexpr uint32_t kGiveUpMs = 30000;
constexpr uint32_t kLateByMs = 500;
constexpr int kLateRounds = 10;
constexpr uint32_t kUnreachableMs = 6000;
constexpr int kPlantCycles = 20;

const std::vector<BenchTag> kOneTag = {{1, kAreaHoldingRegisters, 1, kTypeUInt16}};
const std::vector<BenchTag> kTwoRegisters = {{1, kAreaHoldingRegisters, 1, kTypeUInt32}};

void PrintSingleBeside(std::FILE* out, double driverMs, const char* label, const Figures* libmodbus) {
    if (libmodbus == nullptr) {
        std::fprintf(out, "  %s: -\n", label);
        return;
    }
    std::fprintf(out, "  %s: %.3f ms, driver/libmodbus %.2f\n", label, libmodbus->medianMs,
                 driverMs / libmodbus->medianMs);
}

// The same read as the driver's, by the least a Winsock client can do: one
// blocking send and the receives that bring the 13-byte reply. Under Wine
// this is the floor of any client of this process, the driver's included.
bool BareWinsockMs(const std::string& port, double& median) {
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(std::stoi(port)));
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        closesocket(socket);
        return false;
    }
    const char request[] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 2};
    constexpr int kReplyBytes = 13;
    std::vector<double> ms;
    for (int read = 0; read < kSingleReads; ++read) {
        const Stopwatch stopwatch;
        char reply[64];
        int received = send(socket, request, sizeof request, 0) == sizeof request ? 0 : -1;
        while (received >= 0 && received < kReplyBytes) {
            const int count = recv(socket, reply + received, sizeof reply - received, 0);
            received = count > 0 ? received + count : -1;
        }
        if (received < 0) break;
        ms.push_back(stopwatch.ElapsedMs());
    }
    closesocket(socket);
    if (ms.empty()) return false;
    median = MedianOf(ms);
    return true;
}

bool SingleReadMs(double& median, double& bareMedian, std::string& error) {
    DriverOnLine line;
    if (!line.OpenNetwork("open-peer libmodbus-mbap 1", "modbus-tcp", kTwoRegisters, kResponseTimeoutMs, error)) {
        return false;
    }
    line.PollCycle();
    std::vector<double> ms;
    for (int read = 0; read < kSingleReads; ++read) {
        const Stopwatch stopwatch;
        line.PollCycle();
        ms.push_back(stopwatch.ElapsedMs());
    }
    median = MedianOf(ms);
    if (!BareWinsockMs(line.NetworkPort(), bareMedian)) bareMedian = 0;
    return true;
}

bool SetRegister(DriverOnLine& line, uint16_t value, std::string& error) {
    std::string answer;
    return line.Command("set holding-register 1 0 " + std::to_string(value), answer, error);
}

// One tag read until it succeeds: whether the read delivered value.
struct Polled {
    bool read;
    bool right;
};

Polled ReadValue(DriverOnLine& line, uint16_t expected) {
    uint32_t value = 0;
    const bool read = line.ReadFirst(value);
    return {read, !read || value == expected};
}

// Polls every kPollEveryMs from the moment the server refuses; returns the
// ms from its return to the first good read, and counts wrong values.
bool RecoveryMs(double& ms, int& wrong, std::string& error) {
    DriverOnLine line;
    std::string answer;
    if (!line.OpenNetwork("open-tcp mbap 115200 1", "modbus-tcp", kOneTag, kResponseTimeoutMs, error) ||
        !SetRegister(line, 4321, error) || !line.Command("tcp-refuse " + std::to_string(kRefusedMs), answer, error)) {
        return false;
    }
    const Stopwatch stopwatch;
    wrong = 0;
    for (Polled polled{false, true}; !polled.read && stopwatch.ElapsedMs() < kGiveUpMs; Sleep(kPollEveryMs)) {
        polled = ReadValue(line, 4321);
        wrong += !polled.right;
    }
    ms = stopwatch.ElapsedMs() - kRefusedMs;
    return true;
}

// Each round: a reply later than the time-out, then a read of a new value.
bool LateReplies(const char* open, const char* transport, int& reads, int& wrong, std::string& error) {
    DriverOnLine line;
    std::string answer;
    if (!line.OpenNetwork(open, transport, kOneTag, kResponseTimeoutMs, error)) return false;
    reads = 0;
    wrong = 0;
    for (int round = 0; round < kLateRounds; ++round) {
        const uint16_t value = static_cast<uint16_t>(1000 + round);
        if (!SetRegister(line, value, error) ||
            !line.Command("delay " + std::to_string(kLateByMs), answer, error)) {
            return false;
        }
        for (int read = 0; read < 2; ++read) {
            const Polled polled = ReadValue(line, value);
            reads += polled.read;
            wrong += !polled.right;
        }
    }
    return true;
}

// Two driver objects on one gateway line poll in turn while the gateway
// neither accepts nor refuses; the longest of their calls meanwhile.
bool LongestCallWhileUnreachable(double& longestMs, int& calls, std::string& error) {
    DriverOnLine first;
    DriverOnLine second;
    std::string answer;
    if (!first.OpenNetwork("open-tcp mbap 115200 1", "modbus-tcp", kOneTag, kResponseTimeoutMs, error) ||
        !second.OpenBeside(first, error) ||
        !first.Command("tcp-refuse " + std::to_string(kUnreachableMs) + " stall", answer, error)) {
        return false;
    }
    longestMs = 0;
    calls = 0;
    const Stopwatch unreachable;
    while (unreachable.ElapsedMs() < kUnreachableMs - 500) {
        for (DriverOnLine* line : {&first, &second}) {
            const Stopwatch call;
            line->PollCycle();
            longestMs = std::max(longestMs, call.ElapsedMs());
            ++calls;
        }
        Sleep(1);
    }
    return true;
}

// The plant's cycle back to back on one server in both framings.
bool PlantCycleMs(const char* peer, const char* transport, double& median, std::string& error) {
    DriverOnLine line;
    if (!line.OpenNetwork(std::string("open-peer ") + peer + " 1 2 3", transport, PlantTags(), kResponseTimeoutMs,
                          error)) {
        return false;
    }
    for (int warmup = 0; warmup < 2; ++warmup) line.PollCycle();
    std::vector<double> ms;
    for (int cycle = 0; cycle < kPlantCycles; ++cycle) {
        const Stopwatch stopwatch;
        if (line.PollCycle() != 0) {
            error = std::string("a read of the plant failed over ") + transport;
            return false;
        }
        ms.push_back(stopwatch.ElapsedMs());
    }
    median = MedianOf(ms);
    return true;
}

}  // namespace

bool MeasureNetworkLines(std::FILE* out, const std::vector<Figures>& masters, std::string& error) {
    double driverMs = 0;
    double bareMs = 0;
    if (!SingleReadMs(driverMs, bareMs, error)) return false;
    std::fprintf(out, "\nModbus TCP on 127.0.0.1, one read of 2 registers (median of %d):\n", kSingleReads);
    std::fprintf(out, "  driver (Korvel.dll under Wine): %.3f ms\n", driverMs);
    PrintSingleBeside(out, driverMs, "libmodbus TCP client, native", FindFigures(masters, "single", kModbusTcp));
    PrintSingleBeside(out, driverMs, "libmodbus TCP client built for Windows, under Wine",
                      FindFigures(masters, "single-wine", kModbusTcp));
    std::fprintf(out, "  a bare blocking Winsock client in this process under Wine: %.3f ms, driver/bare %.2f\n",
                 bareMs, bareMs > 0 ? driverMs / bareMs : 0.0);
    double recoveryMs = 0;
    int wrong = 0;
    if (!RecoveryMs(recoveryMs, wrong, error)) return false;
    std::fprintf(out,
                 "  connections dropped and refused for %u ms: first good read %.0f ms after the return, %d wrong\n",
                 kRefusedMs, recoveryMs, wrong);
    const std::pair<const char*, const char*> framings[] = {{"open-tcp mbap 115200 1", "modbus-tcp"},
                                                            {"open-tcp rtu 115200 1", "rtu-over-tcp"}};
    for (const auto& [open, transport] : framings) {
        int reads = 0;
        if (!LateReplies(open, transport, reads, wrong, error)) return false;
        std::fprintf(out, "  %s, %d replies %u ms late: %d of %d reads delivered, %d wrong\n", transport, kLateRounds,
                     kLateByMs, reads, 2 * kLateRounds, wrong);
    }
    double longestMs = 0;
    int calls = 0;
    if (!LongestCallWhileUnreachable(longestMs, calls, error)) return false;
    std::fprintf(out, "  a gateway that neither accepts nor refuses for %u ms, two driver objects: %d calls, "
                 "the longest %.1f ms\n", kUnreachableMs, calls, longestMs);
    double mbapMs = 0;
    double rtuMs = 0;
    if (!PlantCycleMs("pymodbus-mbap", "modbus-tcp", mbapMs, error) ||
        !PlantCycleMs("pymodbus-rtu", "rtu-over-tcp", rtuMs, error)) {
        return false;
    }
    std::fprintf(out, "  the plant's %zu tags back to back on pymodbus (median of %d cycles): Modbus TCP %.1f ms, "
                 "RTU over TCP %.1f ms, RTU/Modbus TCP %.2f\n", PlantTags().size(), kPlantCycles, mbapMs, rtuMs,
                 rtuMs / mbapMs);
    return true;
}

}  // namespace bench
