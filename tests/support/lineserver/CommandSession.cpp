#include "CommandSession.h"

#include <sys/socket.h>

#include <cstdlib>
#include <sstream>

#include "HexBytes.h"

namespace {

// The most stations an "open" may name.
constexpr size_t kAnyCount = 255;

const std::string kOk = "ok";

std::string Refuse(const std::string& reason) {
    return "error " + reason;
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) return false;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return value <= max;
}

bool ParseHexArg(const std::vector<std::string>& args, Bytes& bytes) {
    return args.empty() || FromHex(args[0], bytes);
}

std::chrono::milliseconds Milliseconds(uint64_t ms) {
    return std::chrono::milliseconds(static_cast<int64_t>(ms));
}

}  // namespace

struct CommandSession::Command {
    const char* name;
    size_t minArgs;
    size_t maxArgs;
    Needs needs;
    std::string (CommandSession::*run)(const Words&);
};

const CommandSession::Command CommandSession::kCommands[] = {
    {"open", 2, 1 + kAnyCount, Needs::kNothing, &CommandSession::Open},
    {"close", 0, 0, Needs::kNothing, &CommandSession::Close},
    {"set", 4, 4, Needs::kLine, &CommandSession::SetValue},
    {"get", 3, 3, Needs::kLine, &CommandSession::GetValue},
    {"requests", 0, 0, Needs::kLine, &CommandSession::Requests},
    {"clear-requests", 0, 0, Needs::kLine, &CommandSession::ClearRequests},
    {"delay", 1, 1, Needs::kDevice, &CommandSession::Delay},
    {"split", 2, 2, Needs::kDevice, &CommandSession::Split},
    {"bursts", 2, 2, Needs::kDevice, &CommandSession::SetBursts},
    {"babble", 1, 1, Needs::kDevice, &CommandSession::Babble},
    {"echo", 1, 1, Needs::kDevice, &CommandSession::Echo},
    {"drop", 0, 0, Needs::kDevice, &CommandSession::Drop},
    {"corrupt", 1, 1, Needs::kDevice, &CommandSession::Corrupt},
    {"prefix", 0, 1, Needs::kDevice, &CommandSession::Prefix},
    {"suffix", 0, 1, Needs::kDevice, &CommandSession::Suffix},
    {"send", 0, 1, Needs::kDevice, &CommandSession::Send},
    {"stop-slave", 0, 0, Needs::kLine, &CommandSession::StopSlave},
    {"start-slave", 0, 0, Needs::kLine, &CommandSession::StartSlave},
    {"line-rate-only", 0, 0, Needs::kDevice, &CommandSession::LineRateOnly},
    {"station-off", 1, 1, Needs::kLine, &CommandSession::StationOff},
    {"station-on", 1, 1, Needs::kLine, &CommandSession::StationOn},
    {"lack", 3, 3, Needs::kLine, &CommandSession::Lack},
    {"supply", 3, 3, Needs::kLine, &CommandSession::Supply},
    {"repeat-fault", 1, 1, Needs::kDevice, &CommandSession::RepeatFault},
    {"corrupt-every", 1, 1, Needs::kDevice, &CommandSession::CorruptEvery},
    {"late-every", 2, 2, Needs::kDevice, &CommandSession::LateEvery},
    {"turnaround", 1, 2, Needs::kDevice, &CommandSession::Turnaround},
    {"needs-silence", 1, 1, Needs::kDevice, &CommandSession::NeedsSilence},
    {"twice", 0, 1, Needs::kDevice, &CommandSession::Twice},
    {"refuse", 3, 5, Needs::kLine, &CommandSession::RefuseFor},
    {"refuse-next", 2, 2, Needs::kLine, &CommandSession::RefuseNext},
    {"accept", 1, 1, Needs::kLine, &CommandSession::Accept},
    {"pull", 0, 0, Needs::kLine, &CommandSession::Pull},
    {"return", 0, 0, Needs::kLine, &CommandSession::Return},
    {"listen", 1, 1, Needs::kDevice, &CommandSession::Listen},
    {"listening", 0, 0, Needs::kLine, &CommandSession::Listening},
    {"open-tcp", 3, 2 + kAnyCount, Needs::kNothing, &CommandSession::OpenTcp},
    {"open-peer", 2, 1 + kAnyCount, Needs::kNothing, &CommandSession::OpenPeer},
    {"tcp-drop", 0, 0, Needs::kFace, &CommandSession::TcpDrop},
    {"tcp-refuse", 1, 2, Needs::kFace, &CommandSession::TcpRefuse},
    {"tcp-segments", 1, 1, Needs::kFace, &CommandSession::TcpSegments},
    {"tcp-mute", 1, 1, Needs::kFace, &CommandSession::TcpMute},
    {"tcp-gateway-wait", 1, 1, Needs::kFace, &CommandSession::TcpGatewayWait},
    {"tcp-transactions", 1, 1, Needs::kFace, &CommandSession::TcpTransactions},
    {"tcp-idle-close", 1, 1, Needs::kFace, &CommandSession::TcpIdleClose},
    {"tcp-unit", 2, 2, Needs::kFace, &CommandSession::TcpUnit},
};

