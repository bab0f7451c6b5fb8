// Time as CF files give it: a coordinate in "UNIT since DATE" of one of
// the CF calendars, turned into days of the real calendar that daily files
// are written in.
#pragma once

#include "calendar.h"
#include "failure.h"

#include <string>
#include <string_view>

namespace import::cf {

// The calendars read. "standard" (and its old name "gregorian") counts
// real days, Julian before 1582-10-15 and Gregorian from then on;
// "proleptic_gregorian" is Gregorian throughout; the model calendars
// "noleap" (365_day) and "all_leap" (366_day) label their days with dates
// that are written as they stand.
enum class calendar_kind { standard, proleptic_gregorian, noleap, all_leap };

// The calendar an attribute names (empty: the default, standard); or why
// it is not read (360_day among them).
failure parse_calendar(std::string_view name, calendar_kind &kind);

// A time coordinate's units: the length of its unit and its origin.
struct time_axis {
    calendar_kind calendar = calendar_kind::standard;
    double unit_seconds = 86400;
    long long origin_day = 0;  // the reference date, as the calendar counts days
    double origin_seconds = 0; // into that day, in UTC
};

// Parses "UNIT since DATE [TIME] [ZONE]" (UNIT days, hours, minutes or
// seconds; ZONE Z, UTC or an offset such as -6:00 or +0530); or why not.
failure parse_time_units(std::string_view units, calendar_kind calendar, time_axis &axis);

// A time value as the calendar's day and the seconds into it (UTC).
struct moment {
    long long day = 0;
    double seconds = 0;
};
moment moment_of(const time_axis &axis, double value);

// The days of a calendar counted from its own 1970-01-01, and back.
long long day_count(calendar_kind calendar, const calendar_date &date);
calendar_date date_of_count(calendar_kind calendar, long long day);

// The real day (days since 1970-01-01 of the Gregorian calendar) of a day
// of the calendar; false when the real calendar has no such date (all_leap's
// February 29 of a common year).
bool real_day(calendar_kind calendar, long long day, long long &real);

// The Gregorian date of days since 1970-01-01.
calendar_date gregorian_date(long long day);

} // namespace import::cf
