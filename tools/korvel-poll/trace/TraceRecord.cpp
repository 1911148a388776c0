#include "korvel-poll/trace/TraceRecord.h"

#include <cctype>

namespace {

// More digits than any time, count or station the driver writes; longer
// runs are refused before they could overflow.
constexpr size_t kMostDigits = 18;

// Reads a text from left to right; once a step fails, every later step fails
// too, so a rule is one chain of steps checked once at its end.
class Cursor {
public:
    explicit Cursor(const std::string& text) : m_text(text) {}

    Cursor& Literal(const char* literal) {
        std::string wanted(literal);
        m_ok = m_ok && m_text.compare(m_pos, wanted.size(), wanted) == 0;
        if (m_ok) m_pos += wanted.size();
        return *this;
    }
    Cursor& Number(uint64_t& value) {
        size_t end = m_pos;
        while (end < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[end]))) ++end;
        m_ok = m_ok && end > m_pos && end - m_pos <= kMostDigits;
        if (m_ok) value = std::stoull(m_text.substr(m_pos, end - m_pos));
        m_pos = end;
        return *this;
    }
    Cursor& Number(int& value) {
        uint64_t wide = 0;
        Number(wide);
        m_ok = m_ok && wide <= 0xFFFF;
        value = static_cast<int>(wide);
        return *this;
    }
    std::string Rest() const { return m_ok ? m_text.substr(m_pos) : std::string(); }
    bool Ended() const { return m_ok && m_pos == m_text.size(); }
    bool Ok() const { return m_ok; }

private:
    const std::string& m_text;
    size_t m_pos = 0;
    bool m_ok = true;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// " 01 03 02": a blank before every byte of two hex digits.
