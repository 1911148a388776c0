#pragma once
// The keys of the settings file: for each its name, the values it accepts,
// its default and whether it may differ between the stations of a line. The
// table below is the one home of these facts; the parser, the effective
// settings and any display of them read it.
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "modbus/BlockCache.h"
#include "modbus/NetworkEndpoint.h"
#include "modbus/ValueCodec.h"

namespace modbus {

// Indexes kSettingRules.
enum SettingKey : int32_t {
    kWordOrder,
    kRetries,
    kTimeoutRetries,
    kDemoteAfter,
    kDemoteForMs,
    kRequestGapMs,
    kSilenceUs,
    kMaxBlockRegisters,
    kMaxBlockBits,
    kMaxGapRegisters,
    kMaxGapBits,
    kTransport,
    kEndpoint,
    kConnectTimeoutMs,
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
    // Set for a key whose value is a text: empty when the text is one the key
    // takes, otherwise what is wrong with it.
    std::string (*checkText)(std::string_view text) = nullptr;
    const char* textForm = nullptr;  // what the text may be, for messages
};

// A key's value: a number or a name's index, or the text of a text key
// (empty: none given).
struct SettingValue {
    int32_t number = 0;
    std::string text;
};

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
// 1750 us above 19200 baud. transport, endpoint and connect_timeout_ms say
// how the line reaches its devices; an endpoint is needed by a network
// transport and refused for a serial one, which the file as a whole is
// checked for.
inline constexpr SettingRule kSettingRules[kSettingCount] = {
    {"word_order", 0, 3, static_cast<int32_t>(WordOrder::kCDAB), SettingScope::kStation, kWordOrderNames},
    {"retries", 0, 5, 1, SettingScope::kStation, nullptr},
    {"timeout_retries", 0, 5, 0, SettingScope::kStation, nullptr},
    {"demote_after", 0, 100, 3, SettingScope::kStation, nullptr},
    {"demote_for_ms", 100, 3600000, 10000, SettingScope::kStation, nullptr},
    {"request_gap_ms", 0, 10000, 0, SettingScope::kLine, nullptr},
    {"silence_us", 0, 100000, 0, SettingScope::kLine, nullptr},
    {"max_block_registers", 1, 123, kRegisterBlockLimits.span, SettingScope::kStation, nullptr},
    {"max_block_bits", 1, 1999, kBitBlockLimits.span, SettingScope::kStation, nullptr},
    {"max_gap_registers", 0, 125, kRegisterBlockLimits.gap, SettingScope::kStation, nullptr},
    {"max_gap_bits", 0, 2000, kBitBlockLimits.gap, SettingScope::kStation, nullptr},
    {"transport", 0, 2, static_cast<int32_t>(Transport::kSerial), SettingScope::kLine, kTransportNames},
    {"endpoint", 0, 0, 0, SettingScope::kLine, nullptr, CheckEndpointText, kEndpointForm},
    {"connect_timeout_ms", 100, 60000, 3000, SettingScope::kLine, nullptr},
};
static_assert(kSettingRules[kWordOrder].max + 1 == std::size(kWordOrderNames), "word_order names every order");
static_assert(kSettingRules[kTransport].max + 1 == std::size(kTransportNames), "transport names every transport");

// One "name = value", blanks trimmed off both. Empty when the name is a
// key (whatever its case) and the text one of its values, both stored;
// otherwise why not, naming the key, the text and what is accepted.
std::string ParseSetting(std::string_view name, std::string_view text, SettingKey& key, SettingValue& value);
// The value as the file would give it; "none" for a text key given none.
std::string SettingValueText(SettingKey key, const SettingValue& value);

}  // namespace modbus
