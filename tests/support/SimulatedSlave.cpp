#include "support/SimulatedSlave.h"

#include <iterator>

#include "support/FrameBytes.h"

namespace {

const uint8_t* Bytes(const std::string& frame) {
    return reinterpret_cast<const uint8_t*>(frame.data());
}

uint16_t WordAt(const std::string& frame, size_t offset) {
    return static_cast<uint16_t>(Bytes(frame)[offset] << 8 | Bytes(frame)[offset + 1]);
}

void AppendWord(std::string& frame, uint16_t word) {
    frame.push_back(static_cast<char>(word >> 8));
    frame.push_back(static_cast<char>(word));
}

std::string Exception(const std::string& request, uint8_t code) {
    return WithCrc(std::string{request[0], static_cast<char>(Bytes(request)[1] | 0x80), static_cast<char>(code)});
}

// Indexed by SimulatedSlave::Reply: the exception code it answers, or 0.
constexpr uint8_t kExceptionCodes[] = {0, 4, 0, 0, 2, 6, 5};
static_assert(std::size(kExceptionCodes) == static_cast<size_t>(SimulatedSlave::Reply::kAcknowledge) + 1);

}  // namespace

modbus::LineResult SimulatedSlave::ExchangeReply(std::string& data, int32_t& length, const modbus::ReplyShape&,
                                                 const char* sendLabel) {
    const std::string request = data.substr(0, static_cast<size_t>(length));
    TraceFrame(sendLabel, reinterpret_cast<const uint8_t*>(request.data()), length);
    m_requests.push_back(request);
    data.clear();
    const Reply reply = NextReply(request);
    if (reply == Reply::kSilence || !HasValidCrc(request)) {
        length = 0;
        return reply == Reply::kSilence ? modbus::LineResult::kNoReply : modbus::LineResult::kReplied;
    }
    if (const uint8_t code = kExceptionCodes[static_cast<int>(reply)]) {
        data = Exception(request, code);
    } else {
        data = TouchesLackingItem(request) ? Exception(request, 2) : Answer(request);
    }
    if (reply == Reply::kBadCrc) data.back() = static_cast<char>(data.back() ^ 0x5A);
    length = static_cast<int32_t>(data.size());
    return modbus::LineResult::kReplied;
}

void SimulatedSlave::TraceFrame(const char* label, const uint8_t*, int32_t) {
    m_traceLabels.push_back(label);
}

SimulatedSlave::Reply SimulatedSlave::NextReply(const std::string& request) {
    if (m_off.count(Bytes(request)[0]) != 0) return Reply::kSilence;
    if (m_queued.empty()) return m_reply;
    const Reply next = m_queued.front();
    m_queued.pop_front();
    return next;
}

// Reads only: a write to a lacking register is not refused.
bool SimulatedSlave::TouchesLackingItem(const std::string& request) const {
    constexpr Area kAreas[] = {kAreaCoils, kAreaCoils, kAreaDiscreteInputs, kAreaHoldingRegisters,
                               kAreaInputRegisters};
    const uint8_t function = Bytes(request)[1];
    if (function < 1 || function > 4) return false;
    const uint32_t start = WordAt(request, 2);
    const uint32_t end = start + WordAt(request, 4);
    for (const auto& [station, area, address] : m_lacking) {
        if (station == Bytes(request)[0] && area == kAreas[function] && address >= start && address < end) return true;
    }
    return false;
}

std::string SimulatedSlave::Answer(const std::string& request) {
    const uint8_t station = Bytes(request)[0];
    const uint16_t address = WordAt(request, 2);
    const uint16_t word = WordAt(request, 4);
    switch (Bytes(request)[1]) {
    case 1:
        return ReadBits(station, kAreaCoils, address, word);
    case 2:
        return ReadBits(station, kAreaDiscreteInputs, address, word);
    case 3:
        return ReadRegisters(station, kAreaHoldingRegisters, address, word);
    case 4:
        return ReadRegisters(station, kAreaInputRegisters, address, word);
    case 5:
        if (word != 0xFF00 && word != 0x0000) return Exception(request, 3);
        Item(station, kAreaCoils, address) = word == 0xFF00;
        return request;
    case 6:
        Item(station, kAreaHoldingRegisters, address) = word;
        return request;
    case 16:
        return WriteMultiple(request);
    default:
        return Exception(request, 1);
    }
}

std::string SimulatedSlave::ReadBits(uint8_t station, Area area, uint16_t start, uint16_t quantity) {
    const int byteCount = (quantity + 7) / 8;
    std::string reply{static_cast<char>(station), static_cast<char>(area == kAreaCoils ? 1 : 2),
                      static_cast<char>(byteCount)};
    for (int bit = 0; bit < byteCount * 8; ++bit) {
        if (bit % 8 == 0) reply.push_back(0);
        const bool set = bit < quantity ? Item(station, area, static_cast<uint16_t>(start + bit)) != 0 : m_padWithOnes;
        if (set) reply.back() = static_cast<char>(reply.back() | 1 << (bit % 8));
    }
    return WithCrc(reply);
}

std::string SimulatedSlave::ReadRegisters(uint8_t station, Area area, uint16_t start, uint16_t quantity) {
    std::string reply{static_cast<char>(station), static_cast<char>(area == kAreaHoldingRegisters ? 3 : 4),
                      static_cast<char>(quantity * 2)};
    for (uint16_t i = 0; i < quantity; ++i) AppendWord(reply, Item(station, area, static_cast<uint16_t>(start + i)));
    return WithCrc(reply);
}

std::string SimulatedSlave::WriteMultiple(const std::string& request) {
    const uint8_t station = Bytes(request)[0];
    const uint16_t start = WordAt(request, 2);
    const uint16_t quantity = WordAt(request, 4);
    if (request.size() != 9u + 2u * quantity || Bytes(request)[6] != 2 * quantity) return Exception(request, 3);
    for (uint16_t i = 0; i < quantity; ++i) {
        Item(station, kAreaHoldingRegisters, static_cast<uint16_t>(start + i)) = WordAt(request, 7 + 2 * i);
    }
    return WithCrc(request.substr(0, 6));
}
