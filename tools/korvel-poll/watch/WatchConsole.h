#pragma once
// The Windows console the watch view draws on and takes its keys from.
// Where the console takes virtual terminal sequences (Windows 10 and later)
// frames are drawn with them on the alternate screen, and the screen the
// user had comes back at the end. Elsewhere, and under Wine, they are drawn
// cell by cell with the console's own functions over the window, and the
// last frame stays above what follows. Either way a frame goes out in one
// write, and only the rows that changed since the last one are written.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "korvel-poll/watch/ScreenLine.h"
#include "korvel-poll/watch/WatchView.h"

class WatchConsole : public WatchSurface {
public:
    WatchConsole() = default;
    WatchConsole(const WatchConsole&) = delete;
    WatchConsole& operator=(const WatchConsole&) = delete;
    ~WatchConsole() override { End(); }

    // Standard output is a console: the view has somewhere to draw.
    static bool OutputIsConsole();

    // Takes the console over: its modes set for drawing and for reading
    // keys one by one. Drawing starts on a blank screen; the first frame
    // takes the console over if nothing did before.
    void Begin();
    // Gives the console back with its modes as they were, the cursor below
    // whatever the view leaves on the screen.
    void End();
    bool Begun() const { return m_begun; }

    // The visible window, less its last column: a console wraps a line
    // that fills it at once, and the line feed after it would leave a blank
    // line.
    ScreenSize Size() const override;
    void Draw(const std::vector<ScreenLine>& lines) override;
    std::vector<WatchKey> Keys(unsigned long ms) override;

private:
    void DrawWithConsoleFunctions(const std::vector<ScreenLine>& lines, bool whole);
    void Write(const std::string& utf8);

    HANDLE m_output = INVALID_HANDLE_VALUE;
    HANDLE m_input = INVALID_HANDLE_VALUE;  // when it is a console
    DWORD m_outputMode = 0;
    DWORD m_inputMode = 0;
    bool m_sequences = false;
    bool m_begun = false;
    WORD m_attributes = 0;  // the console's colours when it was taken over
    size_t m_wideCells = 2;  // the cells the console gives a wide character
    std::vector<ScreenLine> m_drawn;  // the last frame, as laid out
    ScreenSize m_drawnSize{0, 0};
    SHORT m_drawnTop = 0;    // where the console functions drew the last frame
    SHORT m_drawnLines = 0;
};
