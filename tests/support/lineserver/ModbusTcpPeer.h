#pragma once
// A Modbus TCP server as libmodbus answers, on 127.0.0.1: an independent
// peer for the driver's network lines. It answers every unit id that is one
// of its stations from that station's tables, and stays silent for others.
// One connection is served at a time; a new one replaces it. Each request
// is logged as the RTU frame it stands for, so that requests are counted
// as on a serial line.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LineSlave.h"

class ModbusTcpPeer : public LineSlave {
public:
    explicit ModbusTcpPeer(const std::vector<int>& stations);
    ~ModbusTcpPeer() override;
    ModbusTcpPeer(const ModbusTcpPeer&) = delete;
    ModbusTcpPeer& operator=(const ModbusTcpPeer&) = delete;

    bool Start(std::string& error) override;
    void Stop() override;
    bool Set(Table table, int station, uint16_t address, uint16_t value) override;
    std::optional<uint16_t> Get(Table table, int station, uint16_t address) override;
    uint16_t TcpPort() const override { return m_port; }

private:
    void Serve();
    void Answer();

    std::mutex m_mutex;
    StationTables m_tables;
    modbus_t* m_context = nullptr;
    int m_listener = -1;
    int m_client = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};
