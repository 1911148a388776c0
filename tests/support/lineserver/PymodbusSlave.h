#pragma once
// The device at the far end of the line as pymodbus answers it: a pymodbus
// RTU server process (tests/support/pymodbus-slave) on a pty pair of its own,
// with this object in between. Frames are cut and logged here as for the
// libmodbus slave, then handed on unchanged, also those for other stations
// or with a bad CRC: pymodbus decides what to answer. Its replies go back
// onto the line as they come. The tables live in the process, reached
// through its standard streams; it is started with the first Start and
// ended by its process id with this object.
//
// Given a TCP framing instead of a device, the process is a TCP server of
// its own on 127.0.0.1, in RTU ("rtu") or Modbus TCP ("socket") framing, and
// the line ends there: nothing is carried or logged here.
#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LineSlave.h"
#include "PtyPair.h"

class PymodbusSlave : public LineSlave {
public:
    PymodbusSlave(std::string device, uint32_t baud, const std::vector<int>& stations);
    PymodbusSlave(const std::vector<int>& stations, std::string tcpFraming);
    ~PymodbusSlave() override;
    PymodbusSlave(const PymodbusSlave&) = delete;
    PymodbusSlave& operator=(const PymodbusSlave&) = delete;

    bool Start(std::string& error) override;
    void Stop() override;
    bool Set(Table table, int station, uint16_t address, uint16_t value) override;
    std::optional<uint16_t> Get(Table table, int station, uint16_t address) override;
    uint16_t TcpPort() const override { return m_tcpPort; }

private:
    bool Launch(std::string& error);
    // One command line to the process and its answer after "ok"; false when
    // it refused or did not answer in time.
    bool Call(const std::string& command, std::string& answer);
    bool ReadAnswer(std::string& line);
    void CarryReplies();

    const std::string m_device;
    const uint32_t m_baud;
    const std::vector<int> m_stations;
    const std::string m_tcpFraming;  // empty: on the device
    uint16_t m_tcpPort = 0;
    PtyPair m_serverSide;
    pid_t m_pid = -1;
    int m_commands = -1;  // the process's standard input
    int m_answers = -1;   // its standard output
    std::string m_pendingAnswer;
    std::mutex m_callMutex;
    int m_line = -1;  // the device end of the line, while started
    std::atomic<bool> m_running{false};
    std::thread m_requestCarrier;
    std::thread m_replyCarrier;
};
