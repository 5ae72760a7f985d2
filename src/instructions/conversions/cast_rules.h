#pragma once
// The rules that the rows of the conversion tables name. Each rule turns the value a
// row pops into the value it pushes: `apply<To>(v)`, To being the parameter type of
// the row's push operation. Private to the conversion library.

#include "core/real_truncation.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace Karsto::castrule {

// One day in nanoseconds: the unit of the date part of a date-and-time count.
inline constexpr int64_t kNanosecondsPerDay = 86400000000000;

// Integer to integer: the value modulo 2^N in the target's N bits, sign-extended from
// a signed source and zero-extended from an unsigned one. Since C++20 the integral
// conversion is exactly that, for signed targets too (two's complement).
struct Wrap {
    template <class To, class From>
    static constexpr To apply(From v) {
        static_assert(std::is_integral_v<From> && std::is_integral_v<To>);
        return static_cast<To>(v);
    }
};

// To BOOL: 1 when any bit of the whole source width is set, else 0; never another byte.
struct NonZero {
    template <class To, class From>
    static constexpr To apply(From v) {
        return static_cast<To>(v != 0 ? 1 : 0);
    }
};

// To a real: the nearest double first, then, for REAL, the nearest float. A 64-bit
// integer rounds at the first step and again at the second (two roundings, each ties
// to even, which can differ from rounding the integer directly); every narrower
// integer and REAL are exact as doubles, so they round at most once.
struct Nearest {
    template <class To, class From>
    static constexpr To apply(From v) {
        const double wide = static_cast<double>(v);
        if constexpr (std::is_same_v<To, float>) {
            return roundToFloat(wide);
        } else {
            static_assert(std::is_same_v<To, double>);
            return wide;
        }
    }
};

// Real to the targets of the 32-bit truncation: its low bits in the target's width.
struct Trunc32 {
    template <class To, class From>
    static constexpr To apply(From x) {
        return static_cast<To>(truncateToS32(static_cast<double>(x)));
    }
};

// Real to the targets of the 64-bit truncation: UDINT takes its low 32 bits.
struct Trunc64 {
    template <class To, class From>
    static constexpr To apply(From x) {
        return static_cast<To>(truncateToS64(static_cast<double>(x)));
    }
};

// Real to ULINT.
struct TruncU64 {
    template <class To, class From>
    static constexpr To apply(From x) {
        static_assert(std::is_same_v<To, uint64_t>);
        return truncateToU64(static_cast<double>(x));
    }
};

// The bit pattern unchanged: no numeric conversion takes place.
struct SameBits {
    template <class To, class From>
    static constexpr To apply(From v) {
        static_assert(sizeof(To) == sizeof(From));
        return std::bit_cast<To>(v);
    }
};

// The midnight of a date-and-time count. Division truncates toward zero, so a
// negative count gives the midnight at or after it; q * day never exceeds |v|, so
// nothing overflows, the most negative count included.
struct DatePart {
    template <class To, class From>
    static constexpr To apply(From v) {
        static_assert(std::is_same_v<From, int64_t> && std::is_same_v<To, int64_t>);
        return v / kNanosecondsPerDay * kNanosecondsPerDay;
    }
};

// The time since that midnight: the remainder, with the sign of the count, so that
// date part plus time-of-day part gives the count back.
struct TimeOfDayPart {
    template <class To, class From>
    static constexpr To apply(From v) {
        static_assert(std::is_same_v<From, int64_t> && std::is_same_v<To, int64_t>);
        return v % kNanosecondsPerDay;
    }
};

} // namespace Karsto::castrule
