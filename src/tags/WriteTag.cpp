#include <string>

#include "modbus/Frames.h"
#include "tags/AreaRules.h"
#include "tags/CacheMaps.h"
#include "tags/StationExchange.h"
#include "tags/TagOperations.h"
#include "tags/ValueCodec.h"

namespace modbus {
namespace {

enum class WriteKind { kCoil, kRegister, kRegisterPair };

struct WritePlan {
    uint32_t station;
    uint32_t address;  // zero-based
    WriteKind kind;
    uint32_t cached;  // what the device holds once it confirmed: 1 or 0, the register, the pair
    std::string request;
};

uint8_t WireStation(uint32_t station) {
    return static_cast<uint8_t>(station);
}

bool WritesMultiple(WriteFunctions functions) {
    return functions == WriteFunctions::kMultiple;
}

WritePlan PlanCoil(uint32_t station, uint16_t address, const TagValue& value, WriteFunctions functions) {
    const bool on = CoilIsOn(value);
    const uint8_t wire = WireStation(station);
    return {station, address, WriteKind::kCoil, on ? 1u : 0u,
            WritesMultiple(functions) ? BuildWriteMultipleCoils(wire, address, on)
                                      : BuildWriteSingle(wire, kWriteSingleCoil, address, on ? kCoilOn : kCoilOff)};
}

WritePlan PlanRegister(uint32_t station, uint16_t address, int32_t dataType, const TagValue& value,
                       WriteFunctions functions) {
    const uint16_t word = WordToWrite(dataType, value);
    const uint8_t wire = WireStation(station);
    return {station, address, WriteKind::kRegister, word,
            WritesMultiple(functions) ? BuildWriteMultipleRegisters(wire, address, {word})
                                      : BuildWriteSingle(wire, kWriteSingleRegister, address, word)};
}

// The words go in the station's order, as its reads expect them. No single
// function writes two registers.
WritePlan PlanRegisterPair(uint32_t station, uint16_t address, int32_t dataType, const TagValue& value,
                           WordOrder order) {
    const uint32_t dword = DWordToWrite(dataType, value);
    const RegisterPair pair = SplitRegisters(dword, order);
    return {station, address, WriteKind::kRegisterPair, dword,
            BuildWriteMultipleRegisters(WireStation(station), address, {pair.first, pair.second})};
}

// Only coils and holding registers can be written.
bool PlanWrite(int32_t station, const TagAddress& tag, const TagValue& value, const StationSettings& settings,
               WritePlan& plan) {
    const uint32_t key = static_cast<uint32_t>(station);
    const uint16_t address = static_cast<uint16_t>(tag.address - 1);
    if (tag.area == kAreaCoils) {
        plan = PlanCoil(key, address, value, settings.writeFunctions);
    } else if (tag.area != kAreaHoldingRegisters) {
        return false;
    } else if (GroupOf(tag.dataType) == TypeGroup::kWord) {
        plan = PlanRegister(key, address, tag.dataType, value, settings.writeFunctions);
    } else {
        plan = PlanRegisterPair(key, address, tag.dataType, value, settings.wordOrder);
    }
    return true;
}

// Functions 5, 6, 15 and 16 set items to a value, so a repeated write does
// what one does. Each is answered with the echo of its first six bytes.
RequestOutcome Exchange(IFrameExchange& line, const StationSettings& settings, const WritePlan& plan) {
    const StationRequest request{WireStation(plan.station),
                                 static_cast<uint8_t>(plan.request[1]),
                                 plan.request,
                                 WriteReplyShape(plan.request),
                                 "Write Send",
                                 "Write Receive",
                                 RequestKind::kWrite};
    const auto isAnswer = [&plan](const std::string& data, int32_t length) {
        return IsWriteAcknowledgement(data, length, plan.request);
    };
    std::string reply;
    int32_t length = 0;
    return ExchangeWithStation(line, settings, request, isAnswer, reply, length);
}

template <typename Cache>
void MarkStale(StationCacheMap<Cache>& map, uint32_t station, uint32_t first, uint32_t last) {
    Cache* cache = map.Find(station);
    if (cache == nullptr) return;
    for (uint32_t address = first; address <= last; ++address) cache->MarkStale(address);
}

// 32-bit entries over a written register, and 16-bit entries of registers a
// pair wrote, lose freshness: the next read of them asks the device. Done
// before anything allocates, so no contradicting value survives a failure.
void ForgetOverlaps(StationMaps maps, const WritePlan& plan) {
    const uint32_t written = plan.kind == WriteKind::kRegisterPair ? 2 : 1;
    const uint32_t firstPair = plan.address == 0 ? 0 : plan.address - 1;
    MarkStale(maps.holdingDWords, plan.station, firstPair, plan.address + written - 1);
    if (plan.kind == WriteKind::kRegisterPair) {
        MarkStale(maps.holdingWords, plan.station, plan.address, plan.address + 1);
    }
}

// The confirmed value of a coil or a 16-bit register is fresh for the next
// read of it, registering the address when no read has yet.
void RecordWrite(StationMaps maps, const WritePlan& plan) {
    switch (plan.kind) {
    case WriteKind::kCoil:
        maps.coils.FindOrInsert(plan.station).UpdateValue(plan.cached, plan.address, true);
        break;
    case WriteKind::kRegister:
        ForgetOverlaps(maps, plan);
        maps.holdingWords.FindOrInsert(plan.station).UpdateValue(plan.cached, plan.address, true);
        break;
    case WriteKind::kRegisterPair:
        ForgetOverlaps(maps, plan);
        break;
    }
}

// A write sent but not confirmed may still be carried out, its reply lost
// or the device at work on it: nothing cached of the items it wrote is
// handed out, not even a value an earlier confirmed write left, so the next
// read asks the device.
void ForgetWritten(StationMaps maps, const WritePlan& plan) {
    switch (plan.kind) {
    case WriteKind::kCoil:
        MarkStale(maps.coils, plan.station, plan.address, plan.address);
        break;
    case WriteKind::kRegister:
        ForgetOverlaps(maps, plan);
        MarkStale(maps.holdingWords, plan.station, plan.address, plan.address);
        break;
    case WriteKind::kRegisterPair:
        ForgetOverlaps(maps, plan);
        break;
    }
}

// A demoted station was sent nothing, so its caches still hold.
Outcome Unconfirmed(StationMaps maps, const WritePlan& plan, const RequestOutcome& exchanged) {
    if (exchanged.result == RequestResult::kRefused) return Outcome::kWriteFailed;
    ForgetWritten(maps, plan);
    const bool acknowledged =
        exchanged.result == RequestResult::kException && exchanged.exceptionCode == kAcknowledge;
    return acknowledged ? Outcome::kWriteAcknowledged : Outcome::kWriteFailed;
}

}  // namespace

Outcome WriteTag(StationMaps maps, IFrameExchange& line, const int32_t* station, const TagAddress* tag,
                 const TagValue* value) {
    if (station == nullptr || tag == nullptr || value == nullptr || !IsParsedRecord(*tag)) {
        return Outcome::kBadAddress;
    }
    const StationSettings settings = line.SettingsOf(static_cast<uint32_t>(*station));
    WritePlan plan;
    if (!PlanWrite(*station, *tag, *value, settings, plan)) return Outcome::kBadAddress;
    const RequestOutcome exchanged = Exchange(line, settings, plan);
    if (exchanged.result != RequestResult::kAnswered) return Unconfirmed(maps, plan, exchanged);
    RecordWrite(maps, plan);
    return Outcome::kDone;
}

}  // namespace modbus
