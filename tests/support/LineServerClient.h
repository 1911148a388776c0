#pragma once
// Text-line connection to the line server: one command out, one answer back,
// with time-outs so a server that is gone or stuck fails a test instead of
// hanging it. Address from KORVEL_LINE_SERVER ("127.0.0.1:port"). A line
// opened through it lives as long as the connection. Free of the test
// framework and of any platform header: the benchmark uses it too.
#include <cstdint>
#include <string>

class LineServerClient {
public:
    LineServerClient();
    ~LineServerClient();
    LineServerClient(const LineServerClient&) = delete;
    LineServerClient& operator=(const LineServerClient&) = delete;

    // False with a reason in error when the server cannot be reached.
    bool Connect(std::string& error);
    // Sends one command line; answer receives what follows "ok". False with
    // the server's or the socket's reason in error otherwise.
    bool Call(const std::string& command, std::string& answer, std::string& error);
    bool Connected() const;

private:
    bool SendLine(const std::string& line, std::string& error);
    bool ReceiveLine(std::string& line, std::string& error);
    void Disconnect();

    intptr_t m_socket;
    std::string m_pending;
};
