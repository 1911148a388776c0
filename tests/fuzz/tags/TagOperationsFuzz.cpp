// Reads and writes of tags through the station caches, against a line whose
// replies come from the input. Each operation reads: a read/write byte, the
// station, area, address, count suffix and data type (each one byte, with
// escapes to arbitrary values), a value for writes; each exchange then reads
// how to answer: fail (leaving some bytes or a whole reply), answer
// properly, corrupt one byte, send raw bytes, put garbage in front,
// misreport the length, or refuse with an exception (01..06: busy ones too),
// followed by the data.
// Each station has a word order, a choice of write functions and a period
// for trying learned splits again of its own; the line's clock advances a
// second an operation, so demoted stations come up for probes and learned
// splits are asked for whole again.
//
// For each station cache, the line notes every value carried by a
// well-formed frame anywhere in a reply of an exchange that succeeded, so it
// notes at least what the driver may accept. A read that succeeds
// must deliver one of the values noted for its item, and write only the
// fields of its type group; a failed read writes nothing. Every request must
// name the station and function of its tag, and every read request must
// cover the tag's item, however often a broken reply or a refused block
// makes the read ask again; only one request of a read (and its repeats)
// may ask for the part beside the tag's refused one instead.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "line/StationHealth.h"
#include "support/FrameBytes.h"
#include "tags/TagOperations.h"

using modbus::StationMaps;
using modbus::BitStationMap;
using modbus::WordStationMap;
using modbus::DWordStationMap;

namespace {

enum class View { kCoils, kDiscreteInputs, kInputWords, kHoldingWords, kInputDWords, kHoldingDWords };

// Values carried for an item of a station cache: station key, view, address.
using Carried = std::map<std::tuple<uint32_t, View, uint32_t>, std::set<uint32_t>>;

constexpr uint8_t kReadFunction[] = {1, 2, 4, 3};  // by area

const uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

uint16_t WordAt(const std::string& frame, size_t offset) {
    return static_cast<uint16_t>(Bytes(frame)[offset] << 8 | Bytes(frame)[offset + 1]);
}

bool CrcAt(const uint8_t* bytes, size_t length) {
    return RtuCrc(bytes, length) == (bytes[length] | bytes[length + 1] << 8);
}

bool IsBitFunction(uint8_t function) {
    return function == 1 || function == 2;
}

class FuzzedLine : public modbus::IFrameExchange {
public:
    FuzzedLine(FuzzInput& input, Carried& carried) : m_input(input), m_carried(carried) {}

    void StartOperation(uint32_t stationKey) {
        m_stationKey = stationKey;
        m_requests.clear();
        m_nowMs += 1000;
    }
    const std::vector<std::string>& Requests() const { return m_requests; }

    static modbus::WordOrder OrderOf(uint32_t station) { return static_cast<modbus::WordOrder>(station % 4); }
    // Stations 1, 2 and 257 get auto, single and multiple.
    static modbus::WriteFunctions WriteFunctionsOf(uint32_t station) {
        return static_cast<modbus::WriteFunctions>(station / 2 % 3);
    }

    modbus::LineResult ExchangeReply(std::string& data, int32_t& length, const modbus::ReplyShape&,
                                     const char* sendLabel) override {
        FUZZ_CHECK(length >= 0 && static_cast<size_t>(length) == data.size());
        TraceFrame(sendLabel, Bytes(data), length);
        FUZZ_CHECK(data.size() >= 8 && data.size() <= 13 && CrcAt(Bytes(data), data.size() - 2));
        m_request = data;
        m_requests.push_back(data);
        const modbus::LineResult result = Answer(data, length);
        if (result == modbus::LineResult::kReplied) NoteCarried(data, length);
        return result;
    }

