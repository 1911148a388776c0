#include "korvel-poll/console/ConsoleText.h"

#include <cstring>

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

std::wstring Utf16(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

void WriteConsoleText(HANDLE console, const std::string& utf8) {
    const std::wstring wide = Utf16(utf8);
    DWORD written = 0;
    WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

size_t WholeUtf8Length(const char* text, size_t length) {
    // A character is at most four bytes: its lead byte is among the last four.
    for (size_t back = 1; back <= 4 && back <= length; ++back) {
        const unsigned char byte = static_cast<unsigned char>(text[length - back]);
        if ((byte & 0xC0) == 0x80) continue;
        const size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return needed > back ? length - back : length;
    }
    return length;
}

ConsoleStreamBuf::ConsoleStreamBuf(HANDLE console) : m_console(console) {
    // One byte spare, for the character overflow is handed.
    setp(m_buffer, m_buffer + sizeof m_buffer - 1);
}

ConsoleStreamBuf::~ConsoleStreamBuf() {
    WriteHeld(true);
}

ConsoleStreamBuf::int_type ConsoleStreamBuf::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    WriteHeld(false);
    return traits_type::not_eof(c);
}

int ConsoleStreamBuf::sync() {
    WriteHeld(false);
    return 0;
}

void ConsoleStreamBuf::WriteHeld(bool evenACutCharacter) {
    const size_t held = static_cast<size_t>(pptr() - pbase());
    const size_t whole = evenACutCharacter ? held : WholeUtf8Length(m_buffer, held);
    if (whole > 0) WriteConsoleText(m_console, std::string(m_buffer, whole));
    std::memmove(m_buffer, m_buffer + whole, held - whole);
    setp(m_buffer, m_buffer + sizeof m_buffer - 1);
    pbump(static_cast<int>(held - whole));
}
