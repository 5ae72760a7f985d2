// Values of the conversions from LREAL and REAL: the three truncations with their
// fixed results outside the range, rounding to REAL, and the two bit transfers.

#include "instructions/conversions/cast_test_support.h"

#include "core/constant_factory.h"
#include "core/type.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <string>

namespace Karsto {
namespace {

using K = TypeKind;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(CastFromLreal, TruncatesTowardZeroWithFixedResultsOutOfRange) {
    const CastCase cases[] = {
        {K::Lreal, K::Dint, f64(7.99), i64(7)},
        {K::Lreal, K::Dint, f64(-7.99), i64(-7)},
        {K::Lreal, K::Dint, f64(-0.5), i64(0)},
        {K::Lreal, K::Dint, f64(2147483647.9), i64(2147483647)},
        {K::Lreal, K::Dint, f64(2147483648.0), i64(-kTwo31)},
        {K::Lreal, K::Dint, f64(-2147483648.9), i64(-kTwo31)},
        {K::Lreal, K::Usint, f64(255.9), u64(255)},
        {K::Lreal, K::Usint, f64(256.0), u64(0)},
        {K::Lreal, K::Usint, f64(-1.0), u64(255)},
        {K::Lreal, K::Sint, f64(-129.0), i64(127)},
        {K::Lreal, K::Sint, f64(200.0), i64(-56)},
        {K::Lreal, K::Sint, f64(128.0), i64(-128)},
        {K::Lreal, K::Uint, f64(-1.0), u64(65535)},
        {K::Lreal, K::Uint, f64(65536.5), u64(0)},
        // Fits 64 but not 32 bits: wraps on the way to UDINT, fails for the others.
        {K::Lreal, K::Dint, f64(3.0e9), i64(-kTwo31)},
        {K::Lreal, K::Udint, f64(3.0e9), u64(3000000000u)},
        {K::Lreal, K::Uint, f64(3.0e9), u64(0)},
        {K::Lreal, K::Udint, f64(1.0e10), u64(1410065408u)},
        {K::Lreal, K::Sint, f64(1.0e10), i64(0)},
        {K::Lreal, K::Udint, f64(-1.0), u64(4294967295u)},
        {K::Lreal, K::Udint, f64(4294967296.0), u64(0)},
        {K::Lreal, K::Ulint, f64(1.5e19), u64(15000000000000000000u)},
        {K::Lreal, K::Lint, f64(1.5e19), i64(kInt64Min)},
        {K::Lreal, K::Liti, f64(1.5e19), i64(kInt64Min)},
        {K::Lreal, K::Udint, f64(1.5e19), u64(0)},
        {K::Lreal, K::Lint, f64(9223372036854775808.0), i64(kInt64Min)},
        {K::Lreal, K::Ulint, f64(9223372036854775808.0), u64(kTwo63)},
        {K::Lreal, K::Ulint, f64(-1.0), u64(~uint64_t{0})},
        {K::Lreal, K::Ulint, f64(2.0e19), u64(kTwo63)},
        {K::Lreal, K::Liti, f64(-2.75), i64(-2)},
        {K::Lreal, K::Ulint, f64(kInf), u64(kTwo63)},
        {K::Lreal, K::Ulint, f64(-kInf), u64(kTwo63)},
        {K::Lreal, K::Udint, f64(-kInf), u64(0)},
        {K::Lreal, K::Dint, f64(-kInf), i64(-kTwo31)},
        {K::Lreal, K::Int, f64(kNan), i64(0)},
        {K::Lreal, K::Dint, f64(kNan), i64(-kTwo31)},
        {K::Lreal, K::Usint, f64(kNan), u64(0)},
        {K::Lreal, K::Udint, f64(kNan), u64(0)},
        {K::Lreal, K::Lint, f64(kNan), i64(kInt64Min)},
        {K::Lreal, K::Ulint, f64(kNan), u64(kTwo63)},
    };
    expectCases(cases);
}

TEST(CastFromLreal, RoundsToRealAndKeepsOtherRealsAsTheyAre) {
    constexpr float kFloatMax = std::numeric_limits<float>::max();
    const CastCase cases[] = {
        {K::Lreal, K::Real, f64(1.0e300), f32(kInfF)},
        {K::Lreal, K::Real, f64(-1.0e39), f32(-kInfF)},
        {K::Lreal, K::Real, f64(16777217.0), f32(16777216.0f)},
        {K::Lreal, K::Real, f64(0.1), f32(0.1f)},
        // Beyond the largest float: below the midpoint to 2^128 it stays the largest
        // float, from the midpoint (a tie to the even 2^128) it overflows.
        {K::Lreal, K::Real, f64(0x1.fffffefffffffp+127), f32(kFloatMax)},
        {K::Lreal, K::Real, f64(-0x1.fffffefffffffp+127), f32(-kFloatMax)},
        {K::Lreal, K::Real, f64(0x1.ffffffp+127), f32(kInfF)},
        {K::Lreal, K::Real, f64(kNan), f32(std::numeric_limits<float>::quiet_NaN())},
        {K::Lreal, K::Litr, kNegativeNanBits, kNegativeNanBits},
        {K::Lreal, K::Lword, f64(-2.0), u64(0xC000000000000000u)},
        {K::Lreal, K::Lword, f64(-0.0), u64(kTwo63)},
    };
    expectCases(cases);
}

TEST(CastFromReal, TruncatesThroughTheSameRules) {
    const CastCase cases[] = {
        {K::Real, K::Udint, f32(6.0e9f), u64(1705032704u)},
        {K::Real, K::Dint, f32(6.0e9f), i64(-kTwo31)},
        {K::Real, K::Usint, f32(6.0e9f), u64(0)},
        {K::Real, K::Dint, f32(3.5f), i64(3)},
        {K::Real, K::Sint, f32(-3.5f), i64(-3)},
        {K::Real, K::Int, f32(-32768.9f), i64(-32768)},
        {K::Real, K::Uint, f32(65535.5f), u64(65535)},
        {K::Real, K::Lint, f32(3.0e38f), i64(kInt64Min)},
        {K::Real, K::Ulint, f32(3.0e38f), u64(kTwo63)},
        {K::Real, K::Ulint, f32(1.0e19f), u64(9999999980506447872u)},
        {K::Real, K::Udint, f32(3.0e38f), u64(0)},
        {K::Real, K::Liti, f32(-2.5f), i64(-2)},
        {K::Real, K::Dint, f32(kInfF), i64(-kTwo31)},
        {K::Real, K::Lreal, f32(0.1f), f64(static_cast<double>(0.1f))},
        {K::Real, K::Litr, f32(0.1f), f64(static_cast<double>(0.1f))},
        {K::Real, K::Lreal, f32(-kInfF), f64(-kInf)},
        {K::Real, K::Dword, f32(-1.0f), u64(0xBF800000u)},
        {K::Real, K::Dword, f32(1.0f), u64(0x3F800000u)},
    };
    expectCases(cases);
}

// Truncation never depends on the floating-point rounding mode, and does not change it.
TEST(CastFromLreal, TruncationIgnoresAndKeepsTheRoundingMode) {
    const CastCase cases[] = {
        {K::Lreal, K::Dint, f64(7.99), i64(7)},
        {K::Lreal, K::Dint, f64(-7.99), i64(-7)},
        {K::Lreal, K::Sint, f64(-2.9), i64(-2)},
        {K::Lreal, K::Lint, f64(-2.9), i64(-2)},
        {K::Lreal, K::Ulint, f64(1.0e19 + 4096.0), u64(10000000000000004096u)},
        {K::Lreal, K::Udint, f64(4294967295.9), u64(4294967295u)},
        {K::Real, K::Dint, f32(-7.75f), i64(-7)},
        {K::Real, K::Ulint, f32(2.5f), u64(2)},
    };
    const int saved = std::fegetround();
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const CastCase& c : cases) {
            SCOPED_TRACE(castText(c.from, c.to));
            const uint64_t result = runCast(c.from, c.to, c.in);
            EXPECT_EQ(std::fegetround(), mode);
            EXPECT_EQ(result, c.out & widthMask(c.to));
        }
    }
    std::fesetround(saved);
}