bool ParseFrame(const std::string& payload, TraceRecord& record) {
    if (payload.size() % 3 != 0) return false;
    for (size_t i = 0; i < payload.size(); i += 3) {
        int high = HexDigit(payload[i + 1]);
        int low = HexDigit(payload[i + 2]);
        if (payload[i] != ' ' || high < 0 || low < 0) return false;
        record.bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

bool ParseRetry(const std::string& payload, TraceRecord& record) {
    Cursor cursor(payload);
    cursor.Literal(" station ").Number(record.station).Literal(" function ").Number(record.function).Literal(", ");
    record.text = cursor.Rest();
    return cursor.Ok() && !record.text.empty();
}

bool ParseDemote(const std::string& payload, TraceRecord& record) {
    return Cursor(payload).Literal(" station ").Number(record.station).Literal(" for ").Number(record.number)
        .Literal(" ms").Ended();
}

bool ParseStationOnly(const std::string& payload, TraceRecord& record) {
    return Cursor(payload).Literal(" station ").Number(record.station).Ended();
}

bool ParseSplit(const std::string& payload, TraceRecord& record) {
    Cursor cursor(payload);
    cursor.Literal(" station ").Number(record.station);
    std::string rest = cursor.Rest();
    if (!cursor.Ok() || (!rest.empty() && rest[0] != ' ')) return false;
    record.text = rest.empty() ? rest : rest.substr(1);
    return true;
}

// The file name may hold blanks, colons and even " line ": the first
// " line <n>: " ends it. A reason without a line (a file that cannot be
// read, a refused override) is kept whole.
bool ParseSettings(const std::string& payload, TraceRecord& record) {
    if (payload.size() < 2 || payload[0] != ' ') return false;
    for (size_t at = payload.find(" line "); at != std::string::npos; at = payload.find(" line ", at + 1)) {
        std::string tail = payload.substr(at);
        Cursor cursor(tail);
        cursor.Literal(" line ").Number(record.number).Literal(": ");
        if (!cursor.Ok() || at < 2) continue;
        record.file = payload.substr(1, at - 1);
        record.text = cursor.Rest();
        return true;
    }
    record.number = 0;
    record.text = payload.substr(1);
    return true;
}

// The port's name ends at the first blank or comma.
std::string PortOf(const std::string& payload, size_t& end) {
    end = payload.find_first_of(" ,", 1);
    if (payload.size() < 2 || payload[0] != ' ' || end == std::string::npos || end == 1) return {};
    return payload.substr(1, end - 1);
}

bool ParseLost(const std::string& payload, TraceRecord& record) {
    size_t end = 0;
    record.text = PortOf(payload, end);
    const std::string rest = record.text.empty() ? std::string() : payload.substr(end);
    return !record.text.empty() && Cursor(rest).Literal(", error ").Number(record.number).Ended();
}

// The time away is written with one decimal: seconds and tenths.
bool ParseReopened(const std::string& payload, TraceRecord& record) {
    size_t end = 0;
    record.text = PortOf(payload, end);
    const std::string rest = record.text.empty() ? std::string() : payload.substr(end);
    uint64_t seconds = 0;
    uint64_t tenths = 0;
    Cursor cursor(rest);
    cursor.Literal(" after ").Number(seconds).Literal(".").Number(tenths).Literal(" s");
    record.number = seconds * 1000 + tenths * 100;
    return !record.text.empty() && cursor.Ended() && tenths < 10;
}

bool ParseEcho(const std::string& payload, TraceRecord& record) {
    size_t end = 0;
    record.text = PortOf(payload, end);
    return !record.text.empty() && payload.substr(end) == " echoes its requests";
}

// The hint behind the count is free text.
bool ParseForeign(const std::string& payload, TraceRecord& record) {
    size_t end = 0;
    record.text = PortOf(payload, end);
    const std::string rest = record.text.empty() ? std::string() : payload.substr(end);
    Cursor cursor(rest);
    cursor.Literal(", ").Number(record.number).Literal(" frame");
    return !record.text.empty() && cursor.Ok();
}

struct LabelRule {
    const char* label;
    TraceKind kind;
    bool (*parse)(const std::string& payload, TraceRecord& record);
};

const LabelRule kLabels[] = {
    {"Read Send", TraceKind::kReadSend, ParseFrame},
    {"Read Receive", TraceKind::kReadReceive, ParseFrame},
    {"Write Send", TraceKind::kWriteSend, ParseFrame},
    {"Write Receive", TraceKind::kWriteReceive, ParseFrame},
    {"Retry", TraceKind::kRetry, ParseRetry},
    {"Late", TraceKind::kLate, ParseRetry},
    {"Demote", TraceKind::kDemote, ParseDemote},
    {"Probe", TraceKind::kProbe, ParseStationOnly},
    {"Restore", TraceKind::kRestore, ParseStationOnly},
    {"Split", TraceKind::kSplit, ParseSplit},
    {"Settings", TraceKind::kSettings, ParseSettings},
    {"Lost", TraceKind::kLost, ParseLost},
    {"Reopened", TraceKind::kReopened, ParseReopened},
    {"Echo", TraceKind::kEcho, ParseEcho},
    {"Foreign", TraceKind::kForeign, ParseForeign},
};

}  // namespace

TraceRecord ParseTraceLine(const std::string& rawLine) {
    std::string line = !rawLine.empty() && rawLine.back() == '\r' ? rawLine.substr(0, rawLine.size() - 1) : rawLine;
    TraceRecord record;
    Cursor head(line);
    if (!head.Number(record.ms).Literal(" ").Ok()) return {};
    std::string rest = head.Rest();
    size_t colon = rest.find(':');
    if (colon == std::string::npos) return {};
    const std::string label = rest.substr(0, colon);
    for (const LabelRule& rule : kLabels) {
        if (label != rule.label) continue;
        record.kind = rule.kind;
        return rule.parse(rest.substr(colon + 1), record) ? record : TraceRecord{};
    }
    return {};
}

bool IsSend(TraceKind kind) {
    return kind == TraceKind::kReadSend || kind == TraceKind::kWriteSend;
}

bool IsReceive(TraceKind kind) {
    return kind == TraceKind::kReadReceive || kind == TraceKind::kWriteReceive;
}

std::string SettingsReason(const TraceRecord& record) {
    if (record.file.empty()) return record.text;
    return record.file + " line " + std::to_string(record.number) + ": " + record.text;
}
