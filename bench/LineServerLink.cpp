#include "LineServerLink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace bench {

LineServerLink::~LineServerLink() {
    if (m_socket >= 0) close(m_socket);
}

bool LineServerLink::Connect(std::string& error) {
    const char* address = std::getenv("KORVEL_LINE_SERVER");
    const char* colon = address != nullptr ? std::strrchr(address, ':') : nullptr;
    if (colon == nullptr) {
        error = "KORVEL_LINE_SERVER is not set to 127.0.0.1:port";
        return false;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(std::atoi(colon + 1)));
    const std::string host(address, colon);
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0 || inet_pton(AF_INET, host.c_str(), &server.sin_addr) != 1 ||
        connect(m_socket, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        error = std::string("cannot reach the line server at ") + address + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool LineServerLink::Call(const std::string& command, std::string& answer, std::string& error) {
    const std::string line = command + "\n";
    if (send(m_socket, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        error = "cannot send \"" + command + "\" to the line server";
        return false;
    }
    size_t end;
    while ((end = m_pending.find('\n')) == std::string::npos) {
        char chunk[4096];
        const ssize_t n = recv(m_socket, chunk, sizeof chunk, 0);
        if (n <= 0) {
            error = "the line server did not answer \"" + command + "\"";
            return false;
        }
        m_pending.append(chunk, static_cast<size_t>(n));
    }
    const std::string reply = m_pending.substr(0, end);
    m_pending.erase(0, end + 1);
    if (reply.compare(0, 2, "ok") != 0) {
        error = "the line server refused \"" + command + "\": " + reply;
        return false;
    }
    answer = reply.size() > 3 ? reply.substr(3) : std::string();
    return true;
}

}  // namespace bench
