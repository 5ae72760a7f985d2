// Values of the conversions from BOOL, the characters and the bit strings: all of them
// unsigned sources.

#include "instructions/conversions/cast_test_support.h"

#include <gtest/gtest.h>

namespace Karsto {
namespace {

using K = TypeKind;

// TRUE is 1 in every target, signed ones included (never -1); FALSE is 0.
TEST(CastFromBool, GivesZeroOrOneInEveryTarget) {
    int targets = 0;
    for (const ConversionEntry& entry : conversionRegistry()) {
        if (entry.from != K::Bool) {
            continue;
        }
        ++targets;
        SCOPED_TRACE(castText(entry.from, entry.to));
        EXPECT_EQ(runCast(K::Bool, entry.to, 1), 1u);
        EXPECT_EQ(runCast(K::Bool, entry.to, 0), 0u);
    }
    EXPECT_EQ(targets, 12);
}

TEST(CastFromCharacters, ToBoolAndBitStrings) {
    const CastCase cases[] = {
        {K::Char, K::Bool, u64(200), u64(1)}, // the byte 1, not the code
        {K::Char, K::Bool, u64(0), u64(0)},
        {K::Char, K::Word, u64(200), u64(200)},
        {K::Char, K::Lword, u64(200), u64(200)},
        {K::Char, K::Byte, u64(255), u64(255)},
        {K::Char, K::Dword, u64(255), u64(255)},
        {K::Wchar, K::Bool, u64(0x1200), u64(1)},
        {K::Wchar, K::Byte, u64(0x1200), u64(0)},
        {K::Wchar, K::Byte, u64(65535), u64(255)},
        {K::Wchar, K::Dword, u64(65535), u64(65535)},
        {K::Wchar, K::Byte, u64(8364), u64(172)},
        {K::Wchar, K::Word, u64(8364), u64(8364)},
        {K::Wchar, K::Lword, u64(8364), u64(8364)},
        {K::Wchar, K::Bool, u64(0), u64(0)},
    };
    expectCases(cases);
}

// Bit strings are unsigned: narrower targets keep the low bits, wider ones (signed
// included) are zero-extended, and BOOL tests the whole source width.
TEST(CastFromBitStrings, ToIntegersBoolAndCharacters) {
    const CastCase cases[] = {
        {K::Lword, K::Bool, u64(0xFFFF000000000000u), u64(1)},
        {K::Lword, K::Dword, u64(0xFFFF000000000000u), u64(0)},
        {K::Lword, K::Bool, u64(0x100), u64(1)},
        {K::Lword, K::Byte, u64(0x100), u64(0)},
        {K::Lword, K::Usint, u64(0x100), u64(0)},
        {K::Lword, K::Byte, u64(uint64_t{1} << 40), u64(0)},
        {K::Lword, K::Lint, u64(0x8000000000000000u), i64(INT64_MIN)},
        {K::Lword, K::Ulint, u64(0x8000000000000000u), u64(0x8000000000000000u)},
        {K::Lword, K::Dint, u64(0x8000000000000000u), i64(0)},
        {K::Lword, K::Sint, u64(~uint64_t{0}), i64(-1)},
        {K::Lword, K::Uint, u64(~uint64_t{0}), u64(65535)},
        {K::Lword, K::Word, u64(0x123456789ABCDEF0u), u64(0xDEF0)},
        {K::Lword, K::Bool, u64(0), u64(0)},
        {K::Dword, K::Bool, u64(0), u64(0)},
        {K::Dword, K::Bool, u64(0x80000000u), u64(1)},
        {K::Dword, K::Dint, u64(0xFFFFFFFFu), i64(-1)},
        {K::Dword, K::Int, u64(0xFFFFFFFFu), i64(-1)},
        {K::Dword, K::Lint, u64(0xFFFFFFFFu), i64(4294967295)},
        {K::Dword, K::Lint, u64(0x80000000u), i64(2147483648)},
        {K::Dword, K::Ulint, u64(0x80000000u), u64(2147483648u)},
        {K::Dword, K::Word, u64(0x80000000u), u64(0)},
        {K::Dword, K::Sint, u64(0x80000000u), i64(0)},
        {K::Dword, K::Lword, u64(0xFFFFFFFFu), u64(0xFFFFFFFFu)},
        {K::Word, K::Int, u64(0x8001), i64(-32767)},
        {K::Word, K::Dint, u64(0x8001), i64(32769)},
        {K::Word, K::Sint, u64(0x00FF), i64(-1)},
        {K::Word, K::Usint, u64(0x00FF), u64(255)},
        {K::Word, K::Bool, u64(0x0100), u64(1)},
        {K::Word, K::Wchar, u64(0x20AC), u64(8364)},
        {K::Byte, K::Sint, u64(0xFF), i64(-1)},
        {K::Byte, K::Int, u64(0xFF), i64(255)},
        {K::Byte, K::Sint, u64(0x80), i64(-128)},
        {K::Byte, K::Ulint, u64(0x80), u64(128)},
        {K::Byte, K::Char, u64(0x41), u64(65)},
        {K::Byte, K::Bool, u64(0x01), u64(1)},
    };
    expectCases(cases);
    // Each BOOL test sees only its own source: the DWORD that an LWORD with only high
    // bits set narrows to is FALSE.
    EXPECT_EQ(runCast(K::Dword, K::Bool, runCast(K::Lword, K::Dword, 0xFFFF000000000000u)), 0u);
}

// DWORD to REAL converts the unsigned number (once rounded); LWORD to LREAL copies the
// bits, so no pattern is read as a number.
TEST(CastFromBitStrings, ToRealsNumberVersusBits) {
    const CastCase cases[] = {
        {K::Dword, K::Real, u64(0x40000000u), f32(1073741824.0f)},
        {K::Dword, K::Real, u64(16777219), f32(16777220.0f)},
        {K::Dword, K::Real, u64(16777217), f32(16777216.0f)},
        {K::Dword, K::Real, u64(0xFFFFFFFFu), f32(4294967296.0f)},
        {K::Dword, K::Real, u64(0x3F800000u), f32(1065353216.0f)},
        {K::Dword, K::Real, u64(0), f32(0.0f)},
        {K::Lword, K::Lreal, u64(0x4000000000000000u), f64(2.0)},
        {K::Lword, K::Lreal, u64(0x3FF0000000000000u), f64(1.0)},
        {K::Lword, K::Lreal, u64(0x8000000000000000u), f64(-0.0)},
        {K::Lword, K::Lreal, u64(0x7FF0000000000000u), f64(kInf)},
        {K::Lword, K::Lreal, u64(1), f64(std::numeric_limits<double>::denorm_min())},
        {K::Lword, K::Lreal, kNegativeNanBits, kNegativeNanBits},
    };
    expectCases(cases);
}

// Widening a bit string and narrowing it back gives the value again; narrowing first
// loses the high bits.
TEST(CastFromBitStrings, WidenAndNarrowBack) {
    EXPECT_EQ(runCast(K::Lword, K::Byte, runCast(K::Byte, K::Lword, 0xA5)), 0xA5u);
    EXPECT_EQ(runCast(K::Dword, K::Word, runCast(K::Word, K::Dword, 0xBEEF)), 0xBEEFu);
    EXPECT_EQ(runCast(K::Lword, K::Dword, runCast(K::Dword, K::Lword, 0xDEADBEEF)),
              0xDEADBEEFu);
    EXPECT_EQ(runCast(K::Dword, K::Lword, runCast(K::Lword, K::Dword, 0x1234567890ABCDEFu)),
              0x90ABCDEFu);
}

} // namespace
} // namespace Karsto
