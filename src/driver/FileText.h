#pragma once
// Reading a small text file whole through a UTF-16 path, so that a folder
// whose name lies outside the system code page, or a path longer than
// MAX_PATH, is read like any other. Only a regular file is read: a path that
// names a device (COM3, NUL, a pipe) or a folder is refused before anything
// waits on it, and so is a file larger than its reader expects.
#include <cstdint>
#include <string>

enum class FileRead {
    kRead,     // text holds the file
    kMissing,  // there is no such file
    kRefused,  // reason says why it was not read
};

// Reads the regular file at path, if it holds at most limit bytes.
FileRead ReadRegularFile(const std::wstring& path, uint32_t limit, std::string& text, std::string& reason);
