#pragma once
// How long frames occupy a Modbus RTU line: every character takes 10 bits
// (start, 8 data, stop), and every frame follows a silence of 3.5
// characters, at least 1.75 ms, as the line's framing asks for.
#include <cstdint>
#include <vector>

namespace bench {

// The two frames of one request and its reply, in bytes.
struct ExchangeBytes {
    uint32_t request;
    uint32_t reply;
};

// A read request of quantity items and a device's complete answer to it.
ExchangeBytes ReadExchange(uint8_t function, uint16_t quantity);
// The exchange a logged request frame started: a read, or a write whose
// acknowledgement is 8 bytes.
ExchangeBytes ExchangeOf(const std::vector<uint8_t>& request);

double WireMs(const std::vector<ExchangeBytes>& exchanges, uint32_t baud);
// The two frames alone, without the silences before them.
double FramesMs(const ExchangeBytes& exchange, uint32_t baud);
// The end-of-frame silence: 3.5 characters, at least 1.75 ms above 19200 baud.
double SilenceMs(uint32_t baud);

}  // namespace bench
