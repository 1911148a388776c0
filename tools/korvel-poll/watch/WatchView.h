#pragma once
// The watch view's own thread: it takes the newest state the poll handed
// over, lays it out and draws it on a surface at its own pace, and takes
// the keys that scroll the rows or end the run. The poll never waits for
// it: a surface that takes a second to draw costs the poll nothing, only
// frames the view skips.
#include <cstdint>
#include <thread>
#include <vector>

#include "korvel-poll/watch/NewestState.h"
#include "korvel-poll/watch/ScreenLine.h"
#include "korvel-poll/watch/WatchLayout.h"
#include "korvel-poll/watch/WatchTags.h"

enum class WatchKey { kQuit, kUp, kDown, kPageUp, kPageDown, kHome, kEnd, kResized };

// Where the view draws and where its keys come from: the console, or in
// tests whatever stands in for it. Used on the view's thread only.
class WatchSurface {
public:
    virtual ~WatchSurface() = default;
    virtual ScreenSize Size() const = 0;
    virtual void Draw(const std::vector<ScreenLine>& lines) = 0;
    // The keys pressed since the last call, waiting up to ms for the first.
    virtual std::vector<WatchKey> Keys(unsigned long ms) = 0;
};

// All a frame shows, as of one moment of the poll: the view's own copy.
struct WatchState {
    WatchHeading heading;
    WatchTags tags;
    std::vector<StationCounts> stations;
};

class WatchView {
public:
    explicit WatchView(WatchSurface& surface);
    WatchView(const WatchView&) = delete;
    WatchView& operator=(const WatchView&) = delete;
    ~WatchView() { Stop(); }

    // Hands a state over and returns at once.
    void Show(WatchState state) { m_newest.Post(std::move(state)); }
    // The newest state drawn, if it was not yet, and the thread ended.
    void Stop();

private:
    void Run();
    // Scrolls as the keys say; true when the frame is to be drawn again.
    bool ApplyKeys(const std::vector<WatchKey>& keys);
    void Draw();

    WatchSurface& m_surface;
    NewestState<WatchState> m_newest;
    std::optional<WatchState> m_shown;
    size_t m_firstRow = 0;
    size_t m_page = 1;  // tag rows the last frame showed
    std::thread m_thread;
};
