#include "korvel-poll/watch/DisplayText.h"

#include <cstdint>

namespace {

struct Range {
    uint32_t first;
    uint32_t last;
};

// The East Asian wide and fullwidth blocks a console draws two columns wide:
// Hangul jamo, CJK radicals to Yi, Hangul syllables, compatibility
// ideographs, vertical and small forms, fullwidth forms, the ideographs of
// the supplementary planes.
constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x20000, 0x3FFFD},
};

bool IsWide(uint32_t codePoint) {
    for (const Range& range : kWide) {
        if (codePoint >= range.first && codePoint <= range.last) return true;
    }
    return false;
}

// The length in bytes of the UTF-8 sequence that starts with lead; a stray
// continuation byte counts as a character of its own.
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

uint32_t CodePoint(const std::string& text, size_t at, size_t length) {
    static constexpr unsigned char kLeadMasks[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t codePoint = static_cast<unsigned char>(text[at]) & kLeadMasks[length];
    for (size_t i = 1; i < length; ++i) {
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return codePoint;
}

}  // namespace

Character CharacterAt(const std::string& utf8, size_t at) {
    size_t length = SequenceLength(static_cast<unsigned char>(utf8[at]));
    if (at + length > utf8.size()) length = 1;
    return {length, IsWide(CodePoint(utf8, at, length)) ? 2u : 1u};
}

size_t DisplayWidth(const std::string& utf8) {
    size_t columns = 0;
    for (size_t at = 0; at < utf8.size();) {
        const Character character = CharacterAt(utf8, at);
        at += character.bytes;
        columns += character.columns;
    }
    return columns;
}

std::string FitColumns(const std::string& utf8, size_t columns) {
    if (DisplayWidth(utf8) <= columns) return utf8;
    if (columns == 0) return "";
    std::string fitted;
    size_t used = 0;
    for (size_t at = 0; at < utf8.size();) {
        const Character character = CharacterAt(utf8, at);
        if (used + character.columns > columns - 1) break;
        fitted.append(utf8, at, character.bytes);
        used += character.columns;
        at += character.bytes;
    }
    return fitted + "~";
}

std::string PadColumns(const std::string& utf8, size_t columns) {
    std::string fitted = FitColumns(utf8, columns);
    return fitted + std::string(columns - DisplayWidth(fitted), ' ');
}
