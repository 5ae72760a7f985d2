// The arithmetic instructions in hand-linked programs (constants, the instruction, a
// halt), each run on a channel's interpreter and on a plain machine: wrap-around,
// truncating division, the most negative value by -1, errors with their span, and the
// IEEE cases of the real types.

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "core/cmd_stack.h"
#include "instructions/operators/operator_test_support.h"

namespace Karsto {
namespace {

using test::Outcome;
using test::runProgram;

constexpr int64_t kMinLint = std::numeric_limits<int64_t>::min();
constexpr int64_t kMaxLint = std::numeric_limits<int64_t>::max();

// Runs the program on both kinds of machine; they must agree. The machines are made
// once: each run loads its program and resets.
Outcome runBoth(OperatorFamily family, TypeKind kind, uint64_t left, uint64_t right) {
    static StackmachineInterpreter interpreter;
    static Stackmachine plain;
    const Outcome a = runProgram(interpreter, family, kind, left, right);
    const Outcome b = runProgram(plain, family, kind, left, right);
    EXPECT_EQ(a.bits, b.bits);
    EXPECT_EQ(a.error, b.error);
    return a;
}

struct IntegerCase {
    OperatorFamily family;
    TypeKind kind;
    int64_t left;
    int64_t right;
    int64_t result; // compared in the kind's width
};

void expectIntegers(std::initializer_list<IntegerCase> cases) {
    for (const IntegerCase& c : cases) {
        const Outcome out = runBoth(c.family, c.kind, static_cast<uint64_t>(c.left),
                                    static_cast<uint64_t>(c.right));
        const std::string text(operatorFor(c.family, c.kind)->text);
        EXPECT_FALSE(out.error) << text << c.left << ", " << c.right << ": " << *out.error;
        EXPECT_EQ(out.bits, static_cast<uint64_t>(c.result) & widthMask(c.kind))
            << text << c.left << ", " << c.right;
    }
}

TEST(Arithmetic, IntegersWrapInTheirWidth) {
    using F = OperatorFamily;
    using K = TypeKind;
    expectIntegers({
        {F::Sub, K::Udint, 0, 1, 4294967295},
        {F::Add, K::Sint, 100, 100, -56},
        {F::Add, K::Usint, 200, 100, 44},
        {F::Sub, K::Uint, 0, 1, 65535},
        {F::Mul, K::Uint, 300, 300, 24464}, // 90000 overflows int were it computed there
        {F::Mul, K::Sint, 127, 2, -2},
        {F::Mul, K::Usint, 16, 16, 0},
        {F::Add, K::Dint, 2147483647, 1, -2147483648},
        {F::Add, K::Lint, kMaxLint, 1, kMinLint},
        {F::Add, K::Liti, kMaxLint, 1, kMinLint},
        {F::Sub, K::Lint, kMinLint, 1, kMaxLint},
        {F::Mul, K::Lint, 4294967296, 4294967297, 4294967296}, // the low 64 bits
        {F::Mul, K::Ulint, -1, -1, 1},
        {F::Mul, K::Dint, 65536, 65536, 0},
    });
}

TEST(Arithmetic, IntegerDivisionTruncatesTowardZero) {
    using F = OperatorFamily;
    using K = TypeKind;
    expectIntegers({
        {F::Div, K::Dint, -7, 2, -3},
        {F::Div, K::Dint, 7, -2, -3},
        {F::Mod, K::Dint, 7, 2, 1},
        {F::Mod, K::Dint, -7, 2, -1},
        {F::Mod, K::Dint, 7, -2, 1},
        {F::Mod, K::Dint, -7, -2, -1},
        {F::Div, K::Udint, 4294967295, 2, 2147483647}, // unsigned, not -1 / 2
        {F::Mod, K::Usint, 255, 10, 5},
        {F::Div, K::Ulint, -1, 3, 6148914691236517205},
    });
}

// The most negative value by -1: the quotient wraps back to it and the remainder is 0
// in every signed width; none of them may trap.
TEST(Arithmetic, MostNegativeValueByMinusOne) {
    using F = OperatorFamily;
    using K = TypeKind;
    expectIntegers({
        {F::Div, K::Sint, -128, -1, -128},
        {F::Mod, K::Sint, -128, -1, 0},
        {F::Div, K::Int, -32768, -1, -32768},
        {F::Mod, K::Int, -32768, -1, 0},
        {F::Div, K::Dint, -2147483648, -1, -2147483648},
        {F::Mod, K::Dint, -2147483648, -1, 0},
        {F::Div, K::Lint, kMinLint, -1, kMinLint},
        {F::Mod, K::Lint, kMinLint, -1, 0},
        {F::Div, K::Liti, kMinLint, -1, kMinLint},
        {F::Mod, K::Liti, kMinLint, -1, 0},
        {F::Mod, K::Lint, 9, -1, 0},
        {F::Div, K::Dint, 9, -1, -9},
    });
}

TEST(Arithmetic, ZeroDivisorRaisesWithTheInstructionsSpanAndPushesNothing) {
    SourcePosition begin, end;
    begin.file = end.file = "t.jyx";
    begin.line = end.line = 4;
    begin.column = 2;
    end.column = 7;
    const SourceSpan span(begin, end);
    struct ErrorCase {
        OperatorFamily family;
        TypeKind kind;
        uint64_t left;
        uint64_t right;
        const char* what;
    };
    const ErrorCase cases[] = {
        {OperatorFamily::Mod, TypeKind::Uint, 9, 0, "t.jyx: 4.2-4.7: Modulo by zero"},
        {OperatorFamily::Div, TypeKind::Lreal, f64(1.0), f64(-0.0),
         "t.jyx: 4.2-4.7: Division by zero"},
        {OperatorFamily::Div, TypeKind::Real, f32(1.0f), f32(0.0f),
         "t.jyx: 4.2-4.7: Division by zero"},
        {OperatorFamily::Div, TypeKind::Usint, 5, 0, "t.jyx: 4.2-4.7: Division by zero"},
        {OperatorFamily::Mod, TypeKind::Liti, 5, 0, "t.jyx: 4.2-4.7: Modulo by zero"},
    };
    for (const ErrorCase& c : cases) {
        StackmachineInterpreter interpreter;
        Stackmachine plain;
        for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
            std::string what;
            // runProgram checks that the stack pointer is back where it was before the
            // two constants were pushed.
            const Outcome out =
                runProgram(*machine, c.family, c.kind, c.left, c.right, span, &what);
            EXPECT_TRUE(out.error);
            EXPECT_EQ(what, c.what);
        }
    }
}

struct RealCase {
    OperatorFamily family;
    TypeKind kind;
    double left;
    double right;
    double result; // NaN: any NaN
};

void expectReals(std::initializer_list<RealCase> cases) {
    for (const RealCase& c : cases) {
        const bool single = c.kind == TypeKind::Real;
        const auto bits = [single](double x) {
            return single ? f32(static_cast<float>(x)) : f64(x);
        };
        const Outcome out = runBoth(c.family, c.kind, bits(c.left), bits(c.right));
        const std::string text(operatorFor(c.family, c.kind)->text);
        EXPECT_FALSE(out.error) << text << c.left << ", " << c.right;
        const double result = single ? static_cast<double>(std::bit_cast<float>(
                                           static_cast<uint32_t>(out.bits)))
                                     : std::bit_cast<double>(out.bits);
        if (std::isnan(c.result)) {
            EXPECT_TRUE(std::isnan(result))
                << text << c.left << ", " << c.right << " gave " << result;
        } else {
            EXPECT_EQ(out.bits, bits(c.result))
                << text << c.left << ", " << c.right << " gave " << result;
        }
    }
}

TEST(Arithmetic, RealsFollowIeeeWithoutErrors) {
    using F = OperatorFamily;
    using K = TypeKind;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expectReals({
        {F::Add, K::Real, 16777216.0, 1.0, 16777216.0}, // single precision: 2^24 + 1 rounds
        {F::Add, K::Lreal, 16777216.0, 1.0, 16777217.0},
        {F::Div, K::Lreal, 1.0, nan, nan},
        {F::Div, K::Lreal, 1.0, kInf, 0.0},
        {F::Div, K::Litr, -1.0, kInf, -0.0},
        {F::Mul, K::Real, 3.0e38, 10.0, kInf},
        {F::Mul, K::Lreal, 1e300, 1e300, kInf},
        {F::Sub, K::Lreal, kInf, kInf, nan},
        {F::Expt, K::Real, 2.0, 0.5, static_cast<double>(static_cast<float>(std::pow(2.0, 0.5)))},
        {F::Expt, K::Lreal, 2.0, 0.5, std::numbers::sqrt2},
        {F::Expt, K::Lreal, -8.0, 1.0 / 3.0, nan},
        {F::Expt, K::Litr, 0.0, -1.0, kInf},
        {F::Atan2, K::Lreal, 0.0, -1.0, std::numbers::pi},
        {F::Atan2, K::Lreal, -1.0, 0.0, -std::numbers::pi / 2},
        {F::Atan2, K::Lreal, 1.0, 0.0, std::numbers::pi / 2},
        {F::Atan2, K::Real, 1.0, 1.0, static_cast<double>(std::numbers::pi_v<float> / 4)},
    });
}

// A narrow result sets only its own bytes; the pop of its format reads only those, so a
// cell that held an LREAL before reads back correctly.
TEST(Arithmetic, NarrowResultOverAnLrealCell) {
    StackmachineInterpreter interpreter;
    Stackmachine plain;
    for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
        test::loadItems(*machine, {new CmdConstLreal(-1.0e300), new CmdConstLreal(-3.5),
                                   new CmdSpAdd(-2), new CmdConstUsint(200), new CmdConstUsint(100),
                                   test::newOperator(OperatorFamily::Add, TypeKind::Usint),
                                   new CmdHalt()});
        machine->reset();
        machine->run();
        EXPECT_EQ(machine->popU8(), 44);
    }
}

} // namespace
} // namespace Karsto
