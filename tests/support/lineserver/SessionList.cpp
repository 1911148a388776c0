#include "SessionList.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

#include "CommandSession.h"

struct SessionList::Session {
    int socket;
    std::atomic<bool> finished{false};
    std::thread thread;
};

SessionList::SessionList(int listener, std::string winePrefix)
    : m_listener(listener), m_winePrefix(std::move(winePrefix)), m_acceptor(&SessionList::Accept, this) {}

SessionList::~SessionList() {
    EndAll();
}

void SessionList::EndAll() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ending) return;
        m_ending = true;
        for (auto& session : m_sessions) shutdown(session->socket, SHUT_RDWR);
    }
    // Ends the acceptor's accept() with an error.
    shutdown(m_listener, SHUT_RDWR);
    m_acceptor.join();
    for (auto& session : m_sessions) {
        session->thread.join();
        close(session->socket);
    }
    m_sessions.clear();
}

void SessionList::Accept() {
    for (;;) {
        int socket = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ending) {
            if (socket >= 0) close(socket);
            return;
        }
        if (socket < 0) continue;
        ReapFinished();
        auto session = std::make_unique<Session>();
        Session* running = session.get();
        running->socket = socket;
        running->thread = std::thread([this, running] {
            CommandSession(running->socket, m_winePrefix).Run();
            running->finished = true;
        });
        m_sessions.push_back(std::move(session));
    }
}

void SessionList::ReapFinished() {
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (!(*it)->finished) {
            ++it;
            continue;
        }
        (*it)->thread.join();
        close((*it)->socket);
        it = m_sessions.erase(it);
    }
}
