#pragma once
// The turn on a line: threads that ask for it get it in the order they
// asked. Driver objects on one line poll from threads of their own, and a
// plain mutex lets the thread that has just released it take it again
// before a waiting one wakes, so one object could keep another off the line
// for several exchanges in a row and past the bound of its call. With turns
// taken in order, an exchange waits for at most those asked for before it.
#include <condition_variable>
#include <cstdint>
#include <mutex>

class CTurnLock {
public:
    void lock() {
        std::unique_lock<std::mutex> guard(m_mutex);
        const uint64_t ticket = m_nextTicket++;
        m_turnPassed.wait(guard, [&] { return m_serving == ticket; });
    }
    void unlock() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            ++m_serving;
        }
        m_turnPassed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_turnPassed;
    uint64_t m_nextTicket = 0;
    uint64_t m_serving = 0;
};
