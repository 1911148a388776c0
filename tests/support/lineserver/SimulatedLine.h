#pragma once
// One line of one test: COM port pty <-> paced relay <-> slave pty, and the
// dosdevices link that makes the first pty a COM port in the Wine prefix.
// The line server's environment picks the slave behind every line it opens,
// KORVEL_LINE_SLAVE=libmodbus (the default) or pymodbus, so that one test
// program can run against either.
//
// A line may also be reached over TCP: through a face that stands where the
// COM port's user would, or, for a peer line, straight at a slave that is a
// TCP server itself (pymodbus in either framing, libmodbus in Modbus TCP);
// a peer line has no relay and no COM port.
#include <memory>
#include <string>
#include <vector>

#include "ComLink.h"
#include "LineRelay.h"
#include "LineSlave.h"
#include "LineTap.h"
#include "PtyPair.h"
#include "TcpFace.h"

class SimulatedLine {
public:
    // Null with a reason in error when any part cannot be set up; whatever
    // was set up is taken down again.
    static std::unique_ptr<SimulatedLine> Open(const std::string& winePrefix, uint32_t baud,
                                               const std::vector<int>& stations, std::string& error);
    // peer is pymodbus-rtu, pymodbus-mbap or libmodbus-mbap.
    static std::unique_ptr<SimulatedLine> OpenPeer(const std::string& peer, const std::vector<int>& stations,
                                                   std::string& error);
    bool AddTcpFace(TcpFace::Framing framing, std::string& error);
    // A listener's COM port on the line, handing over what it hears in
    // pieces of piece (0: byte by byte).
    bool AddTap(std::chrono::milliseconds piece, std::string& error);
    // Null without one.
    LineTap* Tap() { return m_tap.get(); }

    int ComNumber() const { return m_link->Number(); }
    uint32_t Baud() const { return m_baud; }
    LineSlave& Slave() { return *m_slave; }
    // Null while the device is away, and on a peer line.
    LineRelay* Relay() { return m_relay.get(); }
    // Null without a face.
    TcpFace* Face() { return m_face.get(); }
    // Where the host connects: the face's port or the peer's.
    uint16_t TcpPort() const { return m_face ? m_face->Port() : m_slave->TcpPort(); }

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
    std::unique_ptr<LineTap> m_tap;
    std::unique_ptr<LineSlave> m_slave;
    std::unique_ptr<LineRelay> m_relay;
    std::unique_ptr<ComLink> m_link;
    std::unique_ptr<TcpFace> m_face;
};
