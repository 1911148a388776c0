#pragma once
// The Windows console the watch view draws on and takes its keys from.
// Where the console takes virtual terminal sequences (Windows 10 and later)
// frames are drawn with them on the alternate screen, and the screen the
// user had comes back at the end. Elsewhere, and under Wine, they are drawn
// cell by cell with the console's own functions over the window, and the
// last frame stays above what follows.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "korvel-poll/watch/ScreenLine.h"

enum class WatchKey { kQuit, kUp, kDown, kPageUp, kPageDown, kHome, kEnd, kResized };

class WatchConsole {
public:
    WatchConsole() = default;
    WatchConsole(const WatchConsole&) = delete;
    WatchConsole& operator=(const WatchConsole&) = delete;
    ~WatchConsole() { End(); }

    // Standard output is a console: the view has somewhere to draw.
    static bool OutputIsConsole();

    // Takes the console over: its modes set for drawing and for reading
    // keys one by one. Drawing starts on a blank screen.
    void Begin();
    // Gives the console back with its modes as they were, the cursor below
    // whatever the view leaves on the screen.
    void End();
    bool Begun() const { return m_begun; }

    // The visible window, less its last column: a console wraps a line
    // that fills it at once, and the line feed after it would leave a blank
    // line.
    ScreenSize Size() const;
    void Draw(const std::vector<ScreenLine>& lines);
    // The keys of the view pressed since the last call, waiting up to ms
    // for the first; none after ms, or at once on Ctrl+C.
    std::vector<WatchKey> Keys(unsigned long ms);

private:
    void DrawWithConsoleFunctions(const std::vector<ScreenLine>& lines);
    void Write(const std::string& utf8);

    HANDLE m_output = INVALID_HANDLE_VALUE;
    HANDLE m_input = INVALID_HANDLE_VALUE;  // when it is a console
    DWORD m_outputMode = 0;
    DWORD m_inputMode = 0;
    bool m_sequences = false;
    bool m_begun = false;
    WORD m_attributes = 0;  // the console's colours when it was taken over
    SHORT m_drawnTop = 0;    // where the console functions drew the last frame
    SHORT m_drawnLines = 0;
};
