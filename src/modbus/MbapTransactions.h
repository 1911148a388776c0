#pragma once
// How a Modbus TCP connection numbers its replies. Each request carries a
// new transaction number; most gateways answer under it, some under 0,
// under the number plus one, or with its two bytes swapped. Under the auto
// check, a connection whose replies come several in a row under one such
// rule, each otherwise the request's own answer, is taken to answer that way
// from then on; until then a reply under another number answers nothing.
// A reply is never taken without a check of its number. A new connection
// starts over, its rule unknown.
#include <cstdint>

namespace modbus {

// How a Modbus TCP line matches a reply's transaction to its request: only
// the request's own, or, auto, also a rule the connection shows it answers by.
enum class TransactionCheck : int32_t { kAuto, kStrict };
inline constexpr const char* kTransactionCheckNames[] = {"auto", "strict"};

enum class TransactionRelation { kSame, kZero, kPlusOne, kSwapped };

// The number a reply to the request sent under sent carries.
uint16_t ExpectedTransaction(TransactionRelation relation, uint16_t sent);

// What a connection answers with, for the trace: "transaction 0".
const char* RelationText(TransactionRelation relation);

class CTransactionRule {
public:
    // Replies in a row that show one rule before it is taken.
    static constexpr int kRepliesToLearn = 3;

    void Reset(TransactionCheck check);
    TransactionRelation Relation() const { return m_relation; }
    uint16_t Expected(uint16_t sent) const { return ExpectedTransaction(m_relation, sent); }
    // Whether the rule tells the replies of two requests apart: under 0 it
    // cannot.
    bool TellsRequestsApart() const { return m_relation != TransactionRelation::kZero; }
    enum class Learning {
        kNone,     // no rule is being learned, or none gives got
        kCounted,  // got counts towards a rule
        kLearned,  // got made a rule taken
    };
    // A reply that is the request's own answer but for its number came
    // under got.
    Learning Learn(uint16_t sent, uint16_t got);
    // A reply came under the number expected: a row of another rule ends.
    void Matched() { m_seen = 0; }

private:
    TransactionCheck m_check = TransactionCheck::kAuto;
    TransactionRelation m_relation = TransactionRelation::kSame;
    TransactionRelation m_candidate = TransactionRelation::kSame;
    int m_seen = 0;
};

}  // namespace modbus
