#include "SimulatedLine.h"

namespace {

constexpr int64_t kBitsPerCharacter = 10;

Clock::duration CharacterTime(uint32_t baud) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(kBitsPerCharacter * 1000000000 / baud));
}

}  // namespace

std::unique_ptr<SimulatedLine> SimulatedLine::Open(const std::string& winePrefix, uint32_t baud,
                                                   const std::vector<int>& stations, std::string& error) {
    std::unique_ptr<SimulatedLine> line(new SimulatedLine);
    if (!line->m_comSide.Open(error) || !line->m_deviceSide.Open(error)) return nullptr;
    line->m_slave = std::make_unique<ModbusSlave>(line->m_deviceSide.SlavePath(), baud, stations);
    if (!line->m_slave->Start(error)) return nullptr;
    line->m_relay = std::make_unique<LineRelay>(line->m_comSide.Master(), line->m_comSide.SlavePath(),
                                                line->m_deviceSide.Master(), CharacterTime(baud));
    line->m_link = ComLink::Claim(winePrefix, line->m_comSide.SlavePath(), error);
    if (!line->m_link) return nullptr;
    return line;
}
