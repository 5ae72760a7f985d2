// Durations, dates, times of day and dates with time: short and long forms copy the
// count, a date-and-time splits into its date and its time-of-day part.

#include "instructions/conversions/cast_test_support.h"

#include <gtest/gtest.h>

namespace Karsto {
namespace {

using K = TypeKind;

constexpr int64_t kDay = 86400000000000;

TEST(CastTimeDate, SplitsDateAndTimeOfDay) {
    const CastCase cases[] = {
        {K::Dt, K::Date, i64(951868800123456789), i64(951868800000000000)},
        {K::Dt, K::Tod, i64(951868800123456789), i64(123456789)},
        {K::Dt, K::Date, i64(1577880000000000000), i64(1577836800000000000)},
        {K::Dt, K::Ltod, i64(1577880000000000000), i64(43200000000000)},
        {K::Dt, K::Date, i64(kDay - 1), i64(0)},
        {K::Dt, K::Tod, i64(kDay - 1), i64(kDay - 1)},
        {K::Dt, K::Ldate, i64(kDay), i64(kDay)},
        {K::Dt, K::Tod, i64(kDay), i64(0)},
        // Negative counts truncate toward zero: the time of day takes the sign.
        {K::Dt, K::Date, i64(-5), i64(0)},
        {K::Dt, K::Tod, i64(-5), i64(-5)},
        {K::Dt, K::Date, i64(-172800000000001), i64(-172800000000000)},
        {K::Dt, K::Tod, i64(-172800000000001), i64(-1)},
        {K::Ldt, K::Ldate, i64(-kDay - 1), i64(-kDay)},
        {K::Ldt, K::Ltod, i64(-kDay - 1), i64(-1)},
    };
    expectCases(cases);
}

// For every count the date part plus the time-of-day part is the count again, the date
// part is a whole number of days, and LDT splits exactly as DT does.
TEST(CastTimeDate, PartsAddUpForEveryCount) {
    const int64_t counts[] = {0,      1,         -1,         kDay,       -kDay,
                              kDay - 1, INT64_MAX, INT64_MIN, INT64_MIN + 1,
                              1577880000000000000, -951868800123456789};
    const K sources[] = {K::Dt, K::Ldt};
    for (const int64_t v : counts) {
        SCOPED_TRACE(v);
        for (const K from : sources) {
            for (const K dateKind : {K::Date, K::Ldate}) {
                for (const K todKind : {K::Tod, K::Ltod}) {
                    const auto date = static_cast<int64_t>(runCast(from, dateKind, i64(v)));
                    const auto tod = static_cast<int64_t>(runCast(from, todKind, i64(v)));
                    EXPECT_EQ(date % kDay, 0);
                    EXPECT_LT(tod < 0 ? -tod : tod, kDay);
                    EXPECT_EQ(static_cast<uint64_t>(date) + static_cast<uint64_t>(tod),
                              static_cast<uint64_t>(v));
                    EXPECT_EQ(date, static_cast<int64_t>(runCast(K::Dt, K::Date, i64(v))));
                    EXPECT_EQ(tod, static_cast<int64_t>(runCast(K::Dt, K::Tod, i64(v))));
                }
            }
        }
    }
}

// Short and long forms copy the count without any range test.
TEST(CastTimeDate, ShortAndLongFormsCopyTheCount) {
    const CastCase cases[] = {
        {K::Time, K::Ltime, i64(-1), i64(-1)},
        {K::Time, K::Ltime, i64(-5000000000), i64(-5000000000)},
        {K::Ltime, K::Time, i64(INT64_MIN), i64(INT64_MIN)},
        {K::Ltod, K::Tod, i64(100000000000000), i64(100000000000000)},
        {K::Tod, K::Ltod, i64(90000000000000), i64(90000000000000)},
        {K::Date, K::Ldate, i64(12345), i64(12345)},
        {K::Ldate, K::Date, i64(-kDay), i64(-kDay)},
        {K::Dt, K::Ldt, i64(-5), i64(-5)},
        {K::Ldt, K::Dt, i64(INT64_MAX), i64(INT64_MAX)},
    };
    expectCases(cases);
}

} // namespace
} // namespace Karsto
