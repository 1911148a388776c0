// korvel-line-server: simulated serial lines for the Wine tests.
//   korvel-line-server --address-file <path>
// Listens on 127.0.0.1 (a free port), writes "127.0.0.1:<port>" to the file
// once it accepts connections, and serves one line per connection in the
// Wine prefix named by WINEPREFIX. SIGTERM, SIGINT, SIGHUP or the end of its
// parent end it; it then takes down every line and removes every COM link.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SessionList.h"

namespace {

std::string WinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX")) return prefix;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

int Listen(uint16_t& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("korvel-line-server: listen");
        std::exit(1);
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Written aside and renamed, so a reader never sees half an address.
void PublishAddress(const std::string& path, uint16_t port) {
    std::string partial = path + ".partial";
    FILE* file = std::fopen(partial.c_str(), "w");
    if (!file || std::fprintf(file, "127.0.0.1:%u\n", port) < 0 || std::fclose(file) != 0 ||
        std::rename(partial.c_str(), path.c_str()) != 0) {
        std::perror("korvel-line-server: address file");
        std::exit(1);
    }
}

sigset_t EndingSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    return signals;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "--address-file") != 0) {
        std::fprintf(stderr, "usage: korvel-line-server --address-file <path>\n");
        return 2;
    }
    // Every thread inherits the blocked signals; only sigwait below takes them.
    sigset_t ending = EndingSignals();
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    signal(SIGPIPE, SIG_IGN);
    pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) return 1;

    uint16_t port = 0;
    int listener = Listen(port);
    SessionList sessions(listener, WinePrefix());
    PublishAddress(argv[2], port);

    int received = 0;
    sigwait(&ending, &received);
    sessions.EndAll();
    close(listener);
    return 0;
}
