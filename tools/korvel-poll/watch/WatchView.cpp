#include "korvel-poll/watch/WatchView.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

#include "korvel-poll/console/Interrupt.h"

namespace {

// A state handed over waits at most this long for the view, which waits
// for keys meanwhile.
constexpr unsigned long kKeysEveryMs = 50;
// At most this many frames a second: a line polled back to back ends a
// cycle far more often than anyone can read, and every frame costs the
// console's process time the poll may need.
constexpr auto kFrameInterval = std::chrono::milliseconds(100);

}  // namespace

WatchView::WatchView(WatchSurface& surface) : m_surface(surface), m_thread(&WatchView::Run, this) {}

void WatchView::Stop() {
    if (!m_thread.joinable()) return;
    m_newest.Close();
    m_thread.join();
}

void WatchView::Run() {
    for (bool closing = false; !closing;) {
        // Closed before the take: a state handed over last is drawn.
        closing = m_newest.Closed();
        std::optional<WatchState> state = m_newest.Take();
        bool redraw = ApplyKeys(m_surface.Keys(state || closing ? 0 : kKeysEveryMs));
        if (state) {
            m_shown = std::move(state);
            redraw = true;
        }
        if (!redraw || !m_shown) continue;
        const auto drawn = std::chrono::steady_clock::now();
        Draw();
        if (!closing) std::this_thread::sleep_until(drawn + kFrameInterval);
    }
}

bool WatchView::ApplyKeys(const std::vector<WatchKey>& keys) {
    for (WatchKey key : keys) {
        switch (key) {
        case WatchKey::kQuit: RequestInterrupt(); break;
        case WatchKey::kUp: m_firstRow -= m_firstRow > 0 ? 1 : 0; break;
        case WatchKey::kDown: ++m_firstRow; break;
        case WatchKey::kPageUp: m_firstRow -= std::min(m_firstRow, m_page); break;
        case WatchKey::kPageDown: m_firstRow += m_page; break;
        case WatchKey::kHome: m_firstRow = 0; break;
        case WatchKey::kEnd: m_firstRow = m_shown ? m_shown->tags.Size() : 0; break;
        case WatchKey::kResized: break;
        }
    }
    return !keys.empty();
}

void WatchView::Draw() {
    WatchScreen screen{m_shown->heading, m_shown->tags.Rows(GetTickCount64()), m_shown->stations};
    // The layout keeps the first row within the tags; so does the next key.
    const WatchFrame frame = LayOutWatch(screen, m_surface.Size(), m_firstRow);
    m_firstRow = frame.firstRow;
    m_page = std::max<size_t>(frame.rowsShown, 1);
    m_surface.Draw(frame.lines);
}
