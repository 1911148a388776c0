#include "line/StationHealth.h"

void CStationHealth::Forget() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stations.clear();
    m_recorded = 0;
}

modbus::Admission CStationHealth::Admit(uint8_t station, const Clock& nowMs) {
    if (m_recorded.load() == 0) return modbus::Admission::kSend;
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_stations.find(station);
    if (found == m_stations.end() || !found->second.demoted) return modbus::Admission::kSend;
    return nowMs() < found->second.demotedUntil ? modbus::Admission::kRefuse : modbus::Admission::kProbe;
}

modbus::HealthChange CStationHealth::CountReply(uint8_t station, bool replied, int32_t demoteAfter,
                                                int32_t demoteForMs, const Clock& nowMs) {
    if (replied && m_recorded.load() == 0) return modbus::HealthChange::kNone;
    std::lock_guard<std::mutex> guard(m_lock);
    if (replied) {
        auto found = m_stations.find(station);
        if (found == m_stations.end()) return modbus::HealthChange::kNone;
        const bool wasDemoted = found->second.demoted;
        m_stations.erase(found);
        m_recorded = m_stations.size();
        return wasDemoted ? modbus::HealthChange::kRestored : modbus::HealthChange::kNone;
    }
    Record& record = m_stations[station];
    m_recorded = m_stations.size();
    ++record.silentInARow;
    if (!record.demoted && (demoteAfter == 0 || record.silentInARow < demoteAfter)) {
        return modbus::HealthChange::kNone;
    }
    record.demoted = true;
    record.demotedUntil = nowMs() + static_cast<uint64_t>(demoteForMs);
    return modbus::HealthChange::kDemoted;
}
