#pragma once
// One line of one test: COM port pty <-> paced relay <-> slave pty, and the
// dosdevices link that makes the first pty a COM port in the Wine prefix.
// The line server's environment picks the slave behind every line it opens,
// KORVEL_LINE_SLAVE=libmodbus (the default) or pymodbus, so that one test
// program can run against either.
#include <memory>
#include <string>
#include <vector>

#include "ComLink.h"
#include "LineRelay.h"
#include "LineSlave.h"
#include "PtyPair.h"

class SimulatedLine {
public:
    // Null with a reason in error when any part cannot be set up; whatever
    // was set up is taken down again.
    static std::unique_ptr<SimulatedLine> Open(const std::string& winePrefix, uint32_t baud,
                                               const std::vector<int>& stations, std::string& error);

    int ComNumber() const { return m_link->Number(); }
    uint32_t Baud() const { return m_baud; }
    LineSlave& Slave() { return *m_slave; }
    // Null while the device is away.
    LineRelay* Relay() { return m_relay.get(); }

    // Takes the COM port's device away, as a pulled USB adapter's goes: the
    // pty behind it vanishes under whoever holds it open, and the COM name
    // leads nowhere. The slave goes on.
    bool Pull(std::string& error);
    // Brings a new device back under the same COM name.
    bool Return(std::string& error);

private:
    SimulatedLine() = default;
    void StartRelay();

    std::string m_winePrefix;
    uint32_t m_baud = 0;
    // Declared in the order of setting up; torn down the other way round,
    // so the COM port disappears first and the ptys last.
    PtyPair m_comSide;
    PtyPair m_deviceSide;
    std::unique_ptr<LineSlave> m_slave;
    std::unique_ptr<LineRelay> m_relay;
    std::unique_ptr<ComLink> m_link;
};