CommandSession::CommandSession(int socket, std::string winePrefix)
    : m_socket(socket), m_winePrefix(std::move(winePrefix)) {}

void CommandSession::Run() {
    std::string line;
    while (ReadLine(line)) {
        std::istringstream stream(line);
        Words words;
        for (std::string word; stream >> word;) words.push_back(word);
        if (!WriteLine(Execute(words))) break;
    }
    m_line.reset();
}

std::string CommandSession::Execute(const Words& words) {
    if (words.empty()) return Refuse("empty command");
    Words args(words.begin() + 1, words.end());
    for (const Command& command : kCommands) {
        if (words[0] != command.name) continue;
        if (args.size() < command.minArgs || args.size() > command.maxArgs) {
            return Refuse("wrong number of arguments to " + words[0]);
        }
        if (command.needs != Needs::kNothing && !m_line) return Refuse("no line is open");
        if (command.needs == Needs::kDevice && m_line->Relay() == nullptr) return Refuse("the device is away");
        if (command.needs == Needs::kFace && m_line->Face() == nullptr) return Refuse("this line has no TCP face");
        return (this->*command.run)(args);
    }
    return Refuse("unknown command " + words[0]);
}

bool CommandSession::ParseStations(const Words& args, size_t first, std::vector<int>& stations,
                                   std::string& refusal) {
    for (size_t i = first; i < args.size(); ++i) {
        uint64_t station;
        if (!ParseNumber(args[i], 255, station) || station == 0) {
            refusal = Refuse("bad station " + args[i]);
            return false;
        }
        stations.push_back(static_cast<int>(station));
    }
    return true;
}

std::string CommandSession::Open(const Words& args) {
    if (m_line) return Refuse("a line is already open on this connection");
    uint64_t baud;
    if (!ParseNumber(args[0], 4000000, baud) || baud == 0) return Refuse("bad baud rate " + args[0]);
    std::vector<int> stations;
    std::string error;
    if (!ParseStations(args, 1, stations, error)) return error;
    m_line = SimulatedLine::Open(m_winePrefix, static_cast<uint32_t>(baud), stations, error);
    if (!m_line) return Refuse(error);
    return kOk + " " + std::to_string(m_line->ComNumber());
}

// open-tcp rtu|mbap BAUD STATION...: a line behind a device server or a
// gateway; answers the TCP port.
std::string CommandSession::OpenTcp(const Words& args) {
    if (args[0] != "rtu" && args[0] != "mbap") return Refuse("framing rtu or mbap, not " + args[0]);
    const std::string opened = Open(Words(args.begin() + 1, args.end()));
    if (opened.compare(0, kOk.size(), kOk) != 0) return opened;
    std::string error;
    const auto framing = args[0] == "rtu" ? TcpFace::Framing::kRtu : TcpFace::Framing::kMbap;
    if (!m_line->AddTcpFace(framing, error)) {
        m_line.reset();
        return Refuse(error);
    }
    return kOk + " " + std::to_string(m_line->TcpPort());
}

