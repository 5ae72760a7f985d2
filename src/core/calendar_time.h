#pragma once
// Civil date and time in UTC, and its conversion to and from seconds since
// 1970-01-01 00:00:00. No time zone or daylight saving time is applied anywhere.

#include <cstdint>

namespace Karsto {

struct CalendarTime {
    int16_t year = 0;      // civil year, e.g. 2024
    int16_t month = 0;     // 1 to 12
    int16_t day = 0;       // from 1
    int16_t hour = 0;      // 0 to 23
    int16_t minute = 0;    // 0 to 59
    int16_t second = 0;    // 0 to 59
    int16_t weekday = 0;   // 0 Sunday to 6 Saturday; output of secondsToCalendar only
    int16_t dayOfYear = 0; // 0 for 1 January; output of secondsToCalendar only
};

// Seconds since 1970-01-01 00:00:00, or -1 for a year before 1970 or a month outside
// 1 to 12. Day, hour, minute and second are not range-checked: they carry over.
int64_t calendarToSeconds(CalendarTime time);

// The broken-down time of a second count. Divisions truncate toward zero, so negative
// counts give negative time fields; the function serves values from 1970 on.
CalendarTime secondsToCalendar(int64_t seconds);

} // namespace Karsto
