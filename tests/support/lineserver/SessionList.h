#pragma once
// Accepts connections and runs a CommandSession for each on a thread of its
// own, until EndAll shuts every connection down and waits for the sessions
// to take their lines down.
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class SessionList {
public:
    SessionList(int listener, std::string winePrefix);
    ~SessionList();
    SessionList(const SessionList&) = delete;
    SessionList& operator=(const SessionList&) = delete;

    void EndAll();

private:
    struct Session;

    void Accept();
    void ReapFinished();

    const int m_listener;
    const std::string m_winePrefix;
    std::mutex m_mutex;
    std::list<std::unique_ptr<Session>> m_sessions;
    bool m_ending = false;
    std::thread m_acceptor;
};