// open-peer PEER STATION...: a slave that is a TCP server itself.
std::string CommandSession::OpenPeer(const Words& args) {
    if (m_line) return Refuse("a line is already open on this connection");
    std::vector<int> stations;
    std::string error;
    if (!ParseStations(args, 1, stations, error)) return error;
    m_line = SimulatedLine::OpenPeer(args[0], stations, error);
    if (!m_line) return Refuse(error);
    return kOk + " " + std::to_string(m_line->TcpPort());
}

std::string CommandSession::TcpDrop(const Words&) {
    m_line->Face()->DropConnection();
    return kOk;
}

// tcp-refuse <ms> [stall]: refused at once, or, stalled, neither accepted
// nor refused.
std::string CommandSession::TcpRefuse(const Words& args) {
    uint64_t ms;
    if (!ParseNumber(args[0], 600000, ms)) return Refuse("bad time " + args[0]);
    if (args.size() == 2 && args[1] != "stall") return Refuse("tcp-refuse takes stall or nothing behind the time");
    m_line->Face()->RefuseFor(Milliseconds(ms), args.size() == 2);
    return kOk;
}

std::string CommandSession::TcpSegments(const Words& args) {
    uint64_t bytes;
    if (!ParseNumber(args[0], 65535, bytes)) return Refuse("bad segment size " + args[0]);
    m_line->Face()->SetSegmentBytes(bytes);
    return kOk;
}

std::string CommandSession::TcpMute(const Words& args) {
    if (args[0] != "on" && args[0] != "off") return Refuse("tcp-mute on or off");
    m_line->Face()->Mute(args[0] == "on");
    return kOk;
}

std::string CommandSession::TcpGatewayWait(const Words& args) {
    uint64_t ms;
    if (!ParseNumber(args[0], 600000, ms) || ms == 0) return Refuse("bad time " + args[0]);
    m_line->Face()->SetGatewayWait(Milliseconds(ms));
    return kOk;
}

// tcp-transactions own|zero|plus-one|swapped: what a gateway answers under.
std::string CommandSession::TcpTransactions(const Words& args) {
    const std::pair<const char*, TcpFace::Transactions> rules[] = {{"own", TcpFace::Transactions::kOwn},
                                                                  {"zero", TcpFace::Transactions::kZero},
                                                                  {"plus-one", TcpFace::Transactions::kPlusOne},
                                                                  {"swapped", TcpFace::Transactions::kSwapped}};
    for (const auto& [name, rule] : rules) {
        if (args[0] != name) continue;
        m_line->Face()->AnswerTransactions(rule);
        return kOk;
    }
    return Refuse("tcp-transactions own, zero, plus-one or swapped, not " + args[0]);
}

// tcp-idle-close <ms>: 0 keeps idle connections.
std::string CommandSession::TcpIdleClose(const Words& args) {
    uint64_t ms;
    if (!ParseNumber(args[0], 600000, ms)) return Refuse("bad time " + args[0]);
    m_line->Face()->CloseWhenIdle(Milliseconds(ms));
    return kOk;
}

// tcp-unit <unit> <station>: a gateway's requests under unit go to station.
std::string CommandSession::TcpUnit(const Words& args) {
    uint64_t unit, station;
    if (!ParseNumber(args[0], 255, unit) || !ParseNumber(args[1], 255, station)) return Refuse("bad unit or station");
    m_line->Face()->AnswerUnitAs(static_cast<uint8_t>(unit), static_cast<uint8_t>(station));
    return kOk;
}

std::string CommandSession::Close(const Words&) {
    m_line.reset();
    return kOk;
}

