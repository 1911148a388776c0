#pragma once
// The keys of the settings file: for each its name, the values it accepts,
// its default, whether it may differ between the stations of a line and
// what it does in one line. The table below is the one home of these facts;
// the parser, the effective settings, the example file and any display of
// them read it.
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "modbus/Frames.h"
#include "modbus/MbapTransactions.h"
#include "modbus/WordOrder.h"
#include "settings/BlockLimits.h"
#include "settings/NetworkEndpoint.h"

namespace modbus {

// Whether the line's adapter hears its own requests: learned from the line,
// or set. Indexes kEchoNames.
enum class EchoSetting : int32_t { kAuto, kOn, kOff };
inline constexpr const char* kEchoNames[] = {"auto", "on", "off"};

// Indexes kSettingRules.
enum SettingKey : int32_t {
    kWordOrder,
    kWriteFunction,
    kRetries,
    kTimeoutRetries,
    kBusyRetryMs,
    kDemoteAfter,
    kDemoteForMs,
    kRequestGapMs,
    kSilenceUs,
    kReopenMs,
    kReopenMaxMs,
    kMaxBlockRegisters,
    kMaxBlockBits,
    kMaxGapRegisters,
    kMaxGapBits,
    kRelearnMs,
    kTransport,
    kEndpoint,
    kConnectTimeoutMs,
    kLateReplyMaxMs,
    kTransactionCheck,
    kIdleCloseMs,
    kConnectDelayMs,
    kUnitId,
    kEcho,
    kSettingCount,
};

// A station key may be set in every section; a line key belongs to all the
// stations of a line alike and is refused in a station's section.
enum class SettingScope { kStation, kLine };

struct SettingRule {
    const char* name;
    int32_t min;
    int32_t max;
    int32_t defaultValue;
    SettingScope scope;
    // Null for a decimal value; otherwise the value is one of these names,
    // names[min..max], and stands for its index.
    const char* const* names;
    // What the key does, for a reader of the settings file: one line, ASCII.
    const char* summary;
    // Set for a key whose value is a text: empty when the text is one the key
    // takes, otherwise what is wrong with it.
    std::string (*checkText)(std::string_view text) = nullptr;
    const char* textForm = nullptr;  // what the text may be, for messages
    // Set for a decimal key whose default is no number of its range: the
    // word that stands for the default, taken as a value too.
    const char* defaultName = nullptr;
};

// A key's value: a number or a name's index, or the text of a text key
// (empty: none given).
struct SettingValue {
    int32_t number = 0;
    std::string text;
};

inline bool operator==(const SettingValue& a, const SettingValue& b) {
    return a.number == b.number && a.text == b.text;
}
inline bool operator!=(const SettingValue& a, const SettingValue& b) {
    return !(a == b);
}

inline std::string CheckEndpointText(std::string_view text) {
    NetworkEndpoint endpoint;
    return ParseEndpoint(text, endpoint);
}

// A block's span is the distance from its first item to its last, so a
// block of 32-bit values asks for span + 2 registers: the block limits stop
// where a request would exceed the 125 registers or 2000 bits a read may ask
// for. request_gap_ms and silence_us are line keys: the silence before a
// request belongs to the line, whichever station the request is for.
// silence_us 0 stands for the line format's own: 3.5 characters, at least
// 1750 us above 19200 baud. reopen_ms and reopen_max_ms are line keys too:
// how often a lost port or connection is tried again, at first and at most.
// transport, endpoint and connect_timeout_ms say how the line reaches its
// devices; an endpoint is needed by a network transport and refused for a
// serial one, which the file as a whole is checked for. unit_id is a
// station key: its default, the station's own address, is no number of its
// own, so the word "station" stands for it.
inline constexpr SettingRule kSettingRules[kSettingCount] = {
    {"word_order", 0, 3, static_cast<int32_t>(WordOrder::kCDAB), SettingScope::kStation, kWordOrderNames,
     "how a uint32 or float lies in its two registers; CDAB is low word first"},
    {"write_function", 0, 2, static_cast<int32_t>(WriteFunctions::kAuto), SettingScope::kStation,
     kWriteFunctionNames,
     "how one coil or register is written: auto and single with functions 5 and 6, multiple with 15 and 16"},
    {"retries", 0, 5, 1, SettingScope::kStation, nullptr,
     "repeats of a request whose reply was broken or said the device is busy"},
    {"timeout_retries", 0, 5, 0, SettingScope::kStation, nullptr, "repeats of a request that got no reply"},
    {"busy_retry_ms", 0, 10000, 100, SettingScope::kStation, nullptr,
     "the wait before a request the device answered busy (exception 05 or 06) goes again, in milliseconds"},
    {"demote_after", 0, 100, 3, SettingScope::kStation, nullptr,
     "requests in a row without a reply before the station is demoted; 0 never demotes"},
    {"demote_for_ms", 100, 3600000, 10000, SettingScope::kStation, nullptr,
     "how long a demotion lasts, in milliseconds"},
    {"request_gap_ms", 0, 10000, 0, SettingScope::kLine, nullptr,
     "extra silence before each request on the line, in milliseconds"},
    {"silence_us", 0, 100000, 0, SettingScope::kLine, nullptr,
     "the silence before each request, in microseconds; 0: 3.5 characters, at least 1750 above 19200 baud"},
    {"reopen_ms", 100, 60000, 1000, SettingScope::kLine, nullptr,
     "how often a lost port or connection is tried again during the first minute, in milliseconds"},
    {"reopen_max_ms", 1000, 600000, 10000, SettingScope::kLine, nullptr,
     "the longest wait between attempts once a loss has lasted a minute, in milliseconds"},
    {"max_block_registers", 1, 123, kRegisterBlockLimits.span, SettingScope::kStation, nullptr,
     "how far apart the first and last register of one read request may lie"},
    {"max_block_bits", 1, 1999, kBitBlockLimits.span, SettingScope::kStation, nullptr,
     "how far apart the first and last coil or input of one read request may lie"},
    {"max_gap_registers", 0, 125, kRegisterBlockLimits.gap, SettingScope::kStation, nullptr,
     "the widest run of unused registers one read request may bridge"},
    {"max_gap_bits", 0, 2000, kBitBlockLimits.gap, SettingScope::kStation, nullptr,
     "the widest run of unused coils or inputs one read request may bridge"},
    {"relearn_ms", 0, 86400000, 60000, SettingScope::kStation, nullptr,
     "how long a learned block split holds before the whole block is asked for once more; 0 never"},
    {"transport", 0, 2, static_cast<int32_t>(Transport::kSerial), SettingScope::kLine, kTransportNames,
     "how the line reaches its devices: its serial port, or TCP to a device server (RTU) or a gateway"},
    {"endpoint", 0, 0, 0, SettingScope::kLine, nullptr, "where a network line connects: HOST:PORT",
     CheckEndpointText, kEndpointForm},
    {"connect_timeout_ms", 100, 60000, 3000, SettingScope::kLine, nullptr,
     "how long a network line's connection may take to be made, in milliseconds"},
    {"late_reply_max_ms", 0, 60000, 0, SettingScope::kLine, nullptr,
     "how long a reply to a request that got none may still come, in milliseconds; 0: 10 response time-outs"},
    {"transaction_check", 0, 1, static_cast<int32_t>(TransactionCheck::kAuto), SettingScope::kLine,
     kTransactionCheckNames,
     "Modbus TCP: strict takes only replies with the request's transaction; auto learns a gateway's own rule"},
    {"idle_close_ms", 0, 3600000, 0, SettingScope::kLine, nullptr,
     "a network line closes its connection after this long without a request, in milliseconds; 0 never"},
    {"connect_delay_ms", 0, 10000, 0, SettingScope::kLine, nullptr,
     "the pause after a network line's connection is made before its first request, in milliseconds"},
    {"unit_id", 0, 255, kUnitIdOfStation, SettingScope::kStation, nullptr,
     "Modbus TCP: the unit id sent for the station; station: its own address", nullptr, nullptr, "station"},
    {"echo", 0, 2, static_cast<int32_t>(EchoSetting::kAuto), SettingScope::kLine, kEchoNames,
     "whether each request comes back before its reply (an RS-485 adapter that hears itself): auto learns it"},
};
static_assert(kSettingRules[kWordOrder].max + 1 == std::size(kWordOrderNames), "word_order names every order");
static_assert(kSettingRules[kWriteFunction].max + 1 == std::size(kWriteFunctionNames),
              "write_function names every choice");
static_assert(kSettingRules[kTransport].max + 1 == std::size(kTransportNames), "transport names every transport");
static_assert(kSettingRules[kTransactionCheck].max + 1 == std::size(kTransactionCheckNames),
              "transaction_check names every choice");
static_assert(kSettingRules[kEcho].max + 1 == std::size(kEchoNames), "echo names every choice");

constexpr bool EverySettingSaysWhatItDoes() {
    for (const SettingRule& rule : kSettingRules) {
        if (rule.name == nullptr || rule.summary == nullptr) return false;
    }
    return true;
}
static_assert(EverySettingSaysWhatItDoes(), "every key of the table has its name and a one-line summary");

// One "name = value", blanks trimmed off both. Empty when the name is a
// key (whatever its case) and the text one of its values, both stored;
// otherwise why not, naming the key, the text and what is accepted.
std::string ParseSetting(std::string_view name, std::string_view text, SettingKey& key, SettingValue& value);
// The value as the file would give it; "none" for a text key given none.
std::string SettingValueText(SettingKey key, const SettingValue& value);
// "0..5", the names the key accepts or the form of its text, as the
// parser's reasons say it.
std::string AcceptedValues(SettingKey key);

}  // namespace modbus
