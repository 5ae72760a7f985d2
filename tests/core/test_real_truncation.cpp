#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/real_truncation.h"

namespace Karsto {
namespace {

constexpr double kQuietNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int32_t kS32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kS64Min = std::numeric_limits<int64_t>::min();
constexpr uint64_t kU64Top = uint64_t{1} << 63;

// Values go through a volatile so that the conversions run on the machine, not in the
// constant folder.
double runtime(double x) {
    volatile double v = x;
    return v;
}

TEST(RealTruncation, ThirtyTwoBit) {
    struct Case {
        double x;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {2.9, 2},
        {-2.9, -2},
        {-0.5, 0},
        {-0.0, 0},
        {2147483647.9, 2147483647},
        {-2147483648.9, kS32Min}, // truncates to -2^31 itself, still in range
        {2147483648.0, kS32Min},
        {-2147483649.0, kS32Min},
        {1.0e10, kS32Min},
        {-1.0e10, kS32Min},
        {kQuietNan, kS32Min},
        {kInf, kS32Min},
        {-kInf, kS32Min},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(truncateToS32(runtime(c.x)), c.expected) << c.x;
    }
}

TEST(RealTruncation, SixtyFourBit) {
    struct Case {
        double x;
        int64_t expected;
    };
    const std::vector<Case> cases = {
        {2.75, 2},
        {-2.75, -2},
        {1.0e10, 10000000000LL},
        {-kTwoPow63, kS64Min},
        {9223372036854774784.0, 9223372036854774784LL}, // largest double below 2^63
        {-9223372036854774784.0, -9223372036854774784LL},
        {kTwoPow63, kS64Min},
        {-kTwoPow63 - 2048.0, kS64Min}, // next double below -2^63
        {1.0e19, kS64Min},
        {kQuietNan, kS64Min},
        {kInf, kS64Min},
        {-kInf, kS64Min},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(truncateToS64(runtime(c.x)), c.expected) << c.x;
    }
}

TEST(RealTruncation, UnsignedSixtyFourBit) {
    struct Case {
        double x;
        uint64_t expected;
    };
    const std::vector<Case> cases = {
        {3.9, 3},
        {1.0e19, 10000000000000000000ULL},
        {kTwoPow63, kU64Top},
        {18446744073709549568.0, 18446744073709549568ULL}, // largest double below 2^64
        {kTwoPow64, kU64Top},
        {2.0e19, kU64Top},
        {kInf, kU64Top},
        {-1.0, 0xFFFFFFFFFFFFFFFFULL},
        {-1.5, 0xFFFFFFFFFFFFFFFFULL},
        {-0.9, 0},
        {-kTwoPow63, kU64Top}, // the pattern of -2^63
        {-kTwoPow63 - 2048.0, kU64Top},
        {-kInf, kU64Top},
        {kQuietNan, kU64Top},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(truncateToU64(runtime(c.x)), c.expected) << c.x;
    }
}

TEST(RealTruncation, NarrowTargetsComeFromTheWiderTruncations) {
    struct Case {
        double x;
        int8_t s8;
        int16_t s16;
        uint8_t u8;
        uint16_t u16;
        uint32_t u32;
    };
    const std::vector<Case> cases = {
        {200.0, -56, 200, 200, 200, 200},
        {128.0, -128, 128, 128, 128, 128},
        {-129.0, 127, -129, 127, 65407, 4294967167u},
        {-1.0, -1, -1, 255, 65535, 4294967295u},
        {300.7, 44, 300, 44, 300, 300},
        {65536.5, 0, 0, 0, 0, 65536},
        {70000.9, 112, 4464, 112, 4464, 70000},
        // Fits 64 but not 32 bits: the 32-bit truncation fails (low bits 0) while
        // UDINT wraps modulo 2^32.
        {1.0e10, 0, 0, 0, 0, 1410065408u},
        {5.0e9, 0, 0, 0, 0, 705032704u},
        {2.5e9, 0, 0, 0, 0, 2500000000u},
        {4294967296.0, 0, 0, 0, 0, 0},
        {1.0e19, 0, 0, 0, 0, 0},
        {kQuietNan, 0, 0, 0, 0, 0},
        {-kInf, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const double x = runtime(c.x);
        EXPECT_EQ(truncateToS8(x), c.s8) << c.x;
        EXPECT_EQ(truncateToS16(x), c.s16) << c.x;
        EXPECT_EQ(truncateToU8(x), c.u8) << c.x;
        EXPECT_EQ(truncateToU16(x), c.u16) << c.x;
        EXPECT_EQ(truncateToU32(x), c.u32) << c.x;
    }
}

TEST(RealTruncation, IndependentOfTheRoundingModeAndLeavesItUnchanged) {
    const int before = std::fegetround();
    for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        EXPECT_EQ(truncateToS32(runtime(2.9)), 2) << mode;
        EXPECT_EQ(truncateToS32(runtime(-2.9)), -2) << mode;
        EXPECT_EQ(truncateToS32(runtime(-0.5)), 0) << mode;
        EXPECT_EQ(truncateToS64(runtime(-7.9)), -7) << mode;
        EXPECT_EQ(truncateToU64(runtime(1.0e19 + 4096.0)), 10000000000000004096ULL) << mode;
        EXPECT_EQ(truncateToU64(runtime(-1.5)), 0xFFFFFFFFFFFFFFFFULL) << mode;
        EXPECT_EQ(truncateToU8(runtime(255.99)), 255) << mode;
        EXPECT_EQ(std::fegetround(), mode);
    }
    std::fesetround(before);
}

} // namespace
} // namespace Karsto
