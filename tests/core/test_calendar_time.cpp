#include <gtest/gtest.h>

#include <cstdint>

#include "core/calendar_time.h"

namespace Karsto {
namespace {

CalendarTime civil(int16_t y, int16_t mo, int16_t d, int16_t h = 0, int16_t mi = 0,
                   int16_t s = 0) {
    CalendarTime t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    return t;
}

TEST(Calendar, ToSeconds) {
    const struct {
        CalendarTime time;
        int64_t seconds;
    } cases[] = {
        {civil(1970, 1, 1), 0},
        {civil(2000, 3, 1), 951868800},
        {civil(2000, 2, 29), 951782400},
        {civil(2100, 1, 1), 4102444800},
        {civil(2100, 3, 1), 4107542400}, // 2100 is no leap year
        {civil(2024, 2, 29, 23, 59, 59), 1709251199},
        // No range test: the day and the time fields carry over.
        {civil(2024, 2, 30), 1709251200},
        {civil(1970, 1, 1, 25), 90000},
        {civil(1969, 12, 31, 23, 59, 59), -1},
        {civil(2024, 0, 1), -1},
        {civil(2024, 13, 1), -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(calendarToSeconds(c.time), c.seconds)
            << c.time.year << "-" << c.time.month << "-" << c.time.day;
}

TEST(Calendar, FromSeconds) {
    const struct {
        int64_t seconds;
        int16_t year, month, day, hour, minute, second, weekday, dayOfYear;
    } cases[] = {
        {0, 1970, 1, 1, 0, 0, 0, 4, 0},
        {951782400, 2000, 2, 29, 0, 0, 0, 2, 59},
        {1709251199, 2024, 2, 29, 23, 59, 59, 4, 59},
        {4102444800, 2100, 1, 1, 0, 0, 0, 5, 0},
        {4107542399, 2100, 2, 28, 23, 59, 59, 0, 58},
        {1735689599, 2024, 12, 31, 23, 59, 59, 2, 365},
    };
    for (const auto& c : cases) {
        const CalendarTime t = secondsToCalendar(c.seconds);
        EXPECT_EQ(t.year, c.year) << c.seconds;
        EXPECT_EQ(t.month, c.month) << c.seconds;
        EXPECT_EQ(t.day, c.day) << c.seconds;
        EXPECT_EQ(t.hour, c.hour) << c.seconds;
        EXPECT_EQ(t.minute, c.minute) << c.seconds;
        EXPECT_EQ(t.second, c.second) << c.seconds;
        EXPECT_EQ(t.weekday, c.weekday) << c.seconds;
        EXPECT_EQ(t.dayOfYear, c.dayOfYear) << c.seconds;
    }
}

TEST(Calendar, RoundTripsEveryDayOverFourCenturies) {
    for (int64_t day = 0; day < 146097 + 40000; ++day) { // past 2100 and 2400
        const int64_t seconds = day * 86400 + 3723;
        const CalendarTime t = secondsToCalendar(seconds);
        ASSERT_EQ(calendarToSeconds(t), seconds) << day;
        ASSERT_EQ(t.hour, 1);
        ASSERT_EQ(t.minute, 2);
        ASSERT_EQ(t.second, 3);
    }
}

TEST(Calendar, NegativeSecondsGiveNegativeTimeFields) {
    const CalendarTime t = secondsToCalendar(-1);
    EXPECT_EQ(t.year, 1970);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.second, -1);
    EXPECT_EQ(t.minute, 0);
}

TEST(Calendar, FarDatesFinishQuickly) {
    // Years far beyond the 16-bit field still take few steps to find; the extremes of
    // both signs compute without overflow (the date fields of negative counts are only
    // what the truncating rule gives).
    for (const int64_t seconds : {INT64_MAX, INT64_MIN}) {
        const CalendarTime t = secondsToCalendar(seconds);
        EXPECT_EQ(t.second, seconds % 60) << seconds;
        EXPECT_EQ(t.hour, (seconds / 3600) % 24) << seconds;
    }
}

} // namespace
} // namespace Karsto
