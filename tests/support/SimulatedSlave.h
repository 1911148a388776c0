#pragma once
// Modbus RTU slaves on an in-process line: every station answers from its
// own tables, and every request is logged. The line can be told to answer
// with exceptions, with corrupted CRCs, or not at all; a station can be
// switched off and lack items. The line keeps the stations' settings and
// health like a real one, on a clock the test advances.
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tags/FrameExchange.h"
#include "tags/TagRecords.h"
#include "line/StationHealth.h"

class SimulatedSlave : public modbus::IFrameExchange {
public:
    // kException answers exception 04, kRefusal exception 02, as a device
    // that lacks every item, or one still starting, does; kBusy answers 06
    // and kAcknowledge 05, as a device at work does.
    enum class Reply { kNormal, kException, kBadCrc, kSilence, kRefusal, kBusy, kAcknowledge };

    void SetReply(Reply reply) { m_reply = reply; }
    // Replies for the next requests, before SetReply's applies again.
    void QueueReplies(std::initializer_list<Reply> replies) { m_queued.insert(m_queued.end(), replies); }
    void SwitchOff(uint8_t station, bool off) { off ? (void)m_off.insert(station) : (void)m_off.erase(station); }
    // A request that touches a lacking item is answered with exception 02.
    void Lack(uint8_t station, Area area, uint16_t address, bool lacking = true) {
        lacking ? (void)m_lacking.insert({station, area, address}) : (void)m_lacking.erase({station, area, address});
    }
    modbus::StationSettings& Settings(uint8_t station) { return m_settings[station]; }
    void AdvanceClock(uint64_t ms) { m_nowMs += ms; }
    // Real devices pad the last byte of a bit response with zeros; ones show
    // whether padding is taken for items.
    void PadBitsWithOnes(bool ones) { m_padWithOnes = ones; }
    // Coils and discrete inputs hold 0 or 1; unset items read 0.
    uint16_t& Item(uint8_t station, Area area, uint16_t address) { return m_items[{station, area, address}]; }

    const std::vector<std::string>& Requests() const { return m_requests; }
    void ClearRequests() { m_requests.clear(); }
    const std::vector<std::string>& TraceLabels() const { return m_traceLabels; }
    const std::vector<std::string>& Events() const { return m_events; }

    modbus::LineResult ExchangeReply(std::string& data, int32_t& length, const modbus::ReplyShape& reply,
                                     const char* sendLabel) override;
    void TraceFrame(const char* label, const uint8_t* bytes, int32_t count) override;
    void TraceEvent(const std::string& text) override { m_events.push_back(text); }
    modbus::StationSettings SettingsOf(uint32_t station) override { return m_settings[static_cast<uint8_t>(station)]; }
    modbus::Admission Admit(uint32_t station) override {
        return m_health.Admit(static_cast<uint8_t>(station), [this] { return m_nowMs; });
    }
    modbus::HealthChange CountReply(uint32_t station, bool replied, const modbus::StationSettings& settings) override {
        return m_health.CountReply(static_cast<uint8_t>(station), replied, settings.demoteAfter, settings.demoteForMs,
                                   [this] { return m_nowMs; });
    }
    uint64_t NowMs() override { return m_nowMs; }
    // A pause passes on the line's clock at once, and is logged among the
    // events, where it falls between them.
    void Pause(uint32_t ms) override {
        m_nowMs += ms;
        m_events.push_back("Pause: " + std::to_string(ms) + " ms");
    }

private:
    std::string Answer(const std::string& request);
    std::string ReadBits(uint8_t station, Area area, uint16_t start, uint16_t quantity);
    std::string ReadRegisters(uint8_t station, Area area, uint16_t start, uint16_t quantity);
    std::string WriteMultiple(const std::string& request);
    Reply NextReply(const std::string& request);
    bool TouchesLackingItem(const std::string& request) const;

    Reply m_reply = Reply::kNormal;
    std::deque<Reply> m_queued;
    std::set<uint8_t> m_off;
    std::set<std::tuple<uint8_t, int16_t, uint16_t>> m_lacking;
    std::map<uint8_t, modbus::StationSettings> m_settings;
    CStationHealth m_health;
    uint64_t m_nowMs = 0;
    std::vector<std::string> m_events;
    bool m_padWithOnes = false;
    std::map<std::tuple<uint8_t, int16_t, uint16_t>, uint16_t> m_items;
    std::vector<std::string> m_requests;
    std::vector<std::string> m_traceLabels;
};