    // The hook may look at every byte it is given.
    void TraceFrame(const char*, const uint8_t* bytes, int32_t count) override {
        FUZZ_CHECK(count >= 0);
        volatile uint8_t sink = 0;
        for (int32_t i = 0; i < count; ++i) sink = sink ^ bytes[i];
    }
    void TraceEvent(const std::string&) override {}
    modbus::StationSettings SettingsOf(uint32_t station) override {
        modbus::StationSettings settings;
        settings.wordOrder = OrderOf(station);
        settings.writeFunctions = WriteFunctionsOf(station);
        settings.relearnMs = static_cast<int32_t>(station % 3) * 1000;
        return settings;
    }
    modbus::Admission Admit(uint32_t station) override {
        return m_health.Admit(static_cast<uint8_t>(station), [this] { return m_nowMs; });
    }
    modbus::HealthChange CountReply(uint32_t station, bool replied, const modbus::StationSettings& settings) override {
        return m_health.CountReply(static_cast<uint8_t>(station), replied, settings.demoteAfter, settings.demoteForMs,
                                   [this] { return m_nowMs; });
    }
    uint64_t NowMs() override { return m_nowMs; }
    void Pause(uint32_t ms) override { m_nowMs += ms; }

private:
    modbus::LineResult Answer(std::string& data, int32_t& length) {
        const uint8_t mode = m_input.Byte() % 7;
        if (mode == 0) {
            // A failed exchange may still leave a whole reply in the buffer.
            const uint8_t left = m_input.Byte();
            data = left & 0x80 ? ProperReply(m_request) : m_input.Bytes(left % 16);
            length = static_cast<int32_t>(data.size());
            return left & 0x40 ? modbus::LineResult::kNoReply : modbus::LineResult::kFailed;
        }
        if (mode == 6) {
            data = WithCrc(m_request.substr(0, 1) + static_cast<char>(m_request[1] | 0x80) +
                           static_cast<char>(m_input.Byte() % 6 + 1));
        } else if (mode == 3) {
            data = m_input.Bytes(m_input.Byte());
        } else {
            const std::string garbage = mode == 4 ? m_input.Bytes(m_input.Byte() % 8) : std::string();
            data = garbage + ProperReply(m_request);
        }
        if (mode == 2) {
            const uint8_t at = m_input.Byte();
            data[at % data.size()] ^= static_cast<char>(m_input.Byte() | 1);
        }
        length = static_cast<int32_t>(data.size());
        if (mode == 5) length += static_cast<int8_t>(m_input.Byte());
        return modbus::LineResult::kReplied;
    }

    // A read is answered with the asked number of items, their bytes from the
    // input; a write with its echo.
    std::string ProperReply(const std::string& request) {
        const uint8_t function = Bytes(request)[1];
        if (function == 5 || function == 6) return request.substr(0, 8);
        std::string reply = request.substr(0, 2);
        if (function == 15 || function == 16) {
            reply += request.substr(2, 4);
        } else {
            const uint32_t quantity = WordAt(request, 4);
            const uint32_t byteCount = IsBitFunction(function) ? (quantity + 7) / 8 : quantity * 2;
            FUZZ_CHECK(byteCount <= 255);
            std::string items = m_input.Bytes(byteCount);
            items.resize(byteCount);
            reply.push_back(static_cast<char>(byteCount));
            reply += items;
        }
        reply = WithCrc(reply);
        return reply;
    }

    // Every well-formed frame for the request in the received bytes counts,
    // wherever it lies: the driver may accept fewer, never more.
    void NoteCarried(const std::string& data, int32_t length) {
        const size_t received = length <= 0 ? 0 : std::min<size_t>(length, data.size());
        const uint8_t* bytes = Bytes(data);
        for (size_t at = 0; at + 1 < received; ++at) {
            if (bytes[at] != Bytes(m_request)[0] || bytes[at + 1] != Bytes(m_request)[1]) continue;
            if (Bytes(m_request)[1] <= 4) {
                NoteRead(bytes + at, received - at);
            } else {
                NoteWrite(bytes + at, received - at);
            }
        }
    }

