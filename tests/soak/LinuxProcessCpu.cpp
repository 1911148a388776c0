#include "LinuxProcessCpu.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// Linux counts process times in these units on every architecture.
constexpr double kMsPerTick = 10.0;
// In /proc/PID/stat, user and system time are the 12th and 13th fields
// behind the command name in parentheses.
constexpr int kUserTimeField = 12;

std::string ProcFile(int pid, const char* name) {
    std::ifstream in("Z:\\proc\\" + std::to_string(pid) + "\\" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int FindLinuxProcess(const std::string& part) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int pid = 0;
    do {
        const int candidate = std::atoi(found.cFileName);
        if (candidate > 0 && ProcFile(candidate, "cmdline").find(part) != std::string::npos) pid = candidate;
    } while (pid == 0 && FindNextFileA(search, &found));
    FindClose(search);
    return pid;
}

double LinuxProcessCpuMs(int pid) {
    const std::string stat = ProcFile(pid, "stat");
    const size_t name = stat.rfind(')');
    if (name == std::string::npos) return -1;
    std::istringstream fields(stat.substr(name + 1));
    std::string field;
    for (int i = 1; i < kUserTimeField; ++i) fields >> field;
    double user = 0;
    double system = 0;
    if (!(fields >> user >> system)) return -1;
    return (user + system) * kMsPerTick;
}
