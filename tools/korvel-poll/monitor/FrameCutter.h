#pragma once
// The bytes a listener hears on a line, cut into frames. A silence of the
// line's format ends a frame; so does a frame's own length, where its first
// bytes tell it and its CRC holds. An adapter may hand over a request and its
// reply as one piece, or a frame in two pieces with a pause between them that
// the wire never had: lengths and CRCs take such pieces apart and put them
// together again. Bytes that make no frame come out as noise, never dropped.
//
// Times are microseconds on the caller's clock. A piece's bytes are taken to
// have come back to back at the line's rate, ending with its last byte; a
// piece that waited in a queue for longer than that is spread evenly over
// the time it gathered in, as a line polled at a steady pace fills it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace monitor {

enum class CutKind {
    kFrame,   // a whole frame with a good CRC
    kBadCrc,  // as long as its first bytes say, between silences or frames, and its CRC fails
    kNoise,   // bytes that make no frame
};

struct CutFrame {
    CutKind kind = CutKind::kNoise;
    std::string bytes;
    int64_t startUs = 0;  // its first byte began
    int64_t endUs = 0;    // its last byte ended
};

struct CutTiming {
    int64_t characterUs;  // one character on the wire
    int64_t silenceUs;    // the silence that ends a frame
    // How long the start of a frame whose rest has not come is kept open
    // for it: an adapter hands over its pieces this far apart at most.
    int64_t holdUs;
};

class CFrameCutter {
public:
    explicit CFrameCutter(const CutTiming& timing);

    // A piece of bytes whose last one ended at lastByteUs and whose first
    // began at gatheredFromUs or later; the frames it completes are
    // appended to cut.
    void Add(const std::string& piece, int64_t gatheredFromUs, int64_t lastByteUs, std::vector<CutFrame>& cut);
    // Nothing came up to nowUs: what waits is closed once it can no longer
    // grow into a frame.
    void Quiet(int64_t nowUs, std::vector<CutFrame>& cut);
    // The end of listening: whatever waits comes out.
    void Finish(std::vector<CutFrame>& cut);
    // When the oldest byte still waiting to be cut began; none: INT64_MAX.
    // Nothing said of the line before it is final.
    int64_t WaitingSinceUs() const;

private:
    enum class Verdict { kFrame, kBadCrc, kNoise, kWait };
    struct Judgement {
        Verdict verdict;
        size_t length;
    };

    void Cut(bool closing, std::vector<CutFrame>& cut);
    bool CompletesWaitingFrame(const std::string& piece) const;
    Judgement Judge(size_t at, bool frameStart, bool closing) const;
    bool MayGrow(size_t at) const;
    bool MayBeLonger(size_t at, size_t length) const;
    bool SilenceAt(size_t at) const;
    size_t BurstEnd(size_t at, bool closing) const;
    size_t GoodFrameLength(size_t at) const;
    bool IsGoodFrame(size_t at, size_t length) const;
    bool EndsAtBoundary(size_t end) const;
    void Emit(CutKind kind, size_t from, size_t to, std::vector<CutFrame>& cut) const;
    void Drop(size_t count);

    const CutTiming m_timing;
    std::string m_bytes;             // heard, not yet cut
    std::vector<int64_t> m_endsUs;   // when each of them ended
    std::vector<size_t> m_silences;  // where a silence went before a byte, ascending
    bool m_tailQuiet = false;        // a silence followed the last byte
    size_t m_noise = 0;              // the first bytes, judged noise already
};

}  // namespace monitor