    void NoteRead(const uint8_t* frame, size_t available) {
        if (available < 3 || available < 5u + frame[2] || !CrcAt(frame, 3u + frame[2])) return;
        const uint8_t function = frame[1];
        const uint32_t start = WordAt(m_request, 2);
        const uint32_t quantity = WordAt(m_request, 4);
        const uint8_t* items = frame + 3;
        const uint32_t byteCount = frame[2];
        if (IsBitFunction(function)) {
            const View view = function == 1 ? View::kCoils : View::kDiscreteInputs;
            for (uint32_t k = 0; k < quantity && k < 8 * byteCount; ++k) {
                Note(view, start + k, (items[k / 8] >> (k % 8)) & 1u);
            }
            return;
        }
        const bool holding = function == 3;
        uint32_t previous = 0;
        for (uint32_t j = 0; j < byteCount / 2; ++j) {
            const uint32_t word = items[2 * j] * 256u + items[2 * j + 1];
            Note(holding ? View::kHoldingWords : View::kInputWords, start + j, word);
            if (j > 0) {
                Note(holding ? View::kHoldingDWords : View::kInputDWords, start + j - 1,
                     modbus::JoinRegisters(previous, word, OrderOf(m_stationKey)));
            }
            previous = word;
        }
    }

    // A confirmed write of one coil or register leaves its value for the
    // cache; a pair of registers leaves nothing.
    void NoteWrite(const uint8_t* frame, size_t available) {
        if (available < 8 || std::memcmp(frame, m_request.data(), 6) != 0 || !CrcAt(frame, 6)) return;
        const uint32_t address = WordAt(m_request, 2);
        const uint16_t value = WordAt(m_request, 4);
        const bool one = value == 1;  // the quantity of functions 15 and 16
        if (frame[1] == 5) Note(View::kCoils, address, value == 0xFF00 ? 1 : 0);
        if (frame[1] == 6) Note(View::kHoldingWords, address, value);
        if (frame[1] == 15 && one) Note(View::kCoils, address, Bytes(m_request)[7] & 1u);
        if (frame[1] == 16 && one) Note(View::kHoldingWords, address, WordAt(m_request, 7));
    }

    void Note(View view, uint32_t address, uint32_t value) {
        m_carried[{m_stationKey, view, address}].insert(value);
    }

