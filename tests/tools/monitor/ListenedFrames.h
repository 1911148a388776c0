#pragma once
// Frames of a listened line as the tests write them, with their CRCs.
#include <string>

#include "support/FrameBytes.h"

// Station 1 reads holding registers 0 and 1 and gets 12 and 34.
inline const std::string kRead = WithCrc(Frame({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}));
inline const std::string kReadReply = WithCrc(Frame({0x01, 0x03, 0x04, 0x00, 0x0C, 0x00, 0x22}));
inline const std::string kReadRefused = WithCrc(Frame({0x01, 0x83, 0x02}));
// Station 2 is asked the same.
inline const std::string kReadOfTwo = WithCrc(Frame({0x02, 0x03, 0x00, 0x00, 0x00, 0x02}));
inline const std::string kReplyOfTwo = WithCrc(Frame({0x02, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02}));
// Registers 10 and 11 of station 1 set to 1 and 2, and the answer.
inline const std::string kWrite = WithCrc(Frame({0x01, 0x10, 0x00, 0x09, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00, 0x02}));
inline const std::string kWriteDone = WithCrc(Frame({0x01, 0x10, 0x00, 0x09, 0x00, 0x02}));
// Station 2's reply of two registers whose CRC ends in 00, as a soak heard
// it: its first eight bytes make a request of station 2 with a good CRC.
inline const std::string kReplyEndingInZero = WithCrc(Frame({0x02, 0x03, 0x04, 0xA3, 0xA9, 0xD9, 0x0B}));
// Station 1's reply of one register, and a broadcast: a reply one byte
// longer (8, as long as a read request) with the broadcast's 00 has a good
// CRC too.
inline const std::string kReplyOfOne = WithCrc(Frame({0x01, 0x03, 0x02, 0x00, 0x0C}));
inline const std::string kBroadcast = WithCrc(Frame({0x00, 0x06, 0x00, 0x01, 0x00, 0x05}));
// Station 2 asked for 11 registers, and its reply as a soak heard it: its
// first eight bytes make a read request with a good CRC.
inline const std::string kReadOfEleven = WithCrc(Frame({0x02, 0x03, 0x00, 0x2A, 0x00, 0x0B}));
inline const std::string kElevenReply =
    WithCrc(Frame({0x02, 0x03, 0x16, 0xEF, 0x29, 0x4E, 0xEF, 0xE0, 0x92, 0x77, 0xC6, 0x83, 0x21, 0xBE,
                   0x58, 0x04, 0x8E, 0x85, 0x1B, 0x01, 0xD5, 0xFD, 0x6E, 0x47, 0x5E}));
// A diagnostic echo: a function whose frames do not tell their length.
inline const std::string kDiagnostic = WithCrc(Frame({0x01, 0x08, 0x00, 0x00, 0x12, 0x34}));

// The reply with its first data byte inverted, as the line broke it.
inline std::string Broken(std::string frame) {
    frame[3] = static_cast<char>(~frame[3]);
    return frame;
}
