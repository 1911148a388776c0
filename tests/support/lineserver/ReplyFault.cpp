#include "ReplyFault.h"

namespace {

void Append(Bytes& to, Bytes::const_iterator from, Bytes::const_iterator end) {
    to.insert(to.end(), from, end);
}

}  // namespace

std::vector<PacedPart> PlanReply(const ReplyFault& fault, Bytes reply) {
    if (fault.corruptIndex && *fault.corruptIndex < reply.size()) reply[*fault.corruptIndex] ^= 0xFF;
    if (fault.drop) reply.clear();
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
    return parts;
}
