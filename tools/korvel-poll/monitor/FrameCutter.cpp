// Cutting a listened line's bytes into frames and noise.
#include "korvel-poll/monitor/FrameCutter.h"

#include <algorithm>
#include <limits>

#include "modbus/FrameLength.h"
#include "modbus/ReplyShape.h"

namespace monitor {
namespace {

constexpr size_t kLongestFrame = 256;
// Station, function and CRC: a frame has at least one byte more.
constexpr size_t kShortestFrame = 4;
// A line that never falls quiet (a babbling device) must not keep bytes
// waiting for ever: past this many, the oldest are judged as they stand.
constexpr size_t kMostKept = 2 * kLongestFrame;
constexpr size_t kUnknownEnd = std::numeric_limits<size_t>::max();

const uint8_t* Data(const std::string& bytes) {
    return reinterpret_cast<const uint8_t*>(bytes.data());
}

// A frame's own lengths: as a request and as a reply.
struct Lengths {
    modbus::OwnLength request;
    modbus::OwnLength reply;
};

Lengths LengthsAt(const std::string& bytes, size_t at) {
    const uint8_t* frame = Data(bytes) + at;
    return {modbus::RequestLength(frame, bytes.size() - at), modbus::ReplyLength(frame, bytes.size() - at)};
}

// Whether the first bytes ask for more than have come, as a frame that may
// still be whole.
bool WantsMore(const modbus::OwnLength& length, size_t available) {
    return length.known && (length.length == 0 || (length.length > available && length.length <= kLongestFrame));
}

}  // namespace

CFrameCutter::CFrameCutter(const CutTiming& timing) : m_timing(timing) {}

void CFrameCutter::Add(const std::string& piece, int64_t gatheredFromUs, int64_t lastByteUs,
                       std::vector<CutFrame>& cut) {
    if (piece.empty()) return;
    const auto count = static_cast<int64_t>(piece.size());
    const int64_t firstStartUs = std::min(gatheredFromUs, lastByteUs - count * m_timing.characterUs);
    const int64_t characterUs = (lastByteUs - firstStartUs) / count;
    if (!m_bytes.empty()) {
        const int64_t silenceUs = firstStartUs - m_endsUs.back();
        if (silenceUs > m_timing.holdUs && !CompletesWaitingFrame(piece)) Cut(true, cut);
        if (!m_bytes.empty() && silenceUs >= m_timing.silenceUs) m_silences.push_back(m_bytes.size());
    }
    m_tailQuiet = false;
    for (int64_t i = 1; i < count; ++i) m_endsUs.push_back(firstStartUs + i * characterUs);
    m_endsUs.push_back(lastByteUs);
    m_bytes += piece;
    Cut(m_bytes.size() > kMostKept, cut);
}

void CFrameCutter::Quiet(int64_t nowUs, std::vector<CutFrame>& cut) {
    if (m_bytes.empty()) return;
    const int64_t quietUs = nowUs - m_endsUs.back();
    if (quietUs < m_timing.silenceUs) return;
    m_tailQuiet = true;
    Cut(quietUs >= m_timing.holdUs, cut);
}

void CFrameCutter::Finish(std::vector<CutFrame>& cut) {
    Cut(true, cut);
}

int64_t CFrameCutter::WaitingSinceUs() const {
    return m_bytes.empty() ? std::numeric_limits<int64_t>::max() : m_endsUs.front() - m_timing.characterUs;
}

// A piece read late, after the listener itself was held up, seems to come
// after a long silence that the line never had: where it brings the rest of
// the frame that waits, with a good CRC, the two are kept together.
bool CFrameCutter::CompletesWaitingFrame(const std::string& piece) const {
    const std::string joined = m_bytes.substr(m_noise) + piece;
    const size_t waiting = m_bytes.size() - m_noise;
    const Lengths lengths = LengthsAt(joined, 0);
    for (size_t length : {lengths.request.length, lengths.reply.length}) {
        if (length > waiting && length <= joined.size() && length >= kShortestFrame &&
            modbus::IsWholeFrame(Data(joined), length)) {
            return true;
        }
    }
    return false;
}

// closing: no byte will join those waiting; each is judged as it stands.
// Noise is told once a frame follows it, or when closing, so that noise
// coming on joins it.
void CFrameCutter::Cut(bool closing, std::vector<CutFrame>& cut) {
    size_t at = m_noise;
    size_t noiseFrom = 0;
    bool frameStart = m_noise == 0;
    while (at < m_bytes.size()) {
        if (SilenceAt(at)) frameStart = true;
        const Judgement judged = Judge(at, frameStart, closing);
        if (judged.verdict == Verdict::kWait) break;
        if (judged.verdict == Verdict::kNoise) {
            ++at;
            frameStart = false;
            continue;
        }
        Emit(CutKind::kNoise, noiseFrom, at, cut);
        Emit(judged.verdict == Verdict::kFrame ? CutKind::kFrame : CutKind::kBadCrc, at, at + judged.length, cut);
        at += judged.length;
        noiseFrom = at;
        frameStart = true;
    }
    if (closing) {
        Emit(CutKind::kNoise, noiseFrom, at, cut);
        noiseFrom = at;
    }
    Drop(noiseFrom);
    m_noise = at - noiseFrom;
}

// A whole frame by its own length comes first: a burst may hold two. A
// burst that is one frame with a good CRC is one, whatever its function.
// Where neither holds, the bytes may still grow into a frame, or be one
// the line corrupted: a frame of its own length between silences or
// frames whose CRC fails.
CFrameCutter::Judgement CFrameCutter::Judge(size_t at, bool frameStart, bool closing) const {
    if (size_t length = GoodFrameLength(at)) {
        if (!closing && MayBeLonger(at, length)) return {Verdict::kWait, 0};
        return {Verdict::kFrame, length};
    }
    const size_t burstEnd = BurstEnd(at, closing);
    if (frameStart && burstEnd != kUnknownEnd && modbus::IsWholeFrame(Data(m_bytes) + at, burstEnd - at)) {
        return {Verdict::kFrame, burstEnd - at};
    }
    if (!closing && MayGrow(at)) return {Verdict::kWait, 0};
    if (!frameStart) return {Verdict::kNoise, 0};
    if (burstEnd == kUnknownEnd) return {Verdict::kWait, 0};
    const Lengths lengths = LengthsAt(m_bytes, at);
    for (size_t length : {lengths.request.length, lengths.reply.length}) {
        const size_t end = at + length;
        if (length < kShortestFrame || end > m_bytes.size()) continue;
        if (end == burstEnd || GoodFrameLength(end) > 0) return {Verdict::kBadCrc, length};
    }
    return {Verdict::kNoise, 0};
}

// The first bytes at at ask for more than have come, and no whole frame
// starts behind a silence within what they ask for.
bool CFrameCutter::MayGrow(size_t at) const {
    const size_t available = m_bytes.size() - at;
    const Lengths lengths = LengthsAt(m_bytes, at);
    if (!WantsMore(lengths.request, available) && !WantsMore(lengths.reply, available)) return false;
    const auto next = std::upper_bound(m_silences.begin(), m_silences.end(), at);
    return next == m_silences.end() || GoodFrameLength(*next) == 0;
}

// A good frame whose first bytes also ask for a longer one that has not
// all come, with more bytes behind it and no boundary: the first bytes of a
// long reply hold a good frame of a request's length once in 65536.
bool CFrameCutter::MayBeLonger(size_t at, size_t length) const {
    const Lengths lengths = LengthsAt(m_bytes, at);
    const size_t other = std::max(lengths.request.length, lengths.reply.length);
    return other > length && at + other > m_bytes.size() && other <= kLongestFrame && !m_tailQuiet &&
           !EndsAtBoundary(at + length) && MayGrow(at);
}

bool CFrameCutter::SilenceAt(size_t at) const {
    return std::binary_search(m_silences.begin(), m_silences.end(), at);
}

// Where the silence after at falls; unknown while the last bytes may go on.
size_t CFrameCutter::BurstEnd(size_t at, bool closing) const {
    const auto next = std::upper_bound(m_silences.begin(), m_silences.end(), at);
    if (next != m_silences.end()) return *next;
    return closing || m_tailQuiet ? m_bytes.size() : kUnknownEnd;
}

// A good frame with a 00 byte behind it is a good frame one byte longer
// too (the CRC of a frame and its CRC is 0), so where a function's request
// and reply lengths differ by one, a frame whose CRC ends in 00 (one in 256)
// holds a good frame one byte shorter. The longer is taken, unless only the
// shorter ends where the line shows a boundary: a silence, a quiet end or
// another good frame (a broadcast request behind a reply).
size_t CFrameCutter::GoodFrameLength(size_t at) const {
    const Lengths lengths = LengthsAt(m_bytes, at);
    const size_t shorter = std::min(lengths.request.length, lengths.reply.length);
    const size_t longer = std::max(lengths.request.length, lengths.reply.length);
    const bool longerGood = IsGoodFrame(at, longer);
    if (!IsGoodFrame(at, shorter)) return longerGood ? longer : 0;
    if (!longerGood || longer == shorter) return shorter;
    return EndsAtBoundary(at + shorter) && !EndsAtBoundary(at + longer) ? shorter : longer;
}

bool CFrameCutter::IsGoodFrame(size_t at, size_t length) const {
    return length >= kShortestFrame && at + length <= m_bytes.size() &&
           modbus::IsWholeFrame(Data(m_bytes) + at, length);
}

bool CFrameCutter::EndsAtBoundary(size_t end) const {
    if (SilenceAt(end) || (end == m_bytes.size() && m_tailQuiet)) return true;
    if (end == m_bytes.size()) return false;
    const Lengths lengths = LengthsAt(m_bytes, end);
    return IsGoodFrame(end, lengths.request.length) || IsGoodFrame(end, lengths.reply.length);
}

void CFrameCutter::Emit(CutKind kind, size_t from, size_t to, std::vector<CutFrame>& cut) const {
    if (from == to) return;
    cut.push_back({kind, m_bytes.substr(from, to - from), m_endsUs[from] - m_timing.characterUs, m_endsUs[to - 1]});
}

void CFrameCutter::Drop(size_t count) {
    m_bytes.erase(0, count);
    m_endsUs.erase(m_endsUs.begin(), m_endsUs.begin() + static_cast<std::ptrdiff_t>(count));
    std::vector<size_t> kept;
    for (size_t silence : m_silences) {
        if (silence > count) kept.push_back(silence - count);
    }
    m_silences = std::move(kept);
    if (m_bytes.empty()) m_tailQuiet = false;
}

}  // namespace monitor
