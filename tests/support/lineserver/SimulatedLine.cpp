#include "SimulatedLine.h"

#include <cstdlib>

#include "ModbusSlave.h"
#include "ModbusTcpPeer.h"
#include "PymodbusSlave.h"

namespace {

constexpr int64_t kBitsPerCharacter = 10;

Clock::duration CharacterTime(uint32_t baud) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(kBitsPerCharacter * 1000000000 / baud));
}

std::unique_ptr<LineSlave> MakeSlave(const std::string& device, uint32_t baud, const std::vector<int>& stations,
                                     std::string& error) {
    const char* chosen = std::getenv("KORVEL_LINE_SLAVE");
    std::string kind = chosen != nullptr ? chosen : "libmodbus";
    if (kind == "libmodbus") return std::make_unique<ModbusSlave>(device, baud, stations);
    if (kind == "pymodbus") return std::make_unique<PymodbusSlave>(device, baud, stations);
    error = "KORVEL_LINE_SLAVE '" + kind + "' is neither libmodbus nor pymodbus";
    return nullptr;
}

}  // namespace

std::unique_ptr<SimulatedLine> SimulatedLine::Open(const std::string& winePrefix, uint32_t baud,
                                                   const std::vector<int>& stations, std::string& error) {
    std::unique_ptr<SimulatedLine> line(new SimulatedLine);
    line->m_winePrefix = winePrefix;
    line->m_baud = baud;
    if (!line->m_comSide.Open(error) || !line->m_deviceSide.Open(error)) return nullptr;
    line->m_slave = MakeSlave(line->m_deviceSide.SlavePath(), baud, stations, error);
    if (!line->m_slave || !line->m_slave->Start(error)) return nullptr;
    line->StartRelay();
    line->m_link = ComLink::Claim(winePrefix, line->m_comSide.SlavePath(), error);
    if (!line->m_link) return nullptr;
    return line;
}

std::unique_ptr<SimulatedLine> SimulatedLine::OpenPeer(const std::string& peer, const std::vector<int>& stations,
                                                       std::string& error) {
    std::unique_ptr<SimulatedLine> line(new SimulatedLine);
    if (peer == "libmodbus-mbap") line->m_slave = std::make_unique<ModbusTcpPeer>(stations);
    if (peer == "pymodbus-rtu") line->m_slave = std::make_unique<PymodbusSlave>(stations, "rtu");
    if (peer == "pymodbus-mbap") line->m_slave = std::make_unique<PymodbusSlave>(stations, "socket");
    if (!line->m_slave) error = "no peer " + peer + "; accepted: pymodbus-rtu, pymodbus-mbap, libmodbus-mbap";
    if (!line->m_slave || !line->m_slave->Start(error)) return nullptr;
    return line;
}

bool SimulatedLine::AddTcpFace(TcpFace::Framing framing, std::string& error) {
    m_face = TcpFace::Open(m_comSide.SlavePath(), framing, error);
    return m_face != nullptr;
}

bool SimulatedLine::AddTap(std::chrono::milliseconds piece, std::string& error) {
    if (m_tap) {
        error = "the line has a listener already";
        return false;
    }
    m_tap = LineTap::Open(m_winePrefix, piece, error);
    if (!m_tap) return false;
    m_relay->Tap(m_tap.get());
    return true;
}

void SimulatedLine::StartRelay() {
    m_relay = std::make_unique<LineRelay>(m_comSide.Master(), m_comSide.SlavePath(), m_deviceSide.Master(),
                                          CharacterTime(m_baud));
    if (m_tap) m_relay->Tap(m_tap.get());
}

bool SimulatedLine::Pull(std::string& error) {
    if (!m_relay) {
        error = "the device is already away";
        return false;
    }
    m_relay.reset();
    if (!m_link->Retarget(ComLink::Nowhere(m_winePrefix), error)) return false;
    m_comSide.Close();
    return true;
}

bool SimulatedLine::Return(std::string& error) {
    if (m_relay || !m_link) {
        error = m_link ? "the device is not away" : "this line has no COM port";
        return false;
    }
    if (!m_comSide.Open(error)) return false;
    StartRelay();
    return m_link->Retarget(m_comSide.SlavePath(), error);
}
