#include "support/LineFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "support/lineserver/HexBytes.h"

namespace {

std::string Words(const char* verb, std::initializer_list<std::string> args) {
    std::string text = verb;
    for (const std::string& arg : args) text += " " + arg;
    return text;
}

std::string Number(uint64_t value) {
    return std::to_string(value);
}

}  // namespace

LineFixture::LineFixture(uint32_t baud, std::vector<int> stations) {
    std::string open = Words("open", {Number(baud)});
    for (int station : stations) open += " " + std::to_string(station);
    std::string answer, error;
    if (!m_server.Connect(error) || !m_server.Call(open, answer, error)) {
        ADD_FAILURE() << "line fixture: cannot open a line: " << error;
        m_broken = true;
        return;
    }
    m_portIndex = std::atoi(answer.c_str()) - 1;
}

LineFixture::LineFixture(const std::string& openCommand) {
    std::string answer, error;
    if (!m_server.Connect(error) || !m_server.Call(openCommand, answer, error)) {
        ADD_FAILURE() << "line fixture: cannot " << openCommand << ": " << error;
        m_broken = true;
        return;
    }
    m_tcpPort = std::atoi(answer.c_str());
}

LineFixture::~LineFixture() {
    if (!m_broken) Command("close");
}

int LineFixture::PortIndex() const {
    return m_portIndex;
}

std::string LineFixture::DevicePath() const {
    return "\\\\.\\" + PortName();
}

std::string LineFixture::PortName() const {
    return "COM" + std::to_string(m_portIndex + 1);
}

std::string LineFixture::Endpoint() const {
    return "127.0.0.1:" + std::to_string(m_tcpPort);
}

void LineFixture::DropConnection() {
    Command("tcp-drop");
}

void LineFixture::RefuseConnectionsFor(uint32_t ms) {
    Command(Words("tcp-refuse", {Number(ms)}));
}

void LineFixture::StallConnectionsFor(uint32_t ms) {
    Command(Words("tcp-refuse", {Number(ms), "stall"}));
}

void LineFixture::ReplyInSegments(size_t bytes) {
    Command(Words("tcp-segments", {Number(bytes)}));
}

void LineFixture::MuteConnection(bool on) {
    Command(Words("tcp-mute", {on ? "on" : "off"}));
}

void LineFixture::SetGatewayWait(uint32_t ms) {
    Command(Words("tcp-gateway-wait", {Number(ms)}));
}

void LineFixture::AnswerTransactions(const std::string& rule) {
    Command(Words("tcp-transactions", {rule}));
}

void LineFixture::CloseIdleConnectionsAfter(uint32_t ms) {
    Command(Words("tcp-idle-close", {Number(ms)}));
}

void LineFixture::AnswerUnitAsStation(uint8_t unit, int station) {
    Command(Words("tcp-unit", {Number(unit), Number(station)}));
}

void LineFixture::SetCoil(int station, uint16_t address, bool on) {
    SetTable("coil", station, address, on ? 1 : 0);
}

void LineFixture::SetDiscreteInput(int station, uint16_t address, bool on) {
    SetTable("discrete-input", station, address, on ? 1 : 0);
}

void LineFixture::SetInputRegister(int station, uint16_t address, uint16_t value) {
    SetTable("input-register", station, address, value);
}

void LineFixture::SetHoldingRegister(int station, uint16_t address, uint16_t value) {
    SetTable("holding-register", station, address, value);
}

bool LineFixture::Coil(int station, uint16_t address) {
    return GetTable("coil", station, address) != 0;
}

bool LineFixture::DiscreteInput(int station, uint16_t address) {
    return GetTable("discrete-input", station, address) != 0;
}

uint16_t LineFixture::InputRegister(int station, uint16_t address) {
    return GetTable("input-register", station, address);
}

uint16_t LineFixture::HoldingRegister(int station, uint16_t address) {
    return GetTable("holding-register", station, address);
}

Frames LineFixture::Requests() {
    std::istringstream frames(Command("requests"));
    std::vector<std::vector<uint8_t>> requests;
    std::string hex;
    while (frames >> hex) {
        std::vector<uint8_t> frame;
        if (!FromHex(hex, frame)) {
            ADD_FAILURE() << "line fixture: malformed frame in the request log: " << hex;
            break;
        }
        requests.push_back(frame);
    }
    return requests;
}

void LineFixture::ClearRequests() {
    Command("clear-requests");
}

