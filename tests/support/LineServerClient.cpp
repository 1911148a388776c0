#include "support/LineServerClient.h"

#include <cstdlib>

#include "support/LineServerSocket.h"

namespace {

// Generous: no command waits for line traffic, so only a stuck server is slower.
constexpr uint32_t kSocketTimeoutMs = 10000;

bool SplitAddress(const std::string& address, std::string& host, std::string& port) {
    size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) return false;
    host = address.substr(0, colon);
    port = address.substr(colon + 1);
    return true;
}

}  // namespace

LineServerClient::LineServerClient() : m_socket(line_socket::kNone) {}

LineServerClient::~LineServerClient() {
    Disconnect();
}

bool LineServerClient::Connect(std::string& error) {
    const char* address = std::getenv("KORVEL_LINE_SERVER");
    std::string host, port;
    if (!address || !SplitAddress(address, host, port)) {
        error = "KORVEL_LINE_SERVER is not set to host:port; run the test through with-line-server";
        return false;
    }
    m_socket = line_socket::Connect(host, port, kSocketTimeoutMs, error);
    return Connected();
}

bool LineServerClient::Call(const std::string& command, std::string& answer, std::string& error) {
    if (!Connected()) {
        error = "not connected to the line server";
        return false;
    }
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
    return m_socket != line_socket::kNone;
}

bool LineServerClient::SendLine(const std::string& line, std::string& error) {
    const std::string text = line + "\n";
    for (size_t sent = 0; sent < text.size();) {
        const long n = line_socket::Send(m_socket, text.data() + sent, text.size() - sent);
        if (n <= 0) {
            error = line_socket::LastError("send");
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
        const long n = line_socket::Receive(m_socket, chunk, sizeof chunk);
        if (n <= 0) {
            error = n == 0 ? "the line server closed the connection" : line_socket::LastError("recv");
            return false;
        }
        m_pending.append(chunk, static_cast<size_t>(n));
    }
    line = m_pending.substr(0, end);
    m_pending.erase(0, end + 1);
    return true;
}

void LineServerClient::Disconnect() {
    if (!Connected()) return;
    line_socket::Close(m_socket);
    m_socket = line_socket::kNone;
}
