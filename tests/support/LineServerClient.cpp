#include "support/LineServerClient.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>

namespace {

// Generous: no command waits for line traffic, so only a stuck server is slower.
constexpr DWORD kSocketTimeoutMs = 10000;

std::string SocketError(const std::string& what) {
    return what + " failed, Winsock error " + std::to_string(WSAGetLastError());
}

bool SplitAddress(const std::string& address, std::string& host, std::string& port) {
    size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) return false;
    host = address.substr(0, colon);
    port = address.substr(colon + 1);
    return true;
}

}  // namespace

LineServerClient::LineServerClient() : m_socket(INVALID_SOCKET) {}

LineServerClient::~LineServerClient() {
    Disconnect();
    if (m_winsockStarted) WSACleanup();
}

bool LineServerClient::Connect(std::string& error) {
    const char* address = std::getenv("KORVEL_LINE_SERVER");
    std::string host, port;
    if (!address || !SplitAddress(address, host, port)) {
        error = "KORVEL_LINE_SERVER is not set to host:port; run the test through with-line-server";
        return false;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        error = "WSAStartup failed";
        return false;
    }
    m_winsockStarted = true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        error = SocketError("getaddrinfo");
        return false;
    }
    SOCKET s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    bool connected = s != INVALID_SOCKET && connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    freeaddrinfo(found);
    if (!connected) {
        error = SocketError("connecting to the line server at " + std::string(address));
        if (s != INVALID_SOCKET) closesocket(s);
        return false;
    }
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&kSocketTimeoutMs), sizeof kSocketTimeoutMs);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&kSocketTimeoutMs), sizeof kSocketTimeoutMs);
    m_socket = s;
    return true;
}

bool LineServerClient::Call(const std::string& command, std::string& answer, std::string& error) {
    std::string line;
    if (!SendLine(command, error) || !ReceiveLine(line, error)) {
        Disconnect();
        return false;
    }
    if (line.compare(0, 2, "ok") == 0 && (line.size() == 2 || line[2] == ' ')) {
        answer = line.size() > 3 ? line.substr(3) : std::string();
        return true;
    }
    error = line.compare(0, 6, "error ") == 0 ? line.substr(6) : "unexpected answer: " + line;
    return false;
}

bool LineServerClient::Connected() const {
    return m_socket != INVALID_SOCKET;
}

bool LineServerClient::SendLine(const std::string& line, std::string& error) {
    if (m_socket == INVALID_SOCKET) {
        error = "not connected to the line server";
        return false;
    }
    std::string text = line + "\n";
    for (size_t sent = 0; sent < text.size();) {
        int n = send(m_socket, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (n <= 0) {
            error = SocketError("send");
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool LineServerClient::ReceiveLine(std::string& line, std::string& error) {
    size_t end;
    while ((end = m_pending.find('\n')) == std::string::npos) {
        char chunk[4096];
        int n = recv(m_socket, chunk, sizeof chunk, 0);
        if (n == 0) {
            error = "the line server closed the connection";
            return false;
        }
        if (n < 0) {
            error = WSAGetLastError() == WSAETIMEDOUT ? "no answer from the line server" : SocketError("recv");
            return false;
        }
        m_pending.append(chunk, static_cast<size_t>(n));
    }
    line = m_pending.substr(0, end);
    m_pending.erase(0, end + 1);
    return true;
}

void LineServerClient::Disconnect() {
    if (m_socket == INVALID_SOCKET) return;
    closesocket(m_socket);
    m_socket = INVALID_SOCKET;
}
