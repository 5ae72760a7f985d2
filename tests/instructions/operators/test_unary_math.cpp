// The one-operand mathematical instructions in hand-linked programs (a constant, the
// instruction, a halt), each run on a channel's interpreter and on a plain machine:
// integer ABS and NEG at the ends of every width, the signs of zero and NaN, the
// library functions' IEEE values without errors, and rounding half away from zero.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "core/cmd_stack.h"
#include "instructions/operators/operator_test_support.h"

namespace Karsto {
namespace {

using test::Outcome;

constexpr int64_t kLintMin = std::numeric_limits<int64_t>::min();
const double kNan = std::numeric_limits<double>::quiet_NaN();

// Runs "constant; the instruction; Halt" on both kinds of machine; they must agree and
// neither may fail. The machines are made once: each run loads its program and resets.
uint64_t runUnary(OperatorFamily family, TypeKind kind, uint64_t operand) {
    static StackmachineInterpreter interpreter;
    static Stackmachine plain;
    const Outcome a = test::runProgram(interpreter, family, kind, {operand});
    const Outcome b = test::runProgram(plain, family, kind, {operand});
    const std::string text(operatorFor(family, kind)->text);
    EXPECT_FALSE(a.error) << text << a.error.value_or("");
    EXPECT_FALSE(b.error) << text << b.error.value_or("");
    EXPECT_EQ(a.bits, b.bits) << text;
    return a.bits;
}

TEST(UnaryMath, IntegerAbsAndNegWrapInTheirWidth) {
    using F = OperatorFamily;
    using K = TypeKind;
    struct Case {
        F family;
        K kind;
        int64_t operand;
        int64_t result; // compared in the kind's width
    };
    const Case cases[] = {
        {F::Abs, K::Int, -32768, -32768},
        {F::Abs, K::Sint, -128, -128},
        {F::Abs, K::Dint, -2147483648, -2147483648},
        {F::Abs, K::Lint, kLintMin, kLintMin},
        {F::Abs, K::Liti, kLintMin, kLintMin},
        {F::Abs, K::Dint, -7, 7},
        {F::Abs, K::Sint, 5, 5},
        {F::Abs, K::Udint, 4000000000, 4000000000},
        {F::Abs, K::Usint, 200, 200},
        {F::Abs, K::Ulint, -1, -1},
        {F::Neg, K::Udint, 1, 4294967295},
        {F::Neg, K::Usint, 1, 255},
        {F::Neg, K::Sint, -128, -128},
        {F::Neg, K::Ulint, 0, 0},
        {F::Neg, K::Uint, 0, 0},
        {F::Neg, K::Int, 5, -5},
        {F::Neg, K::Lint, kLintMin, kLintMin},
        {F::Neg, K::Liti, -9, 9},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runUnary(c.family, c.kind, static_cast<uint64_t>(c.operand)),
                  static_cast<uint64_t>(c.result) & widthMask(c.kind))
            << operatorFor(c.family, c.kind)->text << c.operand;
    }
}

// The result's bits: the sign of a zero and a NaN's sign and payload matter here.
TEST(UnaryMath, RealAbsAndNegKeepTheSignRules) {
    using F = OperatorFamily;
    const uint64_t negativeZero = f64(-0.0);
    EXPECT_EQ(runUnary(F::Abs, TypeKind::Lreal, negativeZero), negativeZero);
    EXPECT_EQ(runUnary(F::Abs, TypeKind::Litr, negativeZero), negativeZero);
    EXPECT_EQ(runUnary(F::Abs, TypeKind::Real, f32(-0.0f)), f32(-0.0f));
    EXPECT_EQ(runUnary(F::Abs, TypeKind::Lreal, kNegativeNanBits), kNegativeNanBits);
    EXPECT_EQ(runUnary(F::Abs, TypeKind::Real, f32(-3.5f)), f32(3.5f));
    EXPECT_EQ(runUnary(F::Abs, TypeKind::Lreal, f64(-kInf)), f64(kInf));
    EXPECT_EQ(runUnary(F::Neg, TypeKind::Lreal, f64(0.0)), f64(0.0));
    EXPECT_EQ(runUnary(F::Neg, TypeKind::Lreal, negativeZero), f64(0.0));
    EXPECT_EQ(runUnary(F::Neg, TypeKind::Real, f32(-0.0f)), f32(0.0f));
    EXPECT_EQ(runUnary(F::Neg, TypeKind::Lreal, f64(-kInf)), f64(kInf));
    EXPECT_EQ(runUnary(F::Neg, TypeKind::Litr, f64(2.5)), f64(-2.5));
    EXPECT_TRUE(std::isnan(std::bit_cast<double>(runUnary(F::Neg, TypeKind::Lreal, f64(kNan)))));
}

double lrealResult(OperatorFamily family, double operand) {
    return std::bit_cast<double>(runUnary(family, TypeKind::Lreal, f64(operand)));
}

// Domain errors give the function's IEEE value and raise nothing; the program halts
// normally after them (runUnary checks there was no error and the result is there).
TEST(UnaryMath, LibraryFunctionsGiveTheirIeeeValues) {
    using F = OperatorFamily;
    EXPECT_TRUE(std::isnan(lrealResult(F::Sqrt, -4.0)));
    EXPECT_TRUE(std::isnan(lrealResult(F::Sqrt, -1.0)));
    EXPECT_EQ(lrealResult(F::Sqrt, 2.25), 1.5);
    EXPECT_EQ(lrealResult(F::Ln, 0.0), -kInf);
    EXPECT_TRUE(std::isnan(lrealResult(F::Ln, -1.0)));
    EXPECT_TRUE(std::isnan(lrealResult(F::Acos, 2.0)));
    EXPECT_TRUE(std::isnan(lrealResult(F::Asin, 2.0)));
    EXPECT_EQ(lrealResult(F::Log, 1000.0), 3.0);
    EXPECT_EQ(lrealResult(F::Log, 100.0), 2.0);
    EXPECT_NEAR(lrealResult(F::Ln, 100.0), 4.60517, 1e-5);
    EXPECT_EQ(lrealResult(F::Exp, 1000.0), kInf);
    EXPECT_EQ(lrealResult(F::Exp, -1000.0), 0.0);
    EXPECT_EQ(lrealResult(F::Exp, 0.0), 1.0);
    EXPECT_EQ(lrealResult(F::Acos, -1.0), std::acos(-1.0));
    EXPECT_EQ(lrealResult(F::Atan, kInf), std::atan(kInf));
    EXPECT_TRUE(std::isnan(lrealResult(F::Sin, kNan)));
}

// A REAL operand widens to double, the double function runs and the result rounds once
// to float; a single-precision function differs from that for some of these operands.
TEST(UnaryMath, RealOperandsComputeInDoubleAndRoundOnce) {
    const OperatorFamily families[] = {OperatorFamily::Cos, OperatorFamily::Sin,
                                       OperatorFamily::Tan, OperatorFamily::Exp,
                                       OperatorFamily::Ln};
    const auto reference = [](OperatorFamily family, float x) {
        const double wide = static_cast<double>(x);
        switch (family) {
        case OperatorFamily::Cos: return static_cast<float>(std::cos(wide));
        case OperatorFamily::Sin: return static_cast<float>(std::sin(wide));
        case OperatorFamily::Tan: return static_cast<float>(std::tan(wide));
        case OperatorFamily::Exp: return static_cast<float>(std::exp(wide));
        default: return static_cast<float>(std::log(wide));
        }
    };
    for (const OperatorFamily family : families) {
        for (int i = 1; i <= 200; ++i) {
            const float x = static_cast<float>(i) * 0.37f + 0.001f * static_cast<float>(i * i);
            EXPECT_EQ(runUnary(family, TypeKind::Real, f32(x)), f32(reference(family, x)))
                << operatorFor(family, TypeKind::Real)->text << x;
        }
    }
}

TEST(UnaryMath, RoundHalvesAwayFromZero) {
    using F = OperatorFamily;
    const std::pair<double, double> cases[] = {
        {2.5, 3.0},   {-2.5, -3.0}, {2.4999, 2.0}, {0.49999, 0.0},  {0.49999999999999994, 0.0},
        {-0.5, -1.0}, {1.5, 2.0},   {-1e300, -1e300}, {4503599627370497.0, 4503599627370497.0},
        {kInf, kInf}, {-kInf, -kInf}};
    for (const auto& [operand, result] : cases) {
        EXPECT_EQ(runUnary(F::Round, TypeKind::Lreal, f64(operand)), f64(result)) << operand;
        EXPECT_EQ(runUnary(F::Round, TypeKind::Litr, f64(operand)), f64(result)) << operand;
    }
    EXPECT_EQ(runUnary(F::Round, TypeKind::Lreal, kNegativeNanBits), kNegativeNanBits);
    EXPECT_EQ(runUnary(F::Round, TypeKind::Real, f32(0.5f)), f32(1.0f));
    EXPECT_EQ(runUnary(F::Round, TypeKind::Real, f32(-2.5f)), f32(-3.0f));
    EXPECT_EQ(runUnary(F::Round, TypeKind::Real, f32(8388609.0f)), f32(8388609.0f));
}

// ROUND of a REAL writes an F32 cell: over a cell that held an LREAL, the F32 pop reads
// 1.0 while the cell's other bytes keep what the LREAL left there.
TEST(UnaryMath, RoundOfARealStaysAnF32Cell) {
    StackmachineInterpreter interpreter;
    Stackmachine plain;
    for (Stackmachine* machine : {static_cast<Stackmachine*>(&interpreter), &plain}) {
        test::loadItems(*machine, {new CmdConstLreal(-1.0e300), new CmdSpAdd(-1),
                                   new CmdConstReal(0.5f),
                                   test::newOperator(OperatorFamily::Round, TypeKind::Real),
                                   new CmdHalt()});
        machine->reset();
        machine->run();
        const int64_t cell = machine->getSp() - 1;
        EXPECT_EQ(machine->loadU32(cell), std::bit_cast<uint32_t>(1.0f));
        EXPECT_EQ(machine->loadU64(cell) >> 32, f64(-1.0e300) >> 32);
        EXPECT_EQ(machine->popF32(), 1.0f);
    }
}

} // namespace
} // namespace Karsto
