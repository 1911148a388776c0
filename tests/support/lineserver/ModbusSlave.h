#pragma once
// The device at the far end of the line: a Modbus RTU slave on a pty that
// answers for several stations, each from its own tables, and logs every
// frame it receives. libmodbus answers; the frames are cut here, because
// libmodbus would drop requests for all stations but one before we saw them.
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "RtuFrames.h"
#include "StationTables.h"

class ModbusSlave {
public:
    ModbusSlave(std::string device, uint32_t baud, const std::vector<int>& stations);
    ~ModbusSlave();
    ModbusSlave(const ModbusSlave&) = delete;
    ModbusSlave& operator=(const ModbusSlave&) = delete;

    // Opens the pty and starts answering; bytes that came while stopped are
    // discarded, as a device that was off never heard them.
    bool Start(std::string& error);
    void Stop();

    // A station switched off hears its requests but answers none.
    bool SwitchStation(int station, bool on);
    // A read that touches a lacking item is answered with exception 02.
    bool Lack(Table table, int station, uint16_t address);
    bool Set(Table table, int station, uint16_t address, uint16_t value);
    std::optional<uint16_t> Get(Table table, int station, uint16_t address);
    std::vector<Bytes> Requests();
    void ClearRequests();

private:
    void Run();
    void Receive(const Bytes& frame);
    bool TouchesLackingItem(const Bytes& frame) const;

    const std::string m_device;
    const uint32_t m_baud;
    const int m_silenceMs;
    std::mutex m_mutex;
    StationTables m_tables;
    std::vector<Bytes> m_requests;
    std::set<int> m_switchedOff;
    std::set<std::tuple<int, Table, uint16_t>> m_lacking;
    modbus_t* m_context = nullptr;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};
