// The transaction rules a Modbus TCP connection may answer by, and how one
// is learned from its replies.
#include "modbus/MbapTransactions.h"

namespace modbus {
namespace {

constexpr TransactionRelation kOtherRelations[] = {TransactionRelation::kZero, TransactionRelation::kPlusOne,
                                                   TransactionRelation::kSwapped};

}  // namespace

uint16_t ExpectedTransaction(TransactionRelation relation, uint16_t sent) {
    switch (relation) {
    case TransactionRelation::kZero: return 0;
    case TransactionRelation::kPlusOne: return static_cast<uint16_t>(sent + 1);
    case TransactionRelation::kSwapped: return static_cast<uint16_t>(sent << 8 | sent >> 8);
    default: return sent;
    }
}

const char* RelationText(TransactionRelation relation) {
    switch (relation) {
    case TransactionRelation::kZero: return "transaction 0";
    case TransactionRelation::kPlusOne: return "the request's transaction plus one";
    case TransactionRelation::kSwapped: return "the request's transaction, its bytes swapped";
    default: return "the request's transaction";
    }
}

void CTransactionRule::Reset(TransactionCheck check) {
    m_check = check;
    m_relation = TransactionRelation::kSame;
    m_seen = 0;
}

// Only an unknown rule is learned. Where two rules give the same number
// (0xFFFF plus one is 0), the first that fits counts; a reply under a
// number no rule gives ends the row.
CTransactionRule::Learning CTransactionRule::Learn(uint16_t sent, uint16_t got) {
    if (m_check != TransactionCheck::kAuto || m_relation != TransactionRelation::kSame) return Learning::kNone;
    for (TransactionRelation relation : kOtherRelations) {
        if (ExpectedTransaction(relation, sent) != got) continue;
        m_seen = relation == m_candidate ? m_seen + 1 : 1;
        m_candidate = relation;
        if (m_seen < kRepliesToLearn) return Learning::kCounted;
        m_relation = relation;
        return Learning::kLearned;
    }
    m_seen = 0;
    return Learning::kNone;
}

}  // namespace modbus
