#pragma once
// The masters' connection to the line server (POSIX sockets): one text
// command out, one answer back. Address from KORVEL_LINE_SERVER
// ("127.0.0.1:port"). The line opened on it lives as long as the connection.
#include <string>

namespace bench {

class LineServerLink {
public:
    LineServerLink() = default;
    ~LineServerLink();
    LineServerLink(const LineServerLink&) = delete;
    LineServerLink& operator=(const LineServerLink&) = delete;

    bool Connect(std::string& error);
    // answer receives what follows "ok"; false with the reason in error.
    bool Call(const std::string& command, std::string& answer, std::string& error);

private:
    int m_socket = -1;
    std::string m_pending;
};

}  // namespace bench
