#pragma once
// One simulated line for one test: COM port <-> paced relay <-> Modbus RTU
// slave. The line lives in the line server that with-line-server started
// beside the test program; this object holds the connection that owns it.
// The relay paces bytes at the baud rate given here, 10 bits a character,
// whatever line format the port is set to.
//
// Any failure to reach the server or a refused command is reported with
// ADD_FAILURE; after that the fixture does nothing more and its queries
// return zero or empty values, so a broken line fails the test, never hangs it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/LineServerClient.h"

using Bytes = std::vector<uint8_t>;
using Frames = std::vector<Bytes>;

class LineFixture {
public:
    explicit LineFixture(uint32_t baud = 9600, std::vector<int> stations = {1});
    // A line reached over TCP, opened by a line server command that answers
    // the port: "open-tcp rtu|mbap BAUD STATION..." (the line behind a
    // device server or gateway, with the relay's faults) or "open-peer PEER
    // STATION..." (a slave that is a TCP server itself).
    explicit LineFixture(const std::string& openCommand);
    ~LineFixture();
    LineFixture(const LineFixture&) = delete;
    LineFixture& operator=(const LineFixture&) = delete;

    // Zero-based: COM(n) has index n-1. -1 when the line could not be opened.
    int PortIndex() const;
    // "\\\\.\\COMn"
    std::string DevicePath() const;
    // "COMn", as the settings file names the port.
    std::string PortName() const;
    // "127.0.0.1:port" of a line reached over TCP.
    std::string Endpoint() const;

    // A second COM port that listens to the line: it hears every byte the
    // line carries both ways, handed over in pieces of pieceMs as a USB
    // adapter does (0: each byte as it comes), and sends nothing onto it.
    // Its zero-based index; -1 when it could not be set up.
    int Listen(uint32_t pieceMs = 0);
    // Whether a program holds the listening port open.
    bool Listened();

    // Tables of a station, zero-based wire addresses 0..65535.
    void SetCoil(int station, uint16_t address, bool on);
    void SetDiscreteInput(int station, uint16_t address, bool on);
    void SetInputRegister(int station, uint16_t address, uint16_t value);
    void SetHoldingRegister(int station, uint16_t address, uint16_t value);
    bool Coil(int station, uint16_t address);
    bool DiscreteInput(int station, uint16_t address);
    uint16_t InputRegister(int station, uint16_t address);
    uint16_t HoldingRegister(int station, uint16_t address);

    // Every frame the slave received, byte for byte, oldest first: also
    // frames for other stations and frames with a bad CRC, which it does not
    // answer. A frame is logged once its last byte has crossed the line (a
    // frame whose function code does not give its length, 20 ms later).
    // Nothing is received while the slave is stopped.
    Frames Requests();
    void ClearRequests();
    // The frames the slave received while step ran.
    Frames RequestsDuring(const std::function<void()>& step);

    // Faults for the next reply that travels from the slave to the COM port.
    // They add up until a reply takes them all: the reply is delayed, then
    // sent as prefix + reply + suffix, with the pause of a split between the
    // reply's first part and the rest. A dropped reply still carries its
    // prefix and suffix. Indexes count within the reply itself; an index
    // beyond the reply leaves it whole. Corrupting a byte inverts all its bits.
    void DelayNextReply(uint32_t ms);
    void SplitNextReply(size_t firstPartBytes, uint32_t pauseMs);
    // Every reply from now on in bursts of at most bytes with a pause before
    // each further burst, as a USB adapter hands them over; 0 bytes: off.
    void ReplyInBursts(size_t bytes, uint32_t pauseMs);
    // Bytes of value 0 towards the COM port without end, until turned off.
    void Babble(bool on);
    // Every request comes back to the COM port before its reply.
    void Echo(bool on);
    void DropNextReply();
    void CorruptNextReply(size_t byteIndex);
    void PrefixNextReply(const std::vector<uint8_t>& bytes);
    void SuffixNextReply(const std::vector<uint8_t>& bytes);
    // The faults above, set for the next reply, bend this many in a row.
    void RepeatNextFault(size_t replies);
    // From now on every nth reply gets one byte inverted; 0 stops it.
    void CorruptEveryNthReply(size_t n);
    // From now on every nth reply comes lateMs late, as from a slow device
    // that answers later requests after it; 0 stops it.
    void DelayEveryNthReply(size_t n, uint32_t lateMs);
    // From now on every reply starts about ms after its request's last byte.
    void SetTurnaround(uint32_t ms);
    // From now on the device ignores a request whose first byte comes
    // sooner than ms after the last byte it sent, as a slow device that
    // needs a long turnaround does; 0: it hears every request.
    void NeedSilence(uint32_t ms);
    // The next reply comes twice: back to back, or its copy pauseMs later.
    void SendNextReplyTwice(uint32_t pauseMs = 0);

