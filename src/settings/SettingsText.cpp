#include "settings/SettingsText.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace modbus {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr size_t kLongestShown = 40;

int Lower(char c) {
    return std::tolower(static_cast<unsigned char>(c));
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string_view WithoutComment(std::string_view line) {
    return line.substr(0, line.find_first_of(";#"));
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsDecimalText(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ParseDecimalText(std::string_view text, int32_t min, int32_t max, int32_t& value) {
    if (!IsDecimalText(text)) return false;
    // A run too long for 32 bits is out of range, and so beyond any max.
    int32_t parsed = 0;
    const std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (result.ec != std::errc() || parsed < min || parsed > max) return false;
    value = parsed;
    return true;
}

std::string Shown(std::string_view text) {
    std::string shown;
    for (char c : text.substr(0, kLongestShown)) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (text.size() > kLongestShown) shown += "...";
    return shown;
}

}  // namespace modbus
