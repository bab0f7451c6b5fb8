// A line of a daily weather file: day, month, year, day of year, maximum
// and minimum temperature, precipitation.
#pragma once

#include "tokens.h"

#include <string>
#include <string_view>

// One day of the daily weather file: its month and values, which the
// tables are made of, and its date (fields 1, 3 and 4: day, year, day of
// the year), which only the audit reads. The general parser gives all; the
// reading loop gives the date too wherever a listener hears the day.
struct daily_record {
    int month = 0;
    float tmax = 0, tmin = 0, prec = 0;
    int day = 0, year = 0, day_of_year = 0;
};

// The date fields as the vectorized parser gives them, when asked for and
// known.
struct daily_date {
    long day = 0, year = 0, day_of_year = 0;
    bool known = false;
};

// Parses a daily line, its date too; on bad, why says what is wrong.
parse_status parse_daily_line(std::string_view line, daily_record &day, std::string &why);

// Powers of ten that a float holds exactly: one float division of at most
// seven digits by one of them is correctly rounded, as strtof would be.
extern const float exact_powers_of_ten[8];
