#include "korvel-poll/console/TextUtil.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsDigitIn(char c, int radix) {
    if (radix == 16) return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    return c >= '0' && c <= '9';
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

}  // namespace

std::string ToLower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string Counted(size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

bool SplitCsvFields(const std::string& line, std::vector<std::string>& fields) {
    fields.assign(1, "");
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += c;
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return !quoted;
}

std::string JoinColumns(const std::vector<std::string>& cells, const std::vector<size_t>& widths) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        line += cells[i];
        if (i + 1 < cells.size()) line += std::string(widths[i] - std::min(widths[i], cells[i].size()) + 2, ' ');
    }
    return line;
}

std::string TableText(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    std::string table;
    for (const auto& row : rows) table += JoinColumns(row, widths) + "\n";
    return table;
}

// Digits are accumulated with a bound check on every step, so a long run of
// digits is refused instead of wrapping around.
bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t& value) {
    size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    int radix = 10;
    if (text.compare(pos, 2, "0x") == 0 || text.compare(pos, 2, "0X") == 0) {
        radix = 16;
        pos += 2;
    }
    if (pos == text.size()) return false;
    const int64_t limit = negative ? -min : max;
    int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        if (!IsDigitIn(text[pos], radix)) return false;
        magnitude = magnitude * radix + DigitValue(text[pos]);
        if (magnitude > limit) return false;
    }
    int64_t result = negative ? -magnitude : magnitude;
    if (result < min || result > max) return false;
    value = result;
    return true;
}