    // The station answers the requests that touch items first..last (reads
    // and writes; all of them by default) with the exception code, for ms
    // milliseconds, or with ms 0 until AcceptRequests; or only its next
    // request. Refusals add up; AcceptRequests ends them all.
    void RefuseRequests(int station, uint8_t code, uint32_t ms, uint16_t first = 0, uint16_t last = 0xFFFF);
    void RefuseNextRequest(int station, uint8_t code);
    void AcceptRequests(int station);

    // Raw bytes towards the COM port now, as if the device sent them; paced
    // like a reply, after whatever is already on its way.
    //
    // Like a real port, the COM port starts empty at every open: bytes that
    // reach it while no handle is open are lost, and bytes left unread when
    // the last handle closes are discarded.
    void SendFromDevice(const std::vector<uint8_t>& bytes);

    // A stopped slave neither receives nor answers; its tables are kept.
    void StopSlave();
    void StartSlave();
    // The COM port's device taken away as a pulled USB adapter's goes (its
    // pty vanishes under open handles, the COM name leads nowhere), and a
    // new one back under the same name. Faults wait for its return.
    void PullDevice();
    void ReturnDevice();
    // A station switched off hears its requests (they are logged) but
    // answers none; the other stations go on answering.
    void SwitchStation(int station, bool on);
    // A read that touches the holding register is answered with exception 02,
    // until the register is supplied again (lacking false).
    void LackHoldingRegister(int station, uint16_t address, bool lacking = true);

    // Faults of the connection to a line's TCP face: dropped now; refused
    // for ms, the connection dropped first; every reply cut into segments
    // of at most bytes (0: whole); nothing passed either way while muted.
    void DropConnection();
    void RefuseConnectionsFor(uint32_t ms);
    // Connections neither accepted nor refused for ms, the connection
    // dropped first, as when the box is off behind a switch.
    void StallConnectionsFor(uint32_t ms);
    void ReplyInSegments(size_t bytes);
    void MuteConnection(bool on);
    // How long a gateway face waits for the line's reply before it answers
    // 0B; 1000 ms until set.
    void SetGatewayWait(uint32_t ms);
    // What a gateway face's replies carry as their transaction: "own",
    // "zero" (0), "plus-one" or "swapped" (its two bytes).
    void AnswerTransactions(const std::string& rule);
    // The face closes a connection that went ms without a request; 0: never.
    void CloseIdleConnectionsAfter(uint32_t ms);
    // A gateway face puts requests under unit on the line for station and
    // answers them under unit; it leaves requests under the station's other
    // unit ids unanswered, as for a device that wants unit id 255.
    void AnswerUnitAsStation(uint8_t unit, int station);

    // From now on the slave hears the COM port only while it is set to the
    // line's baud rate, as a device hears a port at another rate as noise.
    // The parity cannot be checked: a pty does not keep it.
    void HearOnlyTheLineRate();

private:
    std::string Command(const std::string& text);
    void SetTable(const char* table, int station, uint16_t address, uint16_t value);
    uint16_t GetTable(const char* table, int station, uint16_t address);

    LineServerClient m_server;
    int m_portIndex = -1;
    int m_tcpPort = 0;
    bool m_broken = false;
};
