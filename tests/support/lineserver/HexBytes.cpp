#include "HexBytes.h"

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string ToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
    return text;
}

bool FromHex(const std::string& text, Bytes& bytes) {
    if (text.size() % 2 != 0) return false;
    Bytes parsed;
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = DigitValue(text[i]);
        int low = DigitValue(text[i + 1]);
        if (high < 0 || low < 0) return false;
        parsed.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    bytes = parsed;
    return true;
}
