#pragma once
// How a line reaches its devices (a serial port, or a TCP connection
// carrying RTU frames or Modbus TCP frames) and, for a connection, where it
// goes: "HOST:PORT", the host an IPv4 address or a host name.
#include <cstdint>
#include <string>
#include <string_view>

namespace modbus {

enum class Transport : int32_t { kSerial, kRtuOverTcp, kModbusTcp };
inline constexpr const char* kTransportNames[] = {"serial", "rtu-over-tcp", "modbus-tcp"};

// The unit_id that stands for the station's own address.
inline constexpr int32_t kUnitIdOfStation = -1;

struct NetworkEndpoint {
    std::string host;
    uint16_t port = 0;
};

// What an endpoint's text may be, for messages.
inline constexpr const char* kEndpointForm = "HOST:PORT, an IPv4 address or host name and a port 1..65535";

// Empty when text is an endpoint, stored into endpoint; otherwise what is
// wrong with it.
std::string ParseEndpoint(std::string_view text, NetworkEndpoint& endpoint);

}  // namespace modbus
