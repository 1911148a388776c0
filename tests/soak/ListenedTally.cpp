#include "ListenedTally.h"

#include "korvel-poll/monitor/ExchangeText.h"

namespace {

// A record is looked for this far ahead in the master's log, so that a
// stretch of exchanges the listener lost counts as lost and the records
// behind it still pair; a record matching none this far ahead is an extra
// one.
constexpr size_t kLookAhead = 64;
constexpr size_t kExamples = 8;

// The part of a record that says what was paired with what: from the
// station to what came back, without the times.
std::string PairedPart(const std::string& record) {
    const size_t from = record.find("\"station\":");
    const size_t to = record.find(",\"answer_ms\":");
    if (from == std::string::npos || to == std::string::npos || to < from) return record;
    return record.substr(from, to - from);
}

std::string OutcomeOf(const std::string& record) {
    const std::string label = "\"outcome\":\"";
    const size_t from = record.find(label);
    if (from == std::string::npos) return {};
    const size_t start = from + label.size();
    return record.substr(start, record.find('"', start) - start);
}

bool PairsARequest(const std::string& outcome) {
    return outcome == "reply" || outcome == "exception" || outcome == "no-reply";
}

// The record a listener that heard the master's exchange right writes.
std::string Expected(const MasterExchange& exchange) {
    monitor::Exchange heard;
    heard.request = exchange.request;
    heard.reply = exchange.reply;
    heard.outcome = exchange.reply.empty()                           ? monitor::Outcome::kNoReply
                    : static_cast<uint8_t>(exchange.reply[1]) & 0x80 ? monitor::Outcome::kException
                                                                     : monitor::Outcome::kReply;
    return PairedPart(monitor::ExchangeJsonLine(heard, ""));
}

void Note(ListenedTally& tally, const std::string& what) {
    if (tally.examples.size() < kExamples) tally.examples.push_back(what);
}

}  // namespace

ListenedTally TallyListenedRecords(const std::vector<MasterExchange>& log, const std::vector<std::string>& records) {
    ListenedTally tally;
    tally.exchanges = log.size();
    std::vector<std::string> expected;
    for (const MasterExchange& exchange : log) expected.push_back(Expected(exchange));
    size_t next = 0;
    size_t unpaired = 0;  // unclassified records since the last paired one
    for (const std::string& record : records) {
        if (record.empty()) continue;
        if (!PairsARequest(OutcomeOf(record))) {
            ++unpaired;
            if (next > 0) Note(tally, "unclassified: " + record);
            continue;
        }
        (next == 0 ? tally.atTheEdges : tally.unclassified) += unpaired;
        unpaired = 0;
        const std::string heard = PairedPart(record);
        size_t ahead = 0;
        while (ahead < kLookAhead && next + ahead < expected.size() && expected[next + ahead] != heard) ++ahead;
        if (ahead == kLookAhead || next + ahead == expected.size()) {
            ++tally.extra;
            Note(tally, "heard " + heard + (next < expected.size() ? "\n  master " + expected[next] : ""));
            continue;
        }
        for (size_t lost = 0; lost < ahead; ++lost) Note(tally, "not heard: " + expected[next + lost]);
        ++tally.right;
        next += ahead + 1;
    }
    tally.atTheEdges += unpaired;
    return tally;
}
