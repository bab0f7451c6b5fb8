// The Gregorian calendar, as the check's audit and the importer count days:
// leap years, month lengths, days of the year and day numbers.
#pragma once

#include <compare>

inline bool is_leap(long year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The months' names, January at 0.
inline constexpr const char *month_names[12] = {"January",   "February", "March",    "April",
                                                "May",       "June",     "July",     "August",
                                                "September", "October",  "November", "December"};

// The days of a month (1 to 12) of a year.
inline int month_length(long year, int month) {
    static constexpr int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : lengths[month - 1];
}

// The day of the year of a date (1 for January 1); without leap_days, as a
// 365-day calendar counts it.
inline int day_of_year(long year, int month, int day, bool leap_days = true) {
    static constexpr int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return before[month - 1] + day + (leap_days && month > 2 && is_leap(year));
}

// Days since 1970-01-01 of a date (after Howard Hinnant's days_from_civil).
inline long day_number(long year, int month, int day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yoe = year - era * 400;
    const long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// A date of the calendar, ordered as the days are.
struct calendar_date {
    int year = 0, month = 0, day = 0;
    auto operator<=>(const calendar_date &) const = default;
};

// The day after a date.
inline calendar_date next_day(calendar_date d) {
    if (++d.day > month_length(d.year, d.month)) {
        d.day = 1;
        if (++d.month > 12) {
            d.month = 1;
            ++d.year;
        }
    }
    return d;
}

inline int day_of_year(const calendar_date &d) {
    return day_of_year(d.year, d.month, d.day);
}

// The date of a day of a year (1 for January 1) of years 1 to 9999; false
// past the year's end.
bool date_of_day(int year, int day_of_year, calendar_date &d);
// A day of a month of years 1 to 9999.
bool is_real_date(const calendar_date &d);
// The date of a day number (days since 1970-01-01), as day_number counts.
calendar_date date_of_number(long number);
