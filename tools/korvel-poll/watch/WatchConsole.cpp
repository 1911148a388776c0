#include "korvel-poll/watch/WatchConsole.h"

#include <algorithm>

#include "korvel-poll/ConsoleText.h"
#include "korvel-poll/Interrupt.h"
#include "korvel-poll/watch/DisplayText.h"
#include "korvel-poll/watch/VtFrame.h"

namespace {

// The alternate screen and a hidden cursor while drawing; the main screen
// and the cursor back afterwards.
const char kEnterScreen[] = "\x1b[?1049h\x1b[?25l\x1b[H\x1b[2J";
const char kLeaveScreen[] = "\x1b[0m\x1b[?25h\x1b[?1049l";

struct KeyBinding {
    WORD virtualKey;
    WatchKey key;
};

// Escape is left alone: from a terminal it starts the sequence of every
// arrow key.
const KeyBinding kKeys[] = {
    {VK_UP, WatchKey::kUp},         {VK_DOWN, WatchKey::kDown}, {VK_PRIOR, WatchKey::kPageUp},
    {VK_NEXT, WatchKey::kPageDown}, {VK_HOME, WatchKey::kHome}, {VK_END, WatchKey::kEnd},
};

std::optional<WatchKey> KeyOf(const KEY_EVENT_RECORD& event) {
    if (!event.bKeyDown) return std::nullopt;
    // By its character, whatever key of the keyboard's layout gives it.
    if (event.uChar.UnicodeChar == L'q' || event.uChar.UnicodeChar == L'Q') return WatchKey::kQuit;
    for (const KeyBinding& binding : kKeys) {
        if (binding.virtualKey == event.wVirtualKeyCode) return binding.key;
    }
    return std::nullopt;
}

// Wine's console takes the sequences but, writing to a terminal, breaks a
// line that comes within a few columns of the window's width onto a line of
// its own, shifting every line below; it draws what its console functions
// write faithfully.
bool SequencesDrawFaithfully() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr;
}

// The console's colours for each emphasis, from those it had.
WORD AttributesOf(Emphasis emphasis, WORD normal) {
    switch (emphasis) {
    case Emphasis::kHeading: return normal | FOREGROUND_INTENSITY;
    case Emphasis::kChanged: return static_cast<WORD>(((normal & 0x0F) << 4) | ((normal & 0xF0) >> 4));
    case Emphasis::kFailed: return static_cast<WORD>((normal & 0xF0) | FOREGROUND_RED | FOREGROUND_INTENSITY);
    }
    return normal;
}

}  // namespace

bool WatchConsole::OutputIsConsole() {
    return IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
}

void WatchConsole::Begin() {
    if (m_begun) return;
    m_begun = true;
    m_output = GetStdHandle(STD_OUTPUT_HANDLE);
    GetConsoleMode(m_output, &m_outputMode);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(m_output, &info);
    m_attributes = info.wAttributes;
    m_sequences = SequencesDrawFaithfully() &&
                  SetConsoleMode(m_output, m_outputMode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    if (m_sequences) {
        Write(kEnterScreen);
    } else {
        // What was on the window scrolls up out of the way of the frames.
        Write(std::string(static_cast<size_t>(info.srWindow.Bottom - info.srWindow.Top + 1), '\n'));
    }
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(input, &m_inputMode)) {
        m_input = input;
        // Keys one by one, unechoed; Ctrl+C still reaches the interrupt handler.
        SetConsoleMode(m_input, ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT);
        FlushConsoleInputBuffer(m_input);
    }
}

void WatchConsole::End() {
    if (!m_begun) return;
    m_begun = false;
    if (m_sequences) {
        Write(kLeaveScreen);
    } else if (m_drawnLines > 0) {
        SetConsoleCursorPosition(m_output, COORD{0, static_cast<SHORT>(m_drawnTop + m_drawnLines - 1)});
        Write("\n");
    }
    SetConsoleMode(m_output, m_outputMode);
    if (m_input != INVALID_HANDLE_VALUE) SetConsoleMode(m_input, m_inputMode);
    m_input = INVALID_HANDLE_VALUE;
}

ScreenSize WatchConsole::Size() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(m_output, &info)) return {80, 24};
    return {static_cast<size_t>(std::max(info.srWindow.Right - info.srWindow.Left, 1)),
            static_cast<size_t>(info.srWindow.Bottom - info.srWindow.Top + 1)};
}

void WatchConsole::Draw(const std::vector<ScreenLine>& lines) {
    if (m_sequences) {
        Write(VtFrame(lines));
    } else {
        DrawWithConsoleFunctions(lines);
    }
}

void WatchConsole::Write(const std::string& utf8) {
    WriteConsoleText(m_output, utf8);
}

// Every row of the window is blanked and written, so nothing of the last
// frame is left; the marks are coloured cell by cell, a wide character
// taking two cells as the console gives it.
void WatchConsole::DrawWithConsoleFunctions(const std::vector<ScreenLine>& lines) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(m_output, &info);
    const DWORD columns = static_cast<DWORD>(info.srWindow.Right - info.srWindow.Left + 1);
    const SHORT rows = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);
    DWORD done = 0;
    for (SHORT row = 0; row < rows; ++row) {
        const COORD at{info.srWindow.Left, static_cast<SHORT>(info.srWindow.Top + row)};
        FillConsoleOutputCharacterW(m_output, L' ', columns, at, &done);
        FillConsoleOutputAttribute(m_output, m_attributes, columns, at, &done);
        if (static_cast<size_t>(row) >= lines.size()) continue;
        const ScreenLine& line = lines[static_cast<size_t>(row)];
        const std::wstring text = Utf16(line.text);
        WriteConsoleOutputCharacterW(m_output, text.data(), static_cast<DWORD>(text.size()), at, &done);
        for (const Mark& mark : line.marks) {
            const SHORT from = static_cast<SHORT>(DisplayWidth(line.text.substr(0, mark.from)));
            const DWORD width = static_cast<DWORD>(DisplayWidth(line.text.substr(mark.from, mark.length)));
            FillConsoleOutputAttribute(m_output, AttributesOf(mark.emphasis, m_attributes), width,
                                       COORD{static_cast<SHORT>(at.X + from), at.Y}, &done);
        }
    }
    m_drawnTop = info.srWindow.Top;
    m_drawnLines = static_cast<SHORT>(std::min<size_t>(lines.size(), static_cast<size_t>(rows)));
}

std::vector<WatchKey> WatchConsole::Keys(unsigned long ms) {
    std::vector<WatchKey> keys;
    if (m_input == INVALID_HANDLE_VALUE) {
        WaitOrInterrupt(ms);
        return keys;
    }
    if (WaitForHandleOrInterrupt(m_input, ms) != Wake::kHandle) return keys;
    DWORD pending = 0;
    while (GetNumberOfConsoleInputEvents(m_input, &pending) && pending > 0) {
        INPUT_RECORD records[16];
        DWORD got = 0;
        if (!ReadConsoleInputW(m_input, records, std::min<DWORD>(pending, 16), &got)) break;
        for (DWORD i = 0; i < got; ++i) {
            if (records[i].EventType == WINDOW_BUFFER_SIZE_EVENT) keys.push_back(WatchKey::kResized);
            if (records[i].EventType != KEY_EVENT) continue;
            if (std::optional<WatchKey> key = KeyOf(records[i].Event.KeyEvent)) keys.push_back(*key);
        }
    }
    return keys;
}