Frames LineFixture::RequestsDuring(const std::function<void()>& step) {
    ClearRequests();
    step();
    return Requests();
}

void LineFixture::DelayNextReply(uint32_t ms) {
    Command(Words("delay", {Number(ms)}));
}

void LineFixture::ReplyInBursts(size_t bytes, uint32_t pauseMs) {
    Command(Words("bursts", {Number(bytes), Number(pauseMs)}));
}

int LineFixture::Listen(uint32_t pieceMs) {
    const std::string number = Command(Words("listen", {Number(pieceMs)}));
    return number.empty() ? -1 : std::atoi(number.c_str()) - 1;
}

bool LineFixture::Listened() {
    return Command("listening") == "1";
}

void LineFixture::Echo(bool on) {
    Command(Words("echo", {on ? "on" : "off"}));
}

void LineFixture::Babble(bool on) {
    Command(Words("babble", {on ? "on" : "off"}));
}

void LineFixture::SplitNextReply(size_t firstPartBytes, uint32_t pauseMs) {
    Command(Words("split", {Number(firstPartBytes), Number(pauseMs)}));
}

void LineFixture::DropNextReply() {
    Command("drop");
}

void LineFixture::CorruptNextReply(size_t byteIndex) {
    Command(Words("corrupt", {Number(byteIndex)}));
}

void LineFixture::PrefixNextReply(const std::vector<uint8_t>& bytes) {
    Command(Words("prefix", {ToHex(bytes)}));
}

void LineFixture::SuffixNextReply(const std::vector<uint8_t>& bytes) {
    Command(Words("suffix", {ToHex(bytes)}));
}

void LineFixture::RepeatNextFault(size_t replies) {
    Command(Words("repeat-fault", {Number(replies)}));
}

void LineFixture::CorruptEveryNthReply(size_t n) {
    Command(Words("corrupt-every", {Number(n)}));
}

void LineFixture::DelayEveryNthReply(size_t n, uint32_t lateMs) {
    Command(Words("late-every", {Number(n), Number(lateMs)}));
}

void LineFixture::SetTurnaround(uint32_t ms) {
    Command(Words("turnaround", {Number(ms)}));
}

void LineFixture::NeedSilence(uint32_t ms) {
    Command(Words("needs-silence", {Number(ms)}));
}

void LineFixture::SendNextReplyTwice(uint32_t pauseMs) {
    Command(pauseMs == 0 ? std::string("twice") : Words("twice", {Number(pauseMs)}));
}

void LineFixture::RefuseRequests(int station, uint8_t code, uint32_t ms, uint16_t first, uint16_t last) {
    Command(Words("refuse", {Number(station), Number(code), Number(ms), Number(first), Number(last)}));
}

void LineFixture::RefuseNextRequest(int station, uint8_t code) {
    Command(Words("refuse-next", {Number(station), Number(code)}));
}

void LineFixture::AcceptRequests(int station) {
    Command(Words("accept", {Number(station)}));
}

void LineFixture::SwitchStation(int station, bool on) {
    Command(Words(on ? "station-on" : "station-off", {std::to_string(station)}));
}

void LineFixture::LackHoldingRegister(int station, uint16_t address, bool lacking) {
    Command(Words(lacking ? "lack" : "supply", {"holding-register", std::to_string(station), Number(address)}));
}

void LineFixture::SendFromDevice(const std::vector<uint8_t>& bytes) {
    Command(Words("send", {ToHex(bytes)}));
}

void LineFixture::PullDevice() {
    Command("pull");
}

void LineFixture::ReturnDevice() {
    Command("return");
}

void LineFixture::StopSlave() {
    Command("stop-slave");
}

void LineFixture::StartSlave() {
    Command("start-slave");
}

void LineFixture::HearOnlyTheLineRate() {
    Command("line-rate-only");
}

std::string LineFixture::Command(const std::string& text) {
    if (m_broken) return std::string();
    std::string answer, error;
    if (!m_server.Call(text, answer, error)) {
        ADD_FAILURE() << "line fixture: \"" << text << "\": " << error;
        m_broken = !m_server.Connected();
    }
    return answer;
}

void LineFixture::SetTable(const char* table, int station, uint16_t address, uint16_t value) {
    Command(Words("set", {table, std::to_string(station), Number(address), Number(value)}));
}

uint16_t LineFixture::GetTable(const char* table, int station, uint16_t address) {
    return static_cast<uint16_t>(std::atoi(Command(Words("get", {table, std::to_string(station), Number(address)})).c_str()));
}
