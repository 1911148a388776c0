#pragma once
// Modbus TCP frames: the header a request carries on a TCP connection in
// place of the RTU frame's station byte and CRC, and the way back. The rest
// of the protocol builds and checks RTU frames; a line that speaks Modbus TCP
// wraps each request on the way out and turns each reply back into the RTU
// frame it stands for, so that nothing above the line knows the difference.
//
// The header: transaction number, protocol 0, the length of what follows
// it, the unit id; then the function code and its data. All big-endian.
#include <cstddef>
#include <cstdint>
#include <string>

namespace modbus {

constexpr size_t kMbapHeaderLength = 7;
// The length field counts the unit id and the function code at least, and
// no more than an RTU frame holds without its CRC.
constexpr uint16_t kShortestMbapLength = 2;
constexpr uint16_t kLongestMbapLength = 254;

// The RTU frame's station byte and function and data, under transaction; the
// CRC is left off. A frame too short to hold a station, a function and a CRC
// gives an empty text.
std::string MbapFromRtu(uint16_t transaction, const std::string& rtuFrame);
// The same with unitId in the station byte's place, for a device behind a
// gateway that wants a unit id of its own.
std::string MbapFromRtu(uint16_t transaction, uint8_t unitId, const std::string& rtuFrame);

// The fewest bytes that must still arrive before bytes[0..count) holds a
// whole frame; 0 once it does, and 0 for a header that is not one (another
// protocol, a length out of range), which no further bytes can mend.
size_t MbapBytesMissing(const uint8_t* bytes, size_t count);

enum class MbapReply {
    kOwn,               // the reply to transaction
    kOtherTransaction,  // a reply to another request, such as one answered too late
    kMalformed,         // not a whole frame of protocol 0
};

// Judges the frame at the start of bytes[0..count) and, for kOwn, puts the
// RTU frame it stands for into rtuFrame: unit id, function, data, CRC.
// frameLength receives the whole frame's length whenever the header is one
// of protocol 0, also of a frame not yet whole.
MbapReply RtuFromMbap(const uint8_t* bytes, size_t count, uint16_t transaction, std::string& rtuFrame,
                      size_t& frameLength);

// The transaction number of a frame that holds a header.
uint16_t MbapTransactionOf(const uint8_t* header);

// Exceptions a gateway answers with when the device behind it is not
// reached: no path to it (0A), or it did not answer (0B).
bool IsGatewayNoReply(const std::string& rtuFrame);

}  // namespace modbus
