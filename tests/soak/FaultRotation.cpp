#include "FaultRotation.h"

#include <iterator>

#include "support/FrameBytes.h"

namespace {

constexpr uint8_t kExceptionCodes[] = {1, 2, 3, 4, 5, 6, 8, 10, 11};
constexpr uint8_t kAbsentStation = 9;

void CorruptByte(LineFixture& line, const FaultTarget& target) {
    line.CorruptNextReply(target.serial % 8);
}

void SplitShort(LineFixture& line, const FaultTarget& target) {
    line.SplitNextReply(1 + target.serial % 6, 5);
}

void SplitLong(LineFixture& line, const FaultTarget& target) {
    line.SplitNextReply(1 + target.serial % 6, 150);
}

void Drop(LineFixture& line, const FaultTarget&) {
    line.DropNextReply();
}

void Late(LineFixture& line, const FaultTarget& target) {
    line.DelayNextReply(target.lateMs);
}

void NoiseInFront(LineFixture& line, const FaultTarget&) {
    line.PrefixNextReply({0x00, 0xFF, 0x55});
}

void NoiseBehind(LineFixture& line, const FaultTarget&) {
    line.SuffixNextReply({0xFF, 0x00});
}

void Exception(LineFixture& line, const FaultTarget& target) {
    const uint8_t code = kExceptionCodes[target.serial % std::size(kExceptionCodes)];
    line.PrefixNextReply(ExceptionReply(target.station, target.function, code));
    line.DropNextReply();
}

void AbsentStationInFront(LineFixture& line, const FaultTarget& target) {
    line.PrefixNextReply(RegistersReply(kAbsentStation, 3, {static_cast<uint16_t>(target.serial)}));
}

void NoiseBeforePoll(LineFixture& line, const FaultTarget& target) {
    line.SendFromDevice({0x55, target.station, 0xAA});
}

void StopSlave(LineFixture& line, const FaultTarget&) {
    line.StopSlave();
}

void DropConnection(LineFixture& line, const FaultTarget&) {
    line.DropConnection();
}

// Every other time back to whole replies.
void Segments(LineFixture& line, const FaultTarget& target) {
    line.ReplyInSegments(target.serial % 2 == 0 ? 1 : 0);
}

}  // namespace

const std::vector<FaultKind>& FaultKinds() {
    static const std::vector<FaultKind> kinds = {
        {"corrupted byte", false, false, CorruptByte},
        {"split, short pause", false, false, SplitShort},
        {"split, long pause", false, false, SplitLong},
        {"dropped reply", false, false, Drop},
        {"late reply", false, false, Late},
        {"noise in front", false, false, NoiseInFront},
        {"noise behind", false, false, NoiseBehind},
        {"exception", false, false, Exception},
        {"absent station's reply in front", false, false, AbsentStationInFront},
        {"noise before the poll", false, false, NoiseBeforePoll},
        {"slave stopped", false, true, StopSlave},
        {"write: corrupted acknowledgement", true, false, CorruptByte},
        {"write: dropped acknowledgement", true, false, Drop},
        {"write: exception", true, false, Exception},
        {"write: late acknowledgement", true, false, Late},
    };
    return kinds;
}

const std::vector<FaultKind>& NetworkFaultKinds() {
    static const std::vector<FaultKind> kinds = [] {
        std::vector<FaultKind> all = FaultKinds();
        all.push_back({"connection dropped", false, false, DropConnection});
        all.push_back({"replies in one-byte segments, or whole again", false, false, Segments});
        all.push_back({"write: connection dropped", true, false, DropConnection});
        return all;
    }();
    return kinds;
}
