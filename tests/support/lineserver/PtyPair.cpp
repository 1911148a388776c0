#include "PtyPair.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

PtyPair::~PtyPair() {
    Close();
}

void PtyPair::Close() {
    if (m_master >= 0) close(m_master);
    m_master = -1;
}

bool PtyPair::Open(std::string& error) {
    termios raw{};
    cfmakeraw(&raw);
    int slave = -1;
    if (openpty(&m_master, &slave, nullptr, &raw, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    char path[128];
    bool named = ttyname_r(slave, path, sizeof path) == 0;
    if (named) m_slavePath = path;
    else error = std::string("ttyname: ") + std::strerror(errno);
    close(slave);
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    return named;
}
