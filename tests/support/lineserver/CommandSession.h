#pragma once
// One client connection of the line server: text commands, one a line, each
// answered by "ok[ data]" or "error <reason>". The line the client opened
// lives as long as the connection, so a test program that dies still gets
// its line taken down.
#include <memory>
#include <string>
#include <vector>

#include "SimulatedLine.h"

class CommandSession {
public:
    CommandSession(int socket, std::string winePrefix);
    // Serves commands until the client disconnects or the socket is shut down.
    void Run();

private:
    using Words = std::vector<std::string>;
    // What a command needs: an open line, the line's device there, or the
    // line's TCP face.
    enum class Needs { kNothing, kLine, kDevice, kFace };
    struct Command;
    static const Command kCommands[];

    std::string Execute(const Words& words);
    std::string Open(const Words& args);
    std::string OpenTcp(const Words& args);
    std::string OpenPeer(const Words& args);
    std::string TcpDrop(const Words& args);
    std::string TcpRefuse(const Words& args);
    std::string TcpSegments(const Words& args);
    std::string TcpMute(const Words& args);
    std::string TcpGatewayWait(const Words& args);
    std::string TcpTransactions(const Words& args);
    std::string TcpIdleClose(const Words& args);
    std::string TcpUnit(const Words& args);
    bool ParseStations(const Words& args, size_t first, std::vector<int>& stations, std::string& refusal);
    std::string Close(const Words& args);
    std::string SetValue(const Words& args);
    std::string GetValue(const Words& args);
    std::string Requests(const Words& args);
    std::string ClearRequests(const Words& args);
    std::string Delay(const Words& args);
    std::string Split(const Words& args);
    std::string SetBursts(const Words& args);
    std::string Babble(const Words& args);
    std::string Echo(const Words& args);
    std::string Drop(const Words& args);
    std::string Corrupt(const Words& args);
    std::string Prefix(const Words& args);
    std::string Suffix(const Words& args);
    std::string Send(const Words& args);
    std::string StopSlave(const Words& args);
    std::string StartSlave(const Words& args);
    std::string LineRateOnly(const Words& args);
    std::string SwitchStation(const Words& args, bool on);
    std::string StationOff(const Words& args);
    std::string StationOn(const Words& args);
    std::string SetLacking(const Words& args, bool lacking);
    std::string Lack(const Words& args);
    std::string Supply(const Words& args);
    std::string RepeatFault(const Words& args);
    std::string CorruptEvery(const Words& args);
    std::string LateEvery(const Words& args);
    std::string Turnaround(const Words& args);
    std::string NeedsSilence(const Words& args);
    std::string Twice(const Words& args);
    std::string RefuseFor(const Words& args);
    std::string RefuseNext(const Words& args);
    std::string AddRefusal(const Words& args, Refusal refusal);
    std::string Accept(const Words& args);
    // The COM port's device taken away, and back under the same name.
    std::string Pull(const Words& args);
    std::string Return(const Words& args);
    // A listener's COM port on the line, and whether a program holds it.
    std::string Listen(const Words& args);
    std::string Listening(const Words& args);
    bool ReadLine(std::string& line);
    bool WriteLine(const std::string& line);

    const int m_socket;
    const std::string m_winePrefix;
    std::string m_pending;
    std::unique_ptr<SimulatedLine> m_line;
};
