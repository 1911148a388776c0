#include "ToolProcess.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace {

// The build passes the tool's path as the build system knows it.
std::string ToolPath() {
    std::string path = KORVEL_POLL_EXE;
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
}

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    for (char c : arg) quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    return quoted + "\"";
}

// Output goes to files rather than pipes, so a chatty tool can never block
// on a pipe nobody reads yet.
class OutputFile {
public:
    OutputFile() {
        char folder[MAX_PATH];
        char file[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        GetTempFileNameA(folder, "kpo", 0, file);
        m_path = file;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        m_handle = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    }
    ~OutputFile() {
        CloseHandle(m_handle);
        DeleteFileA(m_path.c_str());
    }
    HANDLE Handle() const { return m_handle; }
    std::string Contents() const {
        std::string text;
        SetFilePointer(m_handle, 0, nullptr, FILE_BEGIN);
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(m_handle, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
        return text;
    }

private:
    std::string m_path;
    HANDLE m_handle;
};

// The environment block of this process plus the given entries.
std::string EnvironmentWith(const std::vector<std::string>& entries) {
    std::string block;
    char* current = GetEnvironmentStringsA();
    for (const char* entry = current; *entry != '\0'; entry += strlen(entry) + 1) block.append(entry, strlen(entry) + 1);
    FreeEnvironmentStringsA(current);
    for (const std::string& entry : entries) block.append(entry.c_str(), entry.size() + 1);
    return block + '\0';
}

}  // namespace

ToolRun RunPoll(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
    std::vector<std::string> command = {ToolPath()};
    command.insert(command.end(), args.begin(), args.end());
    return RunProgram(command, environment);
}

ToolRun RunProgram(const std::vector<std::string>& command, const std::vector<std::string>& environment) {
    std::string commandLine;
    for (const std::string& arg : command) commandLine += (commandLine.empty() ? "" : " ") + Quote(arg);
    OutputFile out;
    OutputFile err;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out.Handle();
    startup.hStdError = err.Handle();
    PROCESS_INFORMATION process{};
    std::string block = EnvironmentWith(environment);
    ToolRun run;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, &block[0], nullptr, &startup,
                        &process)) {
        run.err = "CreateProcess failed for " + commandLine + ": " + std::to_string(GetLastError());
        return run;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.out = out.Contents();
    run.err = err.Contents();
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string TemporaryFile(const char* prefix, const std::string& text) {
    char folder[MAX_PATH];
    char file[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, prefix, 0, file);
    std::ofstream(file, std::ios::binary) << text;
    return file;
}
