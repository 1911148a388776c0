#pragma once
// Runs korvel-poll (or another program) as a separate process, the way a person or a script does,
// and collects its exit code and both output streams.
#include <string>
#include <vector>

struct ToolRun {
    unsigned long exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// environment entries "NAME=value" are added to the tool's own environment.
ToolRun RunPoll(const std::vector<std::string>& args, const std::vector<std::string>& environment = {});
// Any program: the first word is the program, the rest its arguments.
ToolRun RunProgram(const std::vector<std::string>& command, const std::vector<std::string>& environment = {});
// A new file in the temporary folder holding text; the caller removes it.
std::string TemporaryFile(const char* prefix, const std::string& text = "");
// The lines of a text, without line ends.
std::vector<std::string> Lines(const std::string& text);