std::string CommandSession::SetValue(const Words& args) {
    std::optional<Table> table = TableNamed(args[0]);
    uint64_t station, address, value;
    if (!table) return Refuse("unknown table " + args[0]);
    if (!ParseNumber(args[1], 255, station) || !ParseNumber(args[2], 65535, address) ||
        !ParseNumber(args[3], 65535, value)) {
        return Refuse("bad station, address or value");
    }
    if (!m_line->Slave().Set(*table, static_cast<int>(station), static_cast<uint16_t>(address),
                             static_cast<uint16_t>(value))) {
        return Refuse("station " + args[1] + " is not on this line");
    }
    return kOk;
}

std::string CommandSession::GetValue(const Words& args) {
    std::optional<Table> table = TableNamed(args[0]);
    uint64_t station, address;
    if (!table) return Refuse("unknown table " + args[0]);
    if (!ParseNumber(args[1], 255, station) || !ParseNumber(args[2], 65535, address)) {
        return Refuse("bad station or address");
    }
    std::optional<uint16_t> value =
        m_line->Slave().Get(*table, static_cast<int>(station), static_cast<uint16_t>(address));
    if (!value) return Refuse("station " + args[1] + " is not on this line");
    return kOk + " " + std::to_string(*value);
}

std::string CommandSession::Requests(const Words&) {
    std::string answer = kOk;
    for (const Bytes& frame : m_line->Slave().Requests()) answer += " " + ToHex(frame);
    return answer;
}

std::string CommandSession::ClearRequests(const Words&) {
    m_line->Slave().ClearRequests();
    return kOk;
}

std::string CommandSession::Delay(const Words& args) {
    uint64_t ms;
    if (!ParseNumber(args[0], 600000, ms)) return Refuse("bad delay " + args[0]);
    m_line->Relay()->ChangeNextFault([&](ReplyFault& fault) { fault.delay = Milliseconds(ms); });
    return kOk;
}

std::string CommandSession::Split(const Words& args) {
    uint64_t bytes, ms;
    if (!ParseNumber(args[0], 65535, bytes) || !ParseNumber(args[1], 600000, ms)) return Refuse("bad split");
    m_line->Relay()->ChangeNextFault([&](ReplyFault& fault) {
        fault.splitAfter = bytes;
        fault.splitPause = Milliseconds(ms);
    });
    return kOk;
}

std::string CommandSession::SetBursts(const Words& args) {
    uint64_t bytes, ms;
    if (!ParseNumber(args[0], 65535, bytes) || !ParseNumber(args[1], 600000, ms)) return Refuse("bad bursts");
    m_line->Relay()->SetBursts({bytes, Milliseconds(ms)});
    if (TcpFace* face = m_line->Face()) face->AllowPausesInReplies(Milliseconds(ms));
    return kOk;
}

std::string CommandSession::Echo(const Words& args) {
    if (args[0] != "on" && args[0] != "off") return Refuse("echo on or off");
    m_line->Relay()->Echo(args[0] == "on");
    return "ok";
}

std::string CommandSession::Babble(const Words& args) {
    if (args[0] != "on" && args[0] != "off") return Refuse("babble on or off");
    m_line->Relay()->Babble(args[0] == "on");
    return kOk;
}

std::string CommandSession::Drop(const Words&) {
    m_line->Relay()->ChangeNextFault([](ReplyFault& fault) { fault.drop = true; });
    return kOk;
}

std::string CommandSession::Corrupt(const Words& args) {
    uint64_t index;
    if (!ParseNumber(args[0], 65535, index)) return Refuse("bad byte index " + args[0]);
    m_line->Relay()->ChangeNextFault([&](ReplyFault& fault) { fault.corruptIndex = index; });
    return kOk;
}

std::string CommandSession::Prefix(const Words& args) {
    Bytes bytes;
    if (!ParseHexArg(args, bytes)) return Refuse("bad hex bytes");
    m_line->Relay()->ChangeNextFault([&](ReplyFault& fault) { fault.prefix = bytes; });
    return kOk;
}

