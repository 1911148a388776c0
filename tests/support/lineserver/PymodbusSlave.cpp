#include "PymodbusSlave.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

constexpr int kPollMs = 20;
// The process imports pymodbus before its first answer; a loaded machine
// may take seconds for that.
constexpr int kAnswerTimeoutMs = 10000;

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void WriteAll(int fd, const uint8_t* data, size_t count) {
    while (count > 0) {
        ssize_t n = write(fd, data, count);
        if (n <= 0) return;
        data += n;
        count -= static_cast<size_t>(n);
    }
}

// Replies the server wrote while the slave was stopped never reach the line.
void DiscardPending(int nonBlockingFd) {
    uint8_t chunk[512];
    while (read(nonBlockingFd, chunk, sizeof chunk) > 0) {
    }
}

// The line server blocks its ending signals in every thread and ignores
// SIGPIPE; the process gets neither, so that it ends on SIGTERM.
class SpawnSettings {
public:
    SpawnSettings(int input, int output) {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawn_file_actions_adddup2(&m_actions, input, STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&m_actions, output, STDOUT_FILENO);
        posix_spawnattr_init(&m_attributes);
        sigset_t signals;
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&m_attributes, &signals);
        sigaddset(&signals, SIGPIPE);
        posix_spawnattr_setsigdefault(&m_attributes, &signals);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&m_actions);
        posix_spawnattr_destroy(&m_attributes);
    }
    int Spawn(pid_t& pid, std::vector<std::string> args) {
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        return posix_spawn(&pid, argv[0], &m_actions, &m_attributes, argv.data(), environ);
    }

private:
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
};

}  // namespace

PymodbusSlave::PymodbusSlave(std::string device, uint32_t baud, const std::vector<int>& stations)
    : m_device(std::move(device)), m_baud(baud), m_stations(stations) {}

PymodbusSlave::PymodbusSlave(const std::vector<int>& stations, std::string tcpFraming)
    : m_baud(0), m_stations(stations), m_tcpFraming(std::move(tcpFraming)) {}

PymodbusSlave::~PymodbusSlave() {
    Stop();
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_commands >= 0) close(m_commands);
    if (m_answers >= 0) close(m_answers);
}

bool PymodbusSlave::Launch(std::string& error) {
    if (m_pid > 0) return true;
    if (m_tcpFraming.empty() && !m_serverSide.Open(error)) return false;
    int toProcess[2];
    int fromProcess[2];
    if (pipe2(toProcess, O_CLOEXEC) != 0) {
        error = SystemError("pipe");
        return false;
    }
    if (pipe2(fromProcess, O_CLOEXEC) != 0) {
        error = SystemError("pipe");
        close(toProcess[0]);
        close(toProcess[1]);
        return false;
    }
    std::vector<std::string> args = {KORVEL_PYMODBUS_SLAVE, m_serverSide.SlavePath(), std::to_string(m_baud)};
    if (!m_tcpFraming.empty()) args = {KORVEL_PYMODBUS_SLAVE, "--tcp", m_tcpFraming};
    for (int station : m_stations) args.push_back(std::to_string(station));
    int spawned = SpawnSettings(toProcess[0], fromProcess[1]).Spawn(m_pid, args);
    close(toProcess[0]);
    close(fromProcess[1]);
    m_commands = toProcess[1];
    m_answers = fromProcess[0];
    if (spawned != 0) {
        m_pid = -1;
        error = "cannot start " + args[0] + ": " + std::strerror(spawned);
        return false;
    }
    std::string ready;
    const bool started = ReadAnswer(ready) && (m_tcpFraming.empty() ? ready == "ok" : ready.rfind("ok ", 0) == 0);
    if (!started) {
        error = "the pymodbus slave did not start: " + (ready.empty() ? "no answer" : ready);
        return false;
    }
    if (!m_tcpFraming.empty()) m_tcpPort = static_cast<uint16_t>(std::strtoul(ready.c_str() + 3, nullptr, 10));
    return true;
}

bool PymodbusSlave::Start(std::string& error) {
    if (m_running) return true;
    if (!Launch(error)) return false;
    if (!m_tcpFraming.empty()) return true;
    m_line = open(m_device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_line < 0) {
        error = SystemError("cannot open " + m_device);
        return false;
    }
    termios raw{};
    cfmakeraw(&raw);
    tcsetattr(m_line, TCSANOW, &raw);
    tcflush(m_line, TCIFLUSH);
    DiscardPending(m_serverSide.Master());
    m_running = true;
    m_requestCarrier = std::thread([this] {
        ReceiveFrames(m_line, m_baud, m_running, [this](const Bytes& frame) {
            LogRequest(frame);
            WriteAll(m_serverSide.Master(), frame.data(), frame.size());
        });
    });
    m_replyCarrier = std::thread(&PymodbusSlave::CarryReplies, this);
    return true;
}

void PymodbusSlave::Stop() {
    if (!m_running) return;
    m_running = false;
    m_requestCarrier.join();
    m_replyCarrier.join();
    close(m_line);
    m_line = -1;
}

bool PymodbusSlave::Set(Table table, int station, uint16_t address, uint16_t value) {
    std::string answer;
    return Call("set " + std::string(NameOf(table)) + " " + std::to_string(station) + " " + std::to_string(address) +
                    " " + std::to_string(value),
                answer);
}

std::optional<uint16_t> PymodbusSlave::Get(Table table, int station, uint16_t address) {
    std::string answer;
    if (!Call("get " + std::string(NameOf(table)) + " " + std::to_string(station) + " " + std::to_string(address),
              answer)) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(std::strtoul(answer.c_str(), nullptr, 10));
}

bool PymodbusSlave::Call(const std::string& command, std::string& answer) {
    std::lock_guard<std::mutex> lock(m_callMutex);
    if (m_pid <= 0) return false;
    std::string line = command + "\n";
    WriteAll(m_commands, reinterpret_cast<const uint8_t*>(line.data()), line.size());
    if (!ReadAnswer(line) || line.compare(0, 2, "ok") != 0 || (line.size() > 2 && line[2] != ' ')) return false;
    answer = line.size() > 3 ? line.substr(3) : std::string();
    return true;
}

bool PymodbusSlave::ReadAnswer(std::string& line) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    size_t end;
    while ((end = m_pendingAnswer.find('\n')) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{m_answers, POLLIN, 0};
        char chunk[256];
        ssize_t n = left.count() > 0 && poll(&ready, 1, static_cast<int>(left.count())) > 0
                        ? read(m_answers, chunk, sizeof chunk)
                        : 0;
        if (n <= 0) return false;
        m_pendingAnswer.append(chunk, static_cast<size_t>(n));
    }
    line = m_pendingAnswer.substr(0, end);
    m_pendingAnswer.erase(0, end + 1);
    return true;
}

void PymodbusSlave::CarryReplies() {
    while (m_running) {
        pollfd ready{m_serverSide.Master(), POLLIN, 0};
        if (poll(&ready, 1, kPollMs) <= 0) continue;
        uint8_t chunk[512];
        ssize_t n = read(m_serverSide.Master(), chunk, sizeof chunk);
        if (n > 0) WriteAll(m_line, chunk, static_cast<size_t>(n));
        else std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}
