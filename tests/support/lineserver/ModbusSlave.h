#pragma once
// The device at the far end of the line as libmodbus answers it: a Modbus
// RTU slave on a pty that answers for several stations, each from its own
// tables. The frames are cut here, because libmodbus would drop requests for
// all stations but one before we saw them.
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "LineSlave.h"

class ModbusSlave : public LineSlave {
public:
    ModbusSlave(std::string device, uint32_t baud, const std::vector<int>& stations);
    ~ModbusSlave() override;
    ModbusSlave(const ModbusSlave&) = delete;
    ModbusSlave& operator=(const ModbusSlave&) = delete;

    bool Start(std::string& error) override;
    void Stop() override;
    bool Set(Table table, int station, uint16_t address, uint16_t value) override;
    std::optional<uint16_t> Get(Table table, int station, uint16_t address) override;
    bool SwitchStation(int station, bool on) override;
    bool Lack(Table table, int station, uint16_t address, bool lacking) override;
    bool Refuse(const Refusal& refusal) override;
    bool Accept(int station) override;

private:
    void Receive(const Bytes& frame);
    bool TouchesLackingItem(const Bytes& frame) const;
    // The code of the first refusal the frame meets, used up if it was for
    // one request only; 0 for none.
    uint8_t RefusalFor(const Bytes& frame);

    const std::string m_device;
    const uint32_t m_baud;
    std::mutex m_mutex;
    StationTables m_tables;
    std::set<int> m_switchedOff;
    std::set<std::tuple<int, Table, uint16_t>> m_lacking;
    std::vector<Refusal> m_refusals;
    modbus_t* m_context = nullptr;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};