std::string CommandSession::Suffix(const Words& args) {
    Bytes bytes;
    if (!ParseHexArg(args, bytes)) return Refuse("bad hex bytes");
    m_line->Relay()->ChangeNextFault([&](ReplyFault& fault) { fault.suffix = bytes; });
    return kOk;
}

std::string CommandSession::Send(const Words& args) {
    Bytes bytes;
    if (!ParseHexArg(args, bytes)) return Refuse("bad hex bytes");
    m_line->Relay()->SendFromDevice(bytes);
    return kOk;
}

std::string CommandSession::StopSlave(const Words&) {
    m_line->Slave().Stop();
    return kOk;
}

std::string CommandSession::StartSlave(const Words&) {
    std::string error;
    return m_line->Slave().Start(error) ? kOk : Refuse(error);
}

std::string CommandSession::LineRateOnly(const Words&) {
    if (!m_line->Relay()->HearOnlyAt(m_line->Baud())) return Refuse("a pty cannot be set to this line's rate");
    return kOk;
}

std::string CommandSession::SwitchStation(const Words& args, bool on) {
    uint64_t station;
    if (!ParseNumber(args[0], 255, station)) return Refuse("bad station " + args[0]);
    if (!m_line->Slave().SwitchStation(static_cast<int>(station), on)) {
        return Refuse("station " + args[0] + " is not on this line");
    }
    return kOk;
}

std::string CommandSession::StationOff(const Words& args) {
    return SwitchStation(args, false);
}

std::string CommandSession::StationOn(const Words& args) {
    return SwitchStation(args, true);
}

std::string CommandSession::SetLacking(const Words& args, bool lacking) {
    std::optional<Table> table = TableNamed(args[0]);
    uint64_t station, address;
    if (!table) return Refuse("unknown table " + args[0]);
    if (!ParseNumber(args[1], 255, station) || !ParseNumber(args[2], 65535, address)) {
        return Refuse("bad station or address");
    }
    if (!m_line->Slave().Lack(*table, static_cast<int>(station), static_cast<uint16_t>(address), lacking)) {
        return Refuse("station " + args[1] + " is not on this line");
    }
    return kOk;
}

std::string CommandSession::Lack(const Words& args) {
    return SetLacking(args, true);
}

std::string CommandSession::Supply(const Words& args) {
    return SetLacking(args, false);
}

std::string CommandSession::RepeatFault(const Words& args) {
    uint64_t replies;
    if (!ParseNumber(args[0], 1000, replies) || replies == 0) return Refuse("bad reply count " + args[0]);
    m_line->Relay()->RepeatNextFault(replies);
    return kOk;
}

std::string CommandSession::CorruptEvery(const Words& args) {
    uint64_t n;
    if (!ParseNumber(args[0], 1000000, n)) return Refuse("bad reply count " + args[0]);
    m_line->Relay()->CorruptEvery(n);
    return kOk;
}

std::string CommandSession::LateEvery(const Words& args) {
    uint64_t n, ms;
    if (!ParseNumber(args[0], 1000000, n) || !ParseNumber(args[1], 600000, ms)) return Refuse("bad late-every");
    m_line->Relay()->DelayEvery(n, Milliseconds(ms));
    return kOk;
}

// turnaround <ms> [<most ms>]: with most, drawn anew for each reply.
std::string CommandSession::Turnaround(const Words& args) {
    uint64_t ms, most = 0;
    if (!ParseNumber(args[0], 600000, ms) || (args.size() > 1 && !ParseNumber(args[1], 600000, most))) {
        return Refuse("bad turnaround");
    }
    m_line->Relay()->SetTurnaround(Milliseconds(ms), Milliseconds(most));
    return kOk;
}

