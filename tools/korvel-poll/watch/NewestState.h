#pragma once
// A mailbox of one: whoever produces states posts each and goes on; whoever
// shows them takes the newest when it is ready. A state posted over one not
// yet taken replaces it, so a slow taker skips states rather than holding
// up the poster.
#include <mutex>
#include <optional>
#include <utility>

template <typename State>
class NewestState {
public:
    void Post(State state) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_newest = std::move(state);
    }

    // The newest state not yet taken, if any, at once.
    std::optional<State> Take() {
        std::optional<State> taken;
        std::lock_guard<std::mutex> lock(m_mutex);
        taken.swap(m_newest);
        return taken;
    }

    // No more states will come; one still waiting can be taken.
    void Close() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }

    bool Closed() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closed;
    }

private:
    mutable std::mutex m_mutex;
    std::optional<State> m_newest;
    bool m_closed = false;
};
