// The bitwise and Boolean instructions on both kinds of machine: BOOL as stored bytes
// (And, Or and Xor combine them bit by bit and push 0 or 1; Inv tests the whole byte),
// the bit strings in their width, the integer literal as 64 bits.

#include <cstdint>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "instructions/operators/operator_test_support.h"

namespace Karsto {
namespace {

using F = OperatorFamily;
using K = TypeKind;

// Runs the class on operand cells written as raw bytes of the kind's width (a BOOL cell
// may hold any byte) on both machines; returns the result as the kind's pop reads it.
std::vector<uint64_t> resultsOnBoth(OperatorFamily family, TypeKind kind,
                                    std::initializer_list<uint64_t> operands) {
    static StackmachineInterpreter interpreter; // made once: each use resets it
    static Stackmachine plain;
    const Code code(test::newOperator(family, kind));
    std::vector<uint64_t> results;
    for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
        machine->reset();
        const int64_t before = machine->getSp();
        for (const uint64_t bits : operands) {
            if (kind == TypeKind::Bool) {
                machine->pushU8(static_cast<uint8_t>(bits)); // the byte as it is
            } else {
                pushCell(*machine, cellOf(kind), bits);
            }
        }
        test::cmdOf(code).execute(*machine);
        EXPECT_EQ(machine->getSp(), before + 1);
        results.push_back(popCell(*machine, cellOf(kind)));
    }
    return results;
}

struct LogicCase {
    OperatorFamily family;
    TypeKind kind;
    std::vector<uint64_t> operands;
    uint64_t expected;
};

TEST(LogicInstructions, BoolBytesAndBitStrings) {
    const LogicCase cases[] = {
        {F::Inv, K::Bool, {1}, 0},
        {F::Inv, K::Bool, {2}, 0}, // a byte that is not 0 is TRUE as a whole
        {F::Inv, K::Bool, {0}, 1},
        {F::And, K::Bool, {1, 0}, 0},
        {F::Or, K::Bool, {0, 0}, 0},
        {F::Xor, K::Bool, {1, 1}, 0},
        {F::Or, K::Bool, {1, 0}, 1},
        {F::And, K::Bool, {2, 1}, 0}, // the bytes combine bit by bit
        {F::Or, K::Bool, {2, 0}, 1},  // and the push writes 0 or 1
        {F::Xor, K::Bool, {3, 1}, 1},
        {F::Inv, K::Byte, {0x00}, 0xFF},
        {F::Inv, K::Byte, {0x0F}, 0xF0},
        {F::Inv, K::Word, {0}, 0xFFFF},
        {F::Inv, K::Dword, {0xFFFF0000}, 0x0000FFFF},
        {F::Inv, K::Lword, {0}, ~uint64_t{0}},
        {F::Xor, K::Word, {0xFFFF, 0x00FF}, 0xFF00},
        {F::And, K::Dword, {0xF0F0F0F0, 0xFF00FF00}, 0xF000F000},
        {F::Or, K::Byte, {0x81, 0x18}, 0x99},
        {F::Or, K::Liti, {i64(-1), 0}, i64(-1)},
        {F::And, K::Liti, {i64(-1), 0x7FFFFFFFFFFFFFFF}, 0x7FFFFFFFFFFFFFFF},
        {F::Xor, K::Liti, {0x8000000000000001, 0xFFFFFFFF00000001}, 0x7FFFFFFF00000000},
        {F::Xor, K::Lword, {0x8000000000000001, 0xFFFFFFFF00000001}, 0x7FFFFFFF00000000},
    };
    for (const LogicCase& c : cases) {
        std::vector<uint64_t> results;
        if (c.operands.size() == 1) {
            results = resultsOnBoth(c.family, c.kind, {c.operands[0]});
        } else {
            results = resultsOnBoth(c.family, c.kind, {c.operands[0], c.operands[1]});
        }
        for (const uint64_t result : results) {
            EXPECT_EQ(result, c.expected)
                << operatorFor(c.family, c.kind)->text << "of 0x" << std::hex << c.operands[0];
        }
    }
}

} // namespace
} // namespace Karsto
