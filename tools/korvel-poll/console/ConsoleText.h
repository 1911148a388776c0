#pragma once
// Text for a Windows console. A console shows bytes in its own code page,
// and the bytes of one character that reach it in two writes come out as a
// replacement character each; given UTF-16 it shows any text whole, in any
// code page. Files and pipes are not consoles: they take UTF-8 bytes.
#include <windows.h>

#include <streambuf>
#include <string>

bool IsConsole(HANDLE handle);
std::wstring Utf16(const std::string& utf8);
void WriteConsoleText(HANDLE console, const std::string& utf8);

// The length of text's longest prefix that ends on a whole UTF-8 character:
// a character cut short at the end stays behind for the next write.
size_t WholeUtf8Length(const char* text, size_t length);

// A stream's buffer that writes to a console: what it holds goes out at a
// flush or when the buffer fills, as whole characters.
class ConsoleStreamBuf : public std::streambuf {
public:
    explicit ConsoleStreamBuf(HANDLE console);
    ConsoleStreamBuf(const ConsoleStreamBuf&) = delete;
    ConsoleStreamBuf& operator=(const ConsoleStreamBuf&) = delete;
    ~ConsoleStreamBuf() override;

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    void WriteHeld(bool evenACutCharacter);

    HANDLE m_console;
    char m_buffer[4096];
};