    FuzzInput& m_input;
    Carried& m_carried;
    uint32_t m_stationKey = 0;
    std::vector<std::string> m_requests;
    std::string m_request;
    CStationHealth m_health;
    uint64_t m_nowMs = 0;
};

struct Operation {
    bool write;
    int32_t station;
    TagAddress tag;
    TagValue value;
};

int32_t Station(FuzzInput& input) {
    constexpr int32_t kStations[] = {1, 2, 257};  // 257 goes on the wire as 1
    const uint8_t choice = input.Byte() % 4;
    return choice < 3 ? kStations[choice] : static_cast<int32_t>(input.DWord());
}

void ReadTagRecord(FuzzInput& input, TagAddress& tag) {
    std::memset(&tag, 0x5A, sizeof(tag));
    const uint8_t area = input.Byte();
    tag.area = area < 0xF0 ? area % 4 : static_cast<int16_t>(input.Word());
    const uint8_t address = input.Byte();
    tag.address = address < 0xF0 ? 1 + address % 40 : static_cast<int32_t>(input.DWord());
    const uint8_t count = input.Byte();
    tag.count = count < 0x80 ? 0 : count - 0x80;
    constexpr int16_t kRegisterTypes[] = {4, 8, 16, 32, 128};
    const uint8_t type = input.Byte();
    if (type >= 0xF0) {
        tag.dataType = static_cast<int16_t>(input.Word());
    } else {
        tag.dataType = tag.area == 0 || tag.area == 1 ? 1 : kRegisterTypes[type % 5];
    }
}

Operation ReadOperation(FuzzInput& input) {
    Operation operation;
    operation.write = input.Byte() & 1;
    operation.station = Station(input);
    ReadTagRecord(input, operation.tag);
    std::memset(&operation.value, 0xA5, sizeof(operation.value));
    if (operation.write) {
        const uint32_t v = input.DWord();
        operation.value.bitValue = v & 3;
        operation.value.intValue = static_cast<int32_t>(v);
        operation.value.wordValue = static_cast<uint16_t>(v);
        operation.value.bcdValue = static_cast<int32_t>(v);
        operation.value.dwordValue = v;
        std::memcpy(&operation.value.floatValue, &v, sizeof(v));
    }
    return operation;
}

// A ",n" request must end within the area's 65536 items.
bool IsValidTag(const TagAddress& tag) {
    if (tag.area < 0 || tag.area > 3 || tag.address < 1 || tag.address > 65534 || tag.count < 0) return false;
    const int16_t t = tag.dataType;
    const int32_t items = t == 32 || t == 128 ? tag.count + 1 : tag.count;
    if (tag.address - 1 + items > 65536) return false;
    if (tag.area <= 1) return t == 1 && tag.count <= 128;
    return (t == 4 || t == 8 || t == 16 || t == 32 || t == 128) && tag.count <= 32;
}

enum class Group { kBit, kWord, kDWord };

Group GroupOf(const TagAddress& tag) {
    if (tag.area <= 1) return Group::kBit;
    return tag.dataType == 32 || tag.dataType == 128 ? Group::kDWord : Group::kWord;
}

View ViewOf(const TagAddress& tag) {
    constexpr View kViews[4][3] = {
        {View::kCoils, View::kCoils, View::kCoils},
        {View::kDiscreteInputs, View::kDiscreteInputs, View::kDiscreteInputs},
        {View::kInputWords, View::kInputWords, View::kInputDWords},
        {View::kHoldingWords, View::kHoldingWords, View::kHoldingDWords},
    };
    return kViews[tag.area][static_cast<int>(GroupOf(tag))];
}

int32_t ReferenceBcd(uint16_t word) {
    int32_t decoded = 0;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const int digit = (word >> shift) & 0xF;
        if (digit > 9) return 0;
        decoded = decoded * 10 + digit;
    }
    return decoded;
}

// Byte ranges of TagValue that a read of the group fills.
bool Fillable(Group group, size_t offset) {
    switch (group) {
    case Group::kBit: return offset < 4;
    case Group::kWord: return (offset >= 8 && offset < 14) || (offset >= 16 && offset < 20);
    case Group::kDWord: return (offset >= 20 && offset < 24) || offset >= 28;
    }
    return false;
}

// Whether the request asks for the tag's item.
bool CheckReadRequest(const std::string& request, const Operation& operation) {
    const TagAddress& tag = operation.tag;
    const uint32_t item = static_cast<uint32_t>(tag.address - 1);
    const uint32_t start = WordAt(request, 2);
    const uint32_t quantity = WordAt(request, 4);
    const uint32_t covered = GroupOf(tag) == Group::kDWord ? 2 : 1;
    FUZZ_CHECK(request.size() == 8 && Bytes(request)[0] == static_cast<uint8_t>(operation.station));
    FUZZ_CHECK(Bytes(request)[1] == kReadFunction[tag.area]);
    if (tag.count != 0) FUZZ_CHECK(start == item && quantity == tag.count + covered - 1);
    FUZZ_CHECK(quantity <= (GroupOf(tag) == Group::kBit ? 129u : 34u));
    return start <= item && item + covered <= start + quantity;
}

