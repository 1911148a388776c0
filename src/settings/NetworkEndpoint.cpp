#include "settings/NetworkEndpoint.h"

#include <algorithm>

#include "settings/SettingsText.h"

namespace modbus {
namespace {

// The longest name the name system carries.
constexpr size_t kLongestHost = 253;
constexpr int32_t kLargestPort = 65535;

// Letters, digits, '-' and '.': a host name, or an IPv4 address, which the
// resolver takes as it is.
bool IsHostText(std::string_view host) {
    const auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    };
    return !host.empty() && host.size() <= kLongestHost && std::all_of(host.begin(), host.end(), allowed) &&
           host.front() != '.' && host.front() != '-' && host.find("..") == std::string_view::npos;
}

}  // namespace

std::string ParseEndpoint(std::string_view text, NetworkEndpoint& endpoint) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return "has no :PORT";
    const std::string_view host = text.substr(0, colon);
    int32_t port = 0;
    if (!IsHostText(host)) return "has no host name or IPv4 address before the :";
    if (!ParseDecimalText(text.substr(colon + 1), 1, kLargestPort, port)) return "has no port 1..65535 after the :";
    endpoint = {std::string(host), static_cast<uint16_t>(port)};
    return {};
}

}  // namespace modbus
