#pragma once
// An exchange heard on a line as a person and a program read it: what was
// asked (the items, as tag addresses count them from 1, and the values
// written), what came back (the values, the exception and its meaning, or
// what went wrong), the answer time and the gap before the next request.
// One line each, as a table line on the terminal, as CSV with the header
//   time,station,function,outcome,asked,answered,answer_ms,gap_ms
// or as JSON Lines with the same fields.
#include <string>

#include "korvel-poll/monitor/ExchangePairing.h"

namespace monitor {

// "reply", "exception", "no-reply", "crc-error", "unsolicited", "broadcast", "noise", "unfinished".
const char* OutcomeName(Outcome outcome);
// "4x1,10" for a read, "4x20=720" for a write of one register, "0x5=on",
// "4x20,2=720 0" for a write of many; the data in hex for other functions.
std::string AskedText(const std::string& request);
// "12 34 0 7" for a read, "ok" for a write, "exception 02 (illegal data
// address)", "no reply", "CRC error: 01 03 ..."; the frame heard alone and
// noise in hex.
std::string AnsweredText(const Exchange& exchange);

// time is the exchange's start as the record shows it.
std::string ExchangeTableLine(const Exchange& exchange, const std::string& time);
std::string ExchangeCsvHeader();
std::string ExchangeCsvLine(const Exchange& exchange, const std::string& time);
std::string ExchangeJsonLine(const Exchange& exchange, const std::string& time);

}  // namespace monitor
