// Values of the conversions whose source is an integer of some kind: enumerations,
// the literal kinds, the signed and the unsigned integers.

#include "instructions/conversions/cast_test_support.h"

#include <gtest/gtest.h>

namespace Karsto {
namespace {

using K = TypeKind;

constexpr int64_t kTwo53 = int64_t{1} << 53;
constexpr uint64_t kAllOnes = ~uint64_t{0};

// An enumeration value converts like a LINT of the same number, all 64 bits counting.
TEST(CastFromEnum, WrapsTestsAndRoundsLikeLint) {
    const CastCase cases[] = {
        {K::Enum, K::Usint, i64(-2), u64(254)},
        {K::Enum, K::Uint, i64(-2), u64(65534)},
        {K::Enum, K::Ulint, i64(-2), u64(18446744073709551614u)},
        {K::Enum, K::Sint, i64(-2), i64(-2)},
        {K::Enum, K::Bool, i64(-2), u64(1)},
        {K::Enum, K::Sint, i64(1000), i64(-24)},
        {K::Enum, K::Usint, i64(1000), u64(232)},
        {K::Enum, K::Word, i64(65536), u64(0)},
        {K::Enum, K::Int, i64(65536), i64(0)},
        {K::Enum, K::Dint, i64(65536), i64(65536)},
        {K::Enum, K::Bool, i64(65536), u64(1)},
        {K::Enum, K::Bool, i64(0), u64(0)},
        {K::Enum, K::Bool, i64(int64_t{1} << 32), u64(1)},
        {K::Enum, K::Real, i64(16777219), f32(16777220.0f)},
        {K::Enum, K::Lreal, i64(16777219), f64(16777219.0)},
        {K::Enum, K::Litr, i64(-7), f64(-7.0)},
        {K::Enum, K::Real, i64((1 << 24) + 1), f32(16777216.0f)},
        {K::Enum, K::Lint, i64(-1), i64(-1)},
        {K::Enum, K::Liti, i64(-1), i64(-1)},
        {K::Enum, K::Udint, i64(-1), u64(4294967295u)},
        {K::Enum, K::Lword, i64(-1), u64(kAllOnes)},
        {K::Enum, K::Byte, i64(256), u64(0)},
        {K::Enum, K::Word, i64(256), u64(256)},
        {K::Enum, K::Dword, i64(int64_t{1} << 32), u64(0)},
        {K::Enum, K::Int, i64(40000), i64(-25536)},
        {K::Enum, K::Uint, i64(40000), u64(40000)},
    };
    expectCases(cases);
}

TEST(CastFromLiterals, IntegerLiteralActsAsLint) {
    const CastCase cases[] = {
        {K::Liti, K::Word, i64(-1), u64(65535)},
        {K::Liti, K::Ulint, i64(-1), u64(kAllOnes)},
        {K::Liti, K::Lword, i64(-1), u64(kAllOnes)},
        {K::Liti, K::Usint, i64(-1), u64(255)},
        {K::Liti, K::Udint, i64(-1), u64(4294967295u)},
        {K::Liti, K::Sint, i64(300), i64(44)},
        {K::Liti, K::Usint, i64(300), u64(44)},
        {K::Liti, K::Byte, i64(300), u64(0x2C)},
        {K::Liti, K::Dint, i64(kTwo31), i64(-kTwo31)},
        {K::Liti, K::Int, i64(70000), i64(4464)},
        {K::Liti, K::Uint, i64(70000), u64(4464)},
        {K::Liti, K::Udint, i64(int64_t{1} << 32), u64(0)},
        {K::Liti, K::Dword, i64(int64_t{1} << 40), u64(0)},
        {K::Liti, K::Lint, i64(kInt64Min), i64(kInt64Min)},
        // BOOL looks at all 64 bits, not at the low byte.
        {K::Liti, K::Bool, i64(int64_t{1} << 40), u64(1)},
        {K::Liti, K::Bool, i64(256), u64(1)},
        {K::Liti, K::Bool, i64(2), u64(1)},
        {K::Liti, K::Bool, i64(kInt64Min), u64(1)},
        {K::Liti, K::Bool, i64(0), u64(0)},
        {K::Liti, K::Lreal, i64(kTwo53 + 1), f64(9007199254740992.0)},
        {K::Liti, K::Litr, i64(kTwo53 + 1), f64(9007199254740992.0)},
        // Two roundings: the LREAL step gives 2^53 + 2^29, a tie the REAL step rounds
        // to even; rounding the integer once would give 2^53 + 2^30.
        {K::Liti, K::Real, i64(kTwo53 + (1 << 29) + 1), f32(9007199254740992.0f)},
        {K::Liti, K::Real, i64(kInt64Min), f32(-9223372036854775808.0f)},
    };
    expectCases(cases);
}

TEST(CastFromLiterals, RealLiteralActsAsLreal) {
    const CastCase cases[] = {
        {K::Litr, K::Lreal, f64(0.1), f64(0.1)},
        {K::Litr, K::Lreal, kNegativeNanBits, kNegativeNanBits},
        {K::Litr, K::Real, f64(0.1), f32(0.1f)},
        {K::Litr, K::Real, f64(1.0e-46), f32(0.0f)},
        {K::Litr, K::Real, f64(-1.0e-50), f32(-0.0f)},
        {K::Litr, K::Real, f64(3.0e-40), f32(3.0e-40f)}, // subnormal, not zero
        {K::Litr, K::Real, f64(1.0e39), f32(kInfF)},
        {K::Litr, K::Real, f64(-1.0e39), f32(-kInfF)},
        {K::Litr, K::Real, f64(-kInf), f32(-kInfF)},
    };
    expectCases(cases);
    EXPECT_NE(runCast(K::Litr, K::Real, f64(3.0e-40)), 0u);
}

// Narrowing drops high bits, signed targets read two's complement, and a signed source
// is sign-extended into every wider target, unsigned and bit strings included.
TEST(CastFromSigned, WrapAndSignExtend) {
    const CastCase cases[] = {
        {K::Lint, K::Int, i64(70000), i64(4464)},
        {K::Lint, K::Sint, i64(-300), i64(-44)},
        {K::Lint, K::Sint, i64(-200), i64(56)},
        {K::Lint, K::Sint, i64(128), i64(-128)},
        {K::Lint, K::Udint, i64((int64_t{1} << 40) + 7), u64(7)},
        {K::Lint, K::Dword, i64((int64_t{1} << 40) + 7), u64(7)},
        {K::Lint, K::Dint, i64(int64_t{1} << 32), i64(0)},
        {K::Lint, K::Udint, i64(int64_t{1} << 32), u64(0)},
        {K::Lint, K::Dint, i64(kTwo31), i64(-kTwo31)},
        {K::Lint, K::Ulint, i64(-1), u64(kAllOnes)},
        {K::Lint, K::Lword, i64(-1), u64(kAllOnes)},
        {K::Lint, K::Liti, i64(kInt64Min), i64(kInt64Min)},
        {K::Dint, K::Uint, i64(-2), u64(65534)},
        {K::Dint, K::Word, i64(-2), u64(65534)},
        {K::Dint, K::Ulint, i64(-2), u64(18446744073709551614u)},
        {K::Dint, K::Lword, i64(-2), u64(0xFFFFFFFFFFFFFFFEu)},
        {K::Dint, K::Udint, i64(-1), u64(4294967295u)},
        {K::Dint, K::Lint, i64(-kTwo31), i64(-kTwo31)},
        {K::Dint, K::Liti, i64(-5), i64(-5)},
        {K::Dint, K::Int, i64(70000), i64(4464)},
        {K::Int, K::Udint, i64(-2), u64(4294967294u)},
        {K::Int, K::Dword, i64(-2), u64(0xFFFFFFFEu)},
        {K::Int, K::Ulint, i64(-2), u64(18446744073709551614u)},
        {K::Int, K::Uint, i64(-2), u64(65534)},
        {K::Int, K::Sint, i64(-32768), i64(0)},
        {K::Int, K::Sint, i64(255), i64(-1)},
        {K::Int, K::Dint, i64(-32768), i64(-32768)},
        {K::Sint, K::Word, i64(-1), u64(0xFFFF)},
        {K::Sint, K::Byte, i64(-1), u64(255)},
        {K::Sint, K::Ulint, i64(-1), u64(kAllOnes)},
        {K::Sint, K::Usint, i64(-128), u64(128)},
        {K::Sint, K::Uint, i64(-128), u64(65408)},
        {K::Sint, K::Word, i64(-128), u64(0xFF80)},
        {K::Sint, K::Lint, i64(-128), i64(-128)},
    };
    expectCases(cases);
}

TEST(CastFromSigned, ToRealsRoundOnceExceptLintToReal) {
    const CastCase cases[] = {
        {K::Dint, K::Real, i64(16777219), f32(16777220.0f)},
        {K::Dint, K::Real, i64((1 << 24) + 1), f32(16777216.0f)},
        {K::Dint, K::Real, i64(2147483647), f32(2147483648.0f)},
        {K::Dint, K::Lreal, i64(2147483647), f64(2147483647.0)},
        {K::Dint, K::Litr, i64(-kTwo31), f64(-2147483648.0)},
        {K::Int, K::Real, i64(-32768), f32(-32768.0f)},
        {K::Sint, K::Litr, i64(-1), f64(-1.0)},
        {K::Lint, K::Lreal, i64(kTwo53 + 1), f64(9007199254740992.0)},
        {K::Lint, K::Lreal, i64(INT64_MAX), f64(9223372036854775808.0)},
        {K::Lint, K::Lreal, i64(kInt64Min), f64(-9223372036854775808.0)},
        {K::Lint, K::Litr, i64(kTwo53 + 3), f64(9007199254740996.0)},
        {K::Lint, K::Real, i64(kTwo53 + (1 << 29) + 1), f32(9007199254740992.0f)},
        {K::Lint, K::Real, i64(-(kTwo53 + (1 << 29) + 1)), f32(-9007199254740992.0f)},
    };
    expectCases(cases);
}

// An unsigned source is never negative: a set top bit stays a value, also in wider
// signed targets and in reals.
TEST(CastFromUnsigned, WrapAndZeroExtend) {
    const CastCase cases[] = {
        {K::Udint, K::Lint, u64(2147483648u), i64(2147483648)},
        {K::Udint, K::Dint, u64(2147483648u), i64(-kTwo31)},
        {K::Udint, K::Dint, u64(4294967295u), i64(-1)},
        {K::Udint, K::Ulint, u64(4294967295u), u64(4294967295u)},
        {K::Uint, K::Int, u64(65535), i64(-1)},
        {K::Uint, K::Dint, u64(65535), i64(65535)},
        {K::Uint, K::Sint, u64(40000), i64(64)},
        {K::Uint, K::Usint, u64(40000), u64(64)},
        {K::Uint, K::Lint, u64(65534), i64(65534)},
        {K::Usint, K::Sint, u64(200), i64(-56)},
        {K::Usint, K::Int, u64(200), i64(200)},
        {K::Usint, K::Word, u64(200), u64(200)},
        {K::Usint, K::Liti, u64(255), i64(255)},
        {K::Usint, K::Lword, u64(255), u64(255)},
        {K::Ulint, K::Lint, u64(kTwo63), i64(kInt64Min)},
        {K::Ulint, K::Liti, u64(kTwo63), i64(kInt64Min)},
        {K::Ulint, K::Udint, u64(4294967301u), u64(5)},
        {K::Ulint, K::Dword, u64(4294967301u), u64(5)},
        {K::Ulint, K::Usint, u64(300), u64(44)},
        {K::Ulint, K::Sint, u64(300), i64(44)},
        {K::Ulint, K::Sint, u64(200), i64(-56)},
        {K::Ulint, K::Lint, u64(kAllOnes), i64(-1)},
        {K::Ulint, K::Lword, u64(kAllOnes), u64(kAllOnes)},
    };
    expectCases(cases);
}

TEST(CastFromUnsigned, ToRealsTakeTheUnsignedValue) {
    const CastCase cases[] = {
        {K::Ulint, K::Lreal, u64(kTwo63), f64(9223372036854775808.0)},
        {K::Ulint, K::Litr, u64(kTwo63), f64(9223372036854775808.0)},
        {K::Ulint, K::Lreal, u64(9007199254740993u), f64(9007199254740992.0)},
        {K::Ulint, K::Lreal, u64(kAllOnes), f64(18446744073709551616.0)},
        {K::Ulint, K::Real, u64(kAllOnes), f32(18446744073709551616.0f)},
        // Two roundings: 2^63 + 2^39 + 1 becomes the LREAL 2^63 + 2^39, a tie between
        // two REALs that goes to the even 2^63; one rounding would give 2^63 + 2^40.
        {K::Ulint, K::Real, u64(9223372586610589697u), f32(9223372036854775808.0f)},
        {K::Ulint, K::Real, u64(1152921573326323713u), f32(1152921504606846976.0f)},
        {K::Udint, K::Real, u64(4294967295u), f32(4294967296.0f)},
        {K::Udint, K::Real, u64(16777217), f32(16777216.0f)},
        {K::Udint, K::Lreal, u64(4294967295u), f64(4294967295.0)},
        {K::Uint, K::Real, u64(65535), f32(65535.0f)},
        {K::Usint, K::Lreal, u64(255), f64(255.0)},
    };
    expectCases(cases);
}

// A narrowing conversion writes only the target's width and leaves the rest of the
// cell as it was.
TEST(CastFromSigned, NarrowingWritesOnlyTheTargetWidth) {
    Stackmachine& machine = sharedMachine();
    machine.pushS64(511);
    runOn(machine, K::Lint, K::Usint);
    EXPECT_EQ(machine.loadS64(machine.getSp() - 1), 511);
    EXPECT_EQ(machine.popU8(), 255u);
}

} // namespace
} // namespace Karsto