// The bit transfers move the whole cell as U64: LREAL to LWORD and back keeps every
// bit, NaN payloads included; REAL to DWORD and back does not give the REAL again,
// since DWORD to REAL converts the number.
TEST(CastFromLreal, BitTransfersRoundTrip) {
    constexpr uint64_t kPayloadNan = 0x7FF8000000000123u;
    const uint64_t asLword = runCast(K::Lreal, K::Lword, kPayloadNan);
    EXPECT_EQ(asLword, kPayloadNan);
    EXPECT_EQ(runCast(K::Lword, K::Lreal, asLword), kPayloadNan);

    const uint64_t asDword = runCast(K::Real, K::Dword, f32(1.0f));
    EXPECT_EQ(runCast(K::Dword, K::Real, asDword), f32(1065353216.0f));
}

// A constant of a kind made from a real, run on the shared machine: its bits.
uint64_t realConstantBits(TypeKind kind, double x) {
    const Type* type = nullptr;
    for (const TypeSimple* candidate : elementaryTypes()) {
        if (candidate->kind() == kind) {
            type = candidate;
            break;
        }
    }
    if (type == nullptr) {
        ADD_FAILURE() << "no elementary type of kind " << kindIndex(kind);
        return 0;
    }
    const Code code = makeRealConstant(x, type, SourceSpan());
    Stackmachine& machine = sharedMachine();
    cmdOf(code).execute(machine);
    return popCell(machine, cellOf(kind));
}

// Conversions and compile-time constants truncate through one implementation, so a
// real converted at run time equals the constant made from it for every integer
// target, REAL and the literal kinds (LWORD differs by design: the constant converts
// the number, the instruction copies the bits).
TEST(CastFromLreal, AgreesWithRealConstants) {
    createElementaryTypes();
    const double values[] = {0.0,    -0.0,    7.99,   -7.99,   255.9,   -129.0, 3.0e9,
                             1.0e10, -1.0,    1.5e19, 2.0e19,  -1.0e19, 1.0e300,
                             kInf,   -kInf,   kNan,   9223372036854775808.0};
    const TypeKind targets[] = {K::Real, K::Sint,  K::Int,   K::Dint, K::Lint, K::Usint,
                                K::Uint, K::Udint, K::Ulint, K::Liti, K::Litr};
    for (const TypeKind to : targets) {
        for (const double x : values) {
            SCOPED_TRACE(castText(K::Lreal, to) + std::to_string(x));
            EXPECT_EQ(runCast(K::Lreal, to, f64(x)), realConstantBits(to, x));
        }
    }
    destroyElementaryTypes();
}

} // namespace
} // namespace Karsto
