#pragma once
// The master that drives a listened line in the monitor soak: it asks the
// line's stations back to back, from a seeded draw of reads and writes of
// every area, some of them into a register the device lacks (exception 02)
// and some to a station that is not there (no reply), and keeps its own log
// of each request and the reply it took, to hold the listener's records
// against.
#include <windows.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

class LineFixture;

// What the master sent and took back; an empty reply: none came.
struct MasterExchange {
    std::string request;
    std::string reply;
};

class CListenedMaster {
public:
    static constexpr int kStations[] = {1, 2, 3};
    static constexpr int kAbsentStation = 7;
    static constexpr int kLackingStation = 2;
    static constexpr uint16_t kLackedRegister = 40;

    // The device's answer starts firstMs..mostMs after each request, drawn
    // anew for each.
    CListenedMaster(LineFixture& line, uint32_t baud, uint32_t seed, uint32_t firstMs, uint32_t mostMs);
    ~CListenedMaster();
    CListenedMaster(const CListenedMaster&) = delete;
    CListenedMaster& operator=(const CListenedMaster&) = delete;

    bool Opened() const { return m_port != INVALID_HANDLE_VALUE; }
    // One exchange, appended to the log.
    void AskOnce();
    const std::vector<MasterExchange>& Log() const { return m_log; }

private:
    std::string DrawRequest();
    std::string Read(size_t count, uint32_t waitMs);
    std::string TakeReply(const std::string& request);
    uint32_t WireMs(size_t bytes) const;

    LineFixture& m_line;
    HANDLE m_port;
    const uint32_t m_baud;
    std::mt19937 m_draw;
    std::uniform_int_distribution<uint32_t> m_turnaround;
    std::vector<MasterExchange> m_log;
};
