// The tests' one builder of batches: site-list rows, daily files, site
// files and whole sites written into a scratch directory.
#pragma once

#include "tool.h"

#include <functional>
#include <string>

// The values after a site's name in a usual site-list row.
inline constexpr char usual_site_values[] = " 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n";

// A site-list row: the name and the usual values, or those given.
std::string site_row(const std::string &name, const char *values = usual_site_values);

// A day of a daily file, its fields in the order the file gives them.
struct file_day {
    int day, month, year;
    int day_of_year; // counted from 1 each year
};

// Which days a daily file holds: years from first_year, and in each month
// days_a_month days (0: every day of the month, February 29 in leap years
// unless leap_days is off).
struct daily_days {
    int first_year = 2001;
    int years = 1;
    int days_a_month = 0;
    bool leap_days = true;
};

// Calls day_of for each of those days, in order.
void for_each_day(const daily_days &days, const std::function<void(const file_day &)> &day_of);

// A day's line of a daily file: day, month, year and day of year, then the
// values (Tmax, Tmin and precipitation, and any further columns) and a line end.
std::string day_line(const file_day &d, const std::string &values);

// A daily file of those days, each with the values that values_of gives
// for it; a day whose values are empty is left out.
using day_values = std::function<std::string(const file_day &)>;
std::string daily_file(const daily_days &days, const day_values &values_of);
// The same values every day.
std::string daily_file(const daily_days &days, const std::string &values);

// A site parameter file: two header lines, the 60-line weather block with
// lines OLD(1) to OLD(60), then the given tail lines.
std::string site_file(const std::string &tail);
// The same with the block's lines named as a run writes them (PRECIP(1) ...).
std::string site_file_with_block_names(const std::string &tail);

// A site's two files with the usual content: a site file ending in an ELEV
// line and one year of daily weather, three days a month.
void write_usual_site(const scratch_dir &dir, const std::string &name);

// A GHCN-Daily line of station USC00123456: element's value on one day of
// the month, the other days missing.
std::string dly(const char *element, int year, int month, int day, int value);
