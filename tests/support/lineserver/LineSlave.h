#pragma once
// The device at the far end of a line, whichever Modbus implementation
// answers there: it hears every frame that reaches it, logs each one, and
// answers for its stations from their tables. The log is kept here, the
// same for every slave.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "RtuFrames.h"
#include "StationTables.h"

// A device that refuses requests for a while with an exception code: those
// of one station that touch items first..last (reads and writes alike), until
// the given time, or only the next such request.
struct Refusal {
    int station;
    uint8_t code;
    uint16_t first = 0;
    uint16_t last = 0xFFFF;
    std::optional<std::chrono::steady_clock::time_point> until;  // none: until accepted again
    bool once = false;
};

class LineSlave {
public:
    virtual ~LineSlave() = default;

    // Opens the device and starts answering; bytes that came while stopped
    // are discarded, as a device that was off never heard them.
    virtual bool Start(std::string& error) = 0;
    // A stopped slave neither receives nor answers; its tables are kept.
    virtual void Stop() = 0;

    virtual bool Set(Table table, int station, uint16_t address, uint16_t value) = 0;
    virtual std::optional<uint16_t> Get(Table table, int station, uint16_t address) = 0;

    // Faults of a device, where the slave can play them: a station switched
    // off hears its requests but answers none; a read that touches a lacking
    // item is answered with exception 02 (until the item is no longer
    // lacking). False where the slave cannot, or the station is not on the
    // line.
    virtual bool SwitchStation(int station, bool on);
    virtual bool Lack(Table table, int station, uint16_t address, bool lacking);
    // Refusals add up; Accept ends every refusal of the station.
    virtual bool Refuse(const Refusal& refusal);
    virtual bool Accept(int station);
    // The port on 127.0.0.1 of a slave that serves TCP itself, else 0.
    virtual uint16_t TcpPort() const { return 0; }

    // Every frame received, oldest first: also those for other stations and
    // those with a bad CRC.
    std::vector<Bytes> Requests();
    void ClearRequests();

protected:
    void LogRequest(const Bytes& frame);

private:
    std::mutex m_logMutex;
    std::vector<Bytes> m_requests;
};

// Hands every frame that arrives on fd to receive, whole, for as long as
// running holds: a frame ends when its function code says it is complete,
// or after the silence of a request cut short at this baud rate.
void ReceiveFrames(int fd, uint32_t baud, const std::atomic<bool>& running,
                   const std::function<void(const Bytes&)>& receive);
