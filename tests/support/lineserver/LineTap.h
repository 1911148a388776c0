#pragma once
// A listener's COM port on a line: it hears every byte the line carries,
// requests and replies alike, as the byte crosses the wire, and sends
// nothing onto it, for a program that listens to a line another master
// drives. Like a USB adapter it may hand the bytes over in pieces: all that
// was heard within each piece time at once.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ComLink.h"
#include "PtyPair.h"
#include "RtuFrames.h"

class LineTap {
public:
    // piece 0: each byte as it comes. Null with a reason in error when the
    // pty or the COM port cannot be set up.
    static std::unique_ptr<LineTap> Open(const std::string& winePrefix, std::chrono::milliseconds piece,
                                         std::string& error);
    ~LineTap();
    LineTap(const LineTap&) = delete;
    LineTap& operator=(const LineTap&) = delete;

    int ComNumber() const { return m_link->Number(); }
    // Whether a program holds the COM port open.
    bool Held() const;
    // Bytes that crossed the wire just now, either way; from any thread.
    void Hear(const uint8_t* data, size_t count);

private:
    explicit LineTap(std::chrono::milliseconds piece);
    void HandOverPieces();
    void WriteOut(const Bytes& bytes);

    const std::chrono::milliseconds m_piece;
    PtyPair m_pty;
    std::unique_ptr<ComLink> m_link;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    Bytes m_heard;
    bool m_stopping = false;
    std::thread m_handOver;
};
