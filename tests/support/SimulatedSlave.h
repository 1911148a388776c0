#pragma once
// Modbus RTU slaves on an in-process line: every station answers from its
// own tables, and every request is logged. The line can be told to answer
// with exceptions, with corrupted CRCs, or not at all.
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "modbus/FrameExchange.h"
#include "modbus/TagRecords.h"

class SimulatedSlave : public modbus::IFrameExchange {
public:
    enum class Reply { kNormal, kException, kBadCrc, kSilence };

    void SetReply(Reply reply) { m_reply = reply; }
    // Real devices pad the last byte of a bit response with zeros; ones show
    // whether padding is taken for items.
    void PadBitsWithOnes(bool ones) { m_padWithOnes = ones; }
    // Coils and discrete inputs hold 0 or 1; unset items read 0.
    uint16_t& Item(uint8_t station, Area area, uint16_t address) { return m_items[{station, area, address}]; }

    const std::vector<std::string>& Requests() const { return m_requests; }
    void ClearRequests() { m_requests.clear(); }
    const std::vector<std::string>& TraceLabels() const { return m_traceLabels; }

    modbus::LineResult ExchangeReply(std::string& data, int32_t& length, const modbus::ReplyShape& reply) override;
    void TraceFrame(const char* label, const uint8_t* bytes, int32_t count) override;

private:
    std::string Answer(const std::string& request);
    std::string ReadBits(uint8_t station, Area area, uint16_t start, uint16_t quantity);
    std::string ReadRegisters(uint8_t station, Area area, uint16_t start, uint16_t quantity);
    std::string WriteMultiple(const std::string& request);

    Reply m_reply = Reply::kNormal;
    bool m_padWithOnes = false;
    std::map<std::tuple<uint8_t, int16_t, uint16_t>, uint16_t> m_items;
    std::vector<std::string> m_requests;
    std::vector<std::string> m_traceLabels;
};
