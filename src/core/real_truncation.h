#pragma once
// Float-to-integer conversions with fixed results outside the target range.
//
// A plain static_cast of an out-of-range double is undefined behaviour, so every
// conversion checks the range first and only casts values whose truncation fits.
// static_cast truncates toward zero by definition, whatever the dynamic rounding mode
// is, and leaves that mode untouched. Invalid input gives the pattern with only the
// sign bit set, as a truncating hardware conversion does. Compile-time constants and
// the conversion instructions both use these functions, so they agree bit for bit.
//
// The narrow targets are derived, never computed on their own: SINT, INT, USINT and
// UINT take the low bits of the 32-bit truncation, UDINT the low 32 bits of the 64-bit
// one. A value that fits 64 but not 32 bits therefore wraps on its way to UDINT but
// gives 0 for the 8- and 16-bit targets.

#include <cstdint>
#include <limits>

namespace Karsto {

// 2^31, 2^63 and 2^64 as exact doubles: the exclusive upper bounds of the ranges.
inline constexpr double kTwoPow31 = 2147483648.0;
inline constexpr double kTwoPow63 = 9223372036854775808.0;
inline constexpr double kTwoPow64 = 18446744073709551616.0;

// x truncated toward zero when the result lies in -2^31 .. 2^31-1; else, and for NaN
// and the infinities, -2^31.
constexpr int32_t truncateToS32(double x) {
    // Every double strictly between -2^31-1 and 2^31 truncates into range; NaN fails
    // both comparisons.
    if (x > -kTwoPow31 - 1.0 && x < kTwoPow31) {
        return static_cast<int32_t>(x);
    }
    return std::numeric_limits<int32_t>::min();
}

// x truncated toward zero when the result lies in -2^63 .. 2^63-1; else, and for NaN
// and the infinities, -2^63.
constexpr int64_t truncateToS64(double x) {
    // No double lies strictly between -2^63-1 and -2^63, so the lower bound is -2^63
    // inclusive.
    if (x >= -kTwoPow63 && x < kTwoPow63) {
        return static_cast<int64_t>(x);
    }
    return std::numeric_limits<int64_t>::min();
}

// Below 2^63 (and for NaN) the 64 bits of truncateToS64 read as unsigned, so negatives
// down to -2^63 wrap to their two's-complement pattern and everything that fails there
// gives 2^63; from 2^63 up to 2^64 (exclusive) the exact truncated value; from 2^64
// up, +infinity included, 2^63.
constexpr uint64_t truncateToU64(double x) {
    if (x >= kTwoPow63 && x < kTwoPow64) {
        return static_cast<uint64_t>(x);
    }
    if (x >= kTwoPow64) {
        return uint64_t{1} << 63;
    }
    return static_cast<uint64_t>(truncateToS64(x));
}

// Low 8 and 16 bits of the 32-bit truncation, as two's complement or unsigned.
constexpr int8_t truncateToS8(double x) { return static_cast<int8_t>(truncateToS32(x)); }
constexpr int16_t truncateToS16(double x) { return static_cast<int16_t>(truncateToS32(x)); }
constexpr uint8_t truncateToU8(double x) { return static_cast<uint8_t>(truncateToS32(x)); }
constexpr uint16_t truncateToU16(double x) { return static_cast<uint16_t>(truncateToS32(x)); }

// Low 32 bits of the 64-bit truncation: 0 wherever that truncation fails.
constexpr uint32_t truncateToU32(double x) { return static_cast<uint32_t>(truncateToS64(x)); }

// The double nearest x rounded to the nearest float, ties to even. A finite double
// beyond the float range must not reach static_cast (undefined behaviour): rounding
// to nearest takes it to the largest float below the midpoint between that float and
// 2^128, and to the infinity of its sign from the midpoint up (the midpoint ties to
// the even neighbour, which is 2^128, so it overflows).
constexpr float roundToFloat(double x) {
    constexpr double kFloatMax = static_cast<double>(std::numeric_limits<float>::max());
    constexpr double kOverflowFrom = 0x1.ffffffp+127;
    if (x > kFloatMax || x < -kFloatMax) { // NaN fails both and is cast below
        const float magnitude = (x >= kOverflowFrom || x <= -kOverflowFrom)
                                    ? std::numeric_limits<float>::infinity()
                                    : std::numeric_limits<float>::max();
        return x < 0 ? -magnitude : magnitude;
    }
    return static_cast<float>(x);
}

} // namespace Karsto
