#include "ReplyFault.h"

namespace {

void Append(Bytes& to, Bytes::const_iterator from, Bytes::const_iterator end) {
    to.insert(to.end(), from, end);
}

}  // namespace

std::vector<PacedPart> PlanReply(const ReplyFault& fault, Bytes reply) {
    if (fault.corruptIndex && *fault.corruptIndex < reply.size()) reply[*fault.corruptIndex] ^= 0xFF;
    if (fault.drop) reply.clear();
    const Bytes once = reply;
    const bool copyApart = fault.twice && fault.twicePause.count() > 0;
    if (fault.twice && !copyApart) Append(reply, once.begin(), once.end());
    bool split = fault.splitAfter > 0 && fault.splitAfter < reply.size();
    auto cut = split ? reply.begin() + static_cast<std::ptrdiff_t>(fault.splitAfter) : reply.end();

    PacedPart first{fault.delay, fault.prefix};
    Append(first.bytes, reply.begin(), cut);
    PacedPart rest{fault.splitPause, {}};
    Append(rest.bytes, cut, reply.end());
    Bytes& tail = split ? rest.bytes : first.bytes;
    Append(tail, fault.suffix.begin(), fault.suffix.end());

    std::vector<PacedPart> parts;
    if (!first.bytes.empty()) parts.push_back(std::move(first));
    if (split) parts.push_back(std::move(rest));
    if (copyApart && !once.empty()) parts.push_back({fault.twicePause, once});
    return parts;
}

std::vector<PacedPart> InBursts(std::vector<PacedPart> parts, const Bursts& bursts) {
    if (bursts.bytes == 0) return parts;
    std::vector<PacedPart> cut;
    for (PacedPart& part : parts) {
        for (size_t at = 0; at < part.bytes.size(); at += bursts.bytes) {
            const auto from = part.bytes.begin() + static_cast<std::ptrdiff_t>(at);
            const auto to = part.bytes.begin() + static_cast<std::ptrdiff_t>(std::min(at + bursts.bytes, part.bytes.size()));
            cut.push_back({at == 0 ? part.pauseBefore : bursts.pause, Bytes(from, to)});
        }
    }
    return cut;
}
