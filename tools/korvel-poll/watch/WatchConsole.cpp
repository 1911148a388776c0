#include "korvel-poll/watch/WatchConsole.h"

#include <algorithm>

#include "korvel-poll/console/ConsoleText.h"
#include "korvel-poll/watch/ConsoleCells.h"
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

// How many cells the console gives a wide character: one is written where
// the first frame will go, and read back.
size_t WideCellsOf(HANDLE output, COORD at) {
    DWORD done = 0;
    WriteConsoleOutputCharacterW(output, L"\u8BFBx", 2, at, &done);
    CHAR_INFO back[2] = {};
    SMALL_RECT region{at.X, at.Y, static_cast<SHORT>(at.X + 1), at.Y};
    if (!ReadConsoleOutputW(output, back, COORD{2, 1}, COORD{0, 0}, &region)) return 2;
    return back[1].Char.UnicodeChar == L'x' ? 1 : 2;
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
    m_drawn.clear();
    m_sequences = SequencesDrawFaithfully() &&
                  SetConsoleMode(m_output, m_outputMode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    if (m_sequences) {
        Write(kEnterScreen);
    } else {
        // What was on the window scrolls up out of the way of the frames.
        Write(std::string(static_cast<size_t>(info.srWindow.Bottom - info.srWindow.Top + 1), '\n'));
        GetConsoleScreenBufferInfo(m_output, &info);
        m_wideCells = WideCellsOf(m_output, COORD{info.srWindow.Left, info.srWindow.Top});
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
    Begin();
    // A window of another size may hold anything where the last frame was.
    const ScreenSize size = Size();
    if (!(size == m_drawnSize)) m_drawn.clear();
    m_drawnSize = size;
    if (m_sequences) {
        const std::string frame = VtFrame(m_drawn, lines);
        if (!frame.empty()) Write(frame);
    } else {
        DrawWithConsoleFunctions(lines, m_drawn.empty());
    }
    m_drawn = lines;
}

void WatchConsole::Write(const std::string& utf8) {
    WriteConsoleText(m_output, utf8);
}

// The rows from the first that changed to the last that did, in one call;
// the whole window when whole holds or the window moved.
void WatchConsole::DrawWithConsoleFunctions(const std::vector<ScreenLine>& lines, bool whole) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(m_output, &info);
    const SHORT columns = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
    const size_t rows = static_cast<size_t>(info.srWindow.Bottom - info.srWindow.Top + 1);
    whole = whole || info.srWindow.Top != m_drawnTop;
    size_t first = whole ? 0 : rows;
    size_t last = whole ? rows - 1 : 0;
    for (size_t row = 0; row < rows && !whole; ++row) {
        const bool inNew = row < lines.size();
        const bool inOld = row < m_drawn.size();
        if (inNew == inOld && (!inNew || lines[row] == m_drawn[row])) continue;
        first = std::min(first, row);
        last = row;
    }
    m_drawnTop = info.srWindow.Top;
    m_drawnLines = static_cast<SHORT>(std::min(lines.size(), rows));
    if (first > last) return;
    const SHORT count = static_cast<SHORT>(last - first + 1);
    const CellBlock block{static_cast<size_t>(columns), m_attributes, m_wideCells};
    const std::vector<CHAR_INFO> cells = ConsoleCells(lines, first, static_cast<size_t>(count), block);
    SMALL_RECT region{info.srWindow.Left, static_cast<SHORT>(info.srWindow.Top + first), info.srWindow.Right,
                      static_cast<SHORT>(info.srWindow.Top + last)};
    WriteConsoleOutputW(m_output, cells.data(), COORD{columns, count}, COORD{0, 0}, &region);
}

std::vector<WatchKey> WatchConsole::Keys(unsigned long ms) {
    std::vector<WatchKey> keys;
    if (m_input == INVALID_HANDLE_VALUE) {
        if (ms > 0) Sleep(ms);
        return keys;
    }
    if (WaitForSingleObject(m_input, ms) != WAIT_OBJECT_0) return keys;
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