// needs-silence <ms>: 0 hears every request.
std::string CommandSession::NeedsSilence(const Words& args) {
    uint64_t ms;
    if (!ParseNumber(args[0], 600000, ms)) return Refuse("bad silence " + args[0]);
    m_line->Relay()->NeedSilence(Milliseconds(ms));
    return kOk;
}

// twice [<ms>]: the copy right behind the reply, or ms after it.
std::string CommandSession::Twice(const Words& args) {
    uint64_t ms = 0;
    if (!args.empty() && !ParseNumber(args[0], 60000, ms)) return Refuse("bad time " + args[0]);
    m_line->Relay()->ChangeNextFault([ms](ReplyFault& fault) {
        fault.twice = true;
        fault.twicePause = std::chrono::milliseconds(ms);
    });
    return kOk;
}

// refuse <station> <code> <ms> [<first> <last>]: ms 0 lasts until accepted.
std::string CommandSession::RefuseFor(const Words& args) {
    uint64_t ms, first = 0, last = 0xFFFF;
    if (args.size() == 4) return Refuse("refuse takes both first and last item or neither");
    if (!ParseNumber(args[2], 3600000, ms) ||
        (args.size() == 5 && (!ParseNumber(args[3], 65535, first) || !ParseNumber(args[4], 65535, last)))) {
        return Refuse("bad duration or items");
    }
    Refusal refusal{0, 0, static_cast<uint16_t>(first), static_cast<uint16_t>(last), std::nullopt, false};
    if (ms > 0) refusal.until = std::chrono::steady_clock::now() + Milliseconds(ms);
    return AddRefusal(args, refusal);
}

std::string CommandSession::RefuseNext(const Words& args) {
    return AddRefusal(args, Refusal{0, 0, 0, 0xFFFF, std::nullopt, true});
}

std::string CommandSession::AddRefusal(const Words& args, Refusal refusal) {
    uint64_t station, code;
    if (!ParseNumber(args[0], 255, station) || !ParseNumber(args[1], 255, code) || code == 0) {
        return Refuse("bad station or exception code");
    }
    refusal.station = static_cast<int>(station);
    refusal.code = static_cast<uint8_t>(code);
    if (!m_line->Slave().Refuse(refusal)) return Refuse("this slave cannot refuse for station " + args[0]);
    return kOk;
}

std::string CommandSession::Accept(const Words& args) {
    uint64_t station;
    if (!ParseNumber(args[0], 255, station)) return Refuse("bad station " + args[0]);
    if (!m_line->Slave().Accept(static_cast<int>(station))) return Refuse("this slave cannot accept for station " + args[0]);
    return kOk;
}

std::string CommandSession::Pull(const Words&) {
    std::string error;
    return m_line->Pull(error) ? kOk : Refuse(error);
}

std::string CommandSession::Return(const Words&) {
    std::string error;
    return m_line->Return(error) ? kOk : Refuse(error);
}

bool CommandSession::ReadLine(std::string& line) {
    size_t end;
    while ((end = m_pending.find('\n')) == std::string::npos) {
        char chunk[4096];
        ssize_t n = recv(m_socket, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        m_pending.append(chunk, static_cast<size_t>(n));
    }
    line = m_pending.substr(0, end);
    m_pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool CommandSession::WriteLine(const std::string& line) {
    std::string text = line + "\n";
    for (size_t sent = 0; sent < text.size();) {
        ssize_t n = send(m_socket, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// listen PIECE_MS: answers the listener's COM number.
std::string CommandSession::Listen(const Words& args) {
    uint64_t ms;
    if (!ParseNumber(args[0], 10000, ms)) return Refuse("bad piece time " + args[0]);
    std::string error;
    if (!m_line->AddTap(Milliseconds(ms), error)) return Refuse(error);
    return kOk + " " + std::to_string(m_line->Tap()->ComNumber());
}

std::string CommandSession::Listening(const Words&) {
    LineTap* tap = m_line->Tap();
    if (tap == nullptr) return Refuse("the line has no listener");
    return kOk + (tap->Held() ? " 1" : " 0");
}
