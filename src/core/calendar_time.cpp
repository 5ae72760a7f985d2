#include "core/calendar_time.h"

#include <array>
#include <cstddef>

namespace Karsto {

namespace {

// Leap days from year 1 up to and including year y (truncating division).
int64_t leapDaysThrough(int64_t y) { return y / 4 - y / 100 + y / 400; }

constexpr int64_t kLeapDaysThrough1969 = 477;
constexpr int64_t kDaysBeforeEpoch = 719527; // 1970 * 365 + leapDaysThrough(1969)
constexpr int64_t kSecondsPerDay = 86400;

bool isLeapYear(int64_t y) { return y % 400 == 0 || (y % 4 == 0 && y % 100 != 0); }

// Days before the first of each month in a common year.
constexpr std::array<int64_t, 12> kDaysBeforeMonth = {0,   31,  59,  90,  120, 151,
                                                      181, 212, 243, 273, 304, 334};
// Days up to the end of each month, common and leap year.
constexpr std::array<int64_t, 12> kMonthEndCommon = {31,  59,  90,  120, 151, 181,
                                                     212, 243, 273, 304, 334, 365};
constexpr std::array<int64_t, 12> kMonthEndLeap = {31,  60,  91,  121, 152, 182,
                                                   213, 244, 274, 305, 335, 366};

// Days from 1970-01-01 to 1 January of the year.
int64_t daysBeforeYear(int64_t year) {
    return year * 365 + leapDaysThrough(year - 1) - kDaysBeforeEpoch;
}

} // namespace

int64_t calendarToSeconds(CalendarTime time) {
    const int64_t year = time.year;
    if (year < 1970 || time.month < 1 || time.month > 12) return -1;
    const int64_t leapDays = leapDaysThrough(year - 1) - kLeapDaysThrough1969;
    int64_t dayInYear = kDaysBeforeMonth[static_cast<size_t>(time.month - 1)] + (time.day - 1);
    if (isLeapYear(year) && time.month >= 3) dayInYear += 1;
    const int64_t days = (year - 1970) * 365 + leapDays + dayInYear;
    return days * kSecondsPerDay + int64_t{time.hour} * 3600 + int64_t{time.minute} * 60 +
           int64_t{time.second};
}

CalendarTime secondsToCalendar(int64_t seconds) {
    CalendarTime t;
    t.second = static_cast<int16_t>(seconds % 60);
    t.minute = static_cast<int16_t>((seconds / 60) % 60);
    t.hour = static_cast<int16_t>((seconds / 3600) % 24);
    const int64_t days = seconds / kSecondsPerDay;
    t.weekday = static_cast<int16_t>((days + 4) % 7); // 1970-01-01 was a Thursday

    // The first guess is never below the year for days from 1970 on; step down by
    // whole years that certainly lie above, so far dates take few steps.
    int64_t year = days / 365 + 1970;
    while (days < daysBeforeYear(year)) {
        const int64_t surplus = (daysBeforeYear(year) - days) / 366;
        year -= surplus > 1 ? surplus : 1;
    }
    const int64_t dayOfYear = days - daysBeforeYear(year);

    const auto& monthEnd = isLeapYear(year) ? kMonthEndLeap : kMonthEndCommon;
    int64_t month = 0; // months that end on or before dayOfYear
    while (month < 12 && monthEnd[static_cast<size_t>(month)] <= dayOfYear) ++month;
    const int64_t daysBefore = month == 0 ? 0 : monthEnd[static_cast<size_t>(month - 1)];

    t.year = static_cast<int16_t>(year);
    t.month = static_cast<int16_t>(month + 1);
    t.day = static_cast<int16_t>(dayOfYear - daysBefore + 1);
    t.dayOfYear = static_cast<int16_t>(dayOfYear);
    return t;
}

} // namespace Karsto
