#pragma once
// One pseudo-terminal: the server keeps the master, and the far end (Wine's
// COM port, or the slave) opens the slave side by its path. The slave side
// is not held open here, so reading the master fails with EIO while nobody
// has it open; the readers wait that out.
#include <string>

class PtyPair {
public:
    PtyPair() = default;
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Open(std::string& error);
    // Closes the master: the far end sees its device vanish.
    void Close();
    int Master() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    std::string m_slavePath;
};
