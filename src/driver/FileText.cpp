#include "driver/FileText.h"

#include <windows.h>

namespace {

// The file's handle, closed when it goes.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() {
        if (IsOpen()) CloseHandle(m_handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// A path of MAX_PATH characters or more opens only in its extended form,
// which takes a full path and no "." or ".." in it.
std::wstring OpenablePath(const std::wstring& path) {
    if (path.size() < MAX_PATH || StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) return path;
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

FileRead Refused(std::string& reason, std::string text) {
    reason = std::move(text);
    return FileRead::kRefused;
}

FileRead Unreadable(std::string& reason) {
    return Refused(reason, "cannot be read (Windows error " + std::to_string(GetLastError()) + ")");
}

// Reads size bytes; a file that shrank meanwhile gives what it still holds.
FileRead ReadWhole(const FileHandle& file, uint32_t size, std::string& text, std::string& reason) {
    text.assign(size, '\0');
    DWORD total = 0;
    DWORD read = 0;
    while (total < size) {
        if (!ReadFile(file.Get(), text.data() + total, size - total, &read, nullptr)) return Unreadable(reason);
        if (read == 0) break;
        total += read;
    }
    text.resize(total);
    return FileRead::kRead;
}

}  // namespace

// Shared every way, so that an editor or a tool holding the file open does
// not make it unreadable.
FileRead ReadRegularFile(const std::wstring& path, uint32_t limit, std::string& text, std::string& reason) {
    const std::wstring openable = OpenablePath(path);
    const DWORD attributes = GetFileAttributesW(openable.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Refused(reason, "is a folder, not a file");
    }
    const FileHandle file(CreateFileW(openable.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return IsMissing(GetLastError()) ? FileRead::kMissing : Unreadable(reason);
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) return Refused(reason, "is a device, not a file");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) return Unreadable(reason);
    if (size.QuadPart > limit) {
        return Refused(reason, "is larger than " + std::to_string(limit) + " bytes (" + std::to_string(size.QuadPart) +
                                   ")");
    }
    return ReadWhole(file, static_cast<uint32_t>(size.QuadPart), text, reason);
}