void Read(StationMaps maps, FuzzedLine& line, const Carried& carried, const Operation& operation) {
    TagValue value = operation.value;
    const modbus::Outcome code = modbus::ReadTag(maps, line, &operation.station, &operation.tag, &value);
    if (!IsValidTag(operation.tag)) FUZZ_CHECK(code == modbus::Outcome::kReadFailed && line.Requests().empty());
    FUZZ_CHECK(code == modbus::Outcome::kDone || code == modbus::Outcome::kReadFailed);
    std::set<std::string> beside;
    for (const std::string& request : line.Requests()) {
        if (!CheckReadRequest(request, operation)) beside.insert(request);
    }
    FUZZ_CHECK(beside.size() <= 1);
    const Group group = GroupOf(operation.tag);
    for (size_t offset = 0; offset < sizeof(value); ++offset) {
        const bool changed = reinterpret_cast<const uint8_t*>(&value)[offset] !=
                             reinterpret_cast<const uint8_t*>(&operation.value)[offset];
        FUZZ_CHECK(!changed || (code == modbus::Outcome::kDone && Fillable(group, offset)));
    }
    if (code != modbus::Outcome::kDone) return;

    const uint32_t item = static_cast<uint32_t>(operation.tag.address - 1);
    auto noted = carried.find({static_cast<uint32_t>(operation.station), ViewOf(operation.tag), item});
    uint32_t delivered = 0;
    switch (group) {
    case Group::kBit:
        delivered = value.bitValue;
        break;
    case Group::kWord:
        delivered = value.wordValue;
        FUZZ_CHECK(value.intValue == static_cast<int16_t>(value.wordValue));
        FUZZ_CHECK(value.bcdValue == ReferenceBcd(value.wordValue));
        break;
    case Group::kDWord:
        delivered = value.dwordValue;
        FUZZ_CHECK(std::memcmp(&value.floatValue, &value.dwordValue, sizeof(float)) == 0);
        break;
    }
    FUZZ_CHECK(noted != carried.end() && noted->second.count(delivered) != 0);
}

void Write(StationMaps maps, FuzzedLine& line, const Operation& operation) {
    const TagAddress& tag = operation.tag;
    const modbus::Outcome code = modbus::WriteTag(maps, line, &operation.station, &tag, &operation.value);
    const bool writable = IsValidTag(tag) && (tag.area == 0 || tag.area == 3);
    if (!writable) {
        FUZZ_CHECK(code == modbus::Outcome::kBadAddress && line.Requests().empty());
        return;
    }
    FUZZ_CHECK(code == modbus::Outcome::kDone || code == modbus::Outcome::kWriteFailed ||
               code == modbus::Outcome::kWriteAcknowledged);
    // A demoted station is not written; a broken reply sends the same request once more.
    FUZZ_CHECK(line.Requests().size() <= 2 && (line.Requests().size() > 0 || code == modbus::Outcome::kWriteFailed));
    const bool multiple = FuzzedLine::WriteFunctionsOf(static_cast<uint32_t>(operation.station)) ==
                          modbus::WriteFunctions::kMultiple;
    const uint8_t coil = multiple ? 15 : 5;
    const uint8_t word = multiple ? 16 : 6;
    const uint8_t function = tag.area == 0 ? coil : GroupOf(tag) == Group::kDWord ? 16 : word;
    for (const std::string& request : line.Requests()) {
        FUZZ_CHECK(request == line.Requests()[0]);
        FUZZ_CHECK(Bytes(request)[0] == static_cast<uint8_t>(operation.station) && Bytes(request)[1] == function);
        FUZZ_CHECK(WordAt(request, 2) == static_cast<uint16_t>(tag.address - 1));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    Carried carried;
    FuzzedLine line(input, carried);
    BitStationMap coils, discreteInputs;
    WordStationMap inputWords, holdingWords;
    DWordStationMap inputDWords, holdingDWords;
    const StationMaps maps{coils, discreteInputs, inputWords, holdingWords, inputDWords, holdingDWords};
    while (!input.Empty()) {
        const Operation operation = ReadOperation(input);
        line.StartOperation(static_cast<uint32_t>(operation.station));
        if (operation.write) {
            Write(maps, line, operation);
        } else {
            Read(maps, line, carried, operation);
        }
    }
    return 0;
}
