// The batches the tests run on: site-list rows, daily files, site files
// and whole sites written into a scratch directory.
#pragma once

#include "tool_runner.h"

#include <functional>
#include <string>

// The values after a site's name in a usual site-list row.
inline constexpr char usual_site_values[] = " 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n";

// A site-list row: the name and the usual values, or those given.
std::string site_row(const std::string &name, const char *values = usual_site_values);

// Which days a daily file holds: years from first_year, and in each month
// days_a_month days (0: every day of the month, February 29 in leap years
// unless leap_days is off).
struct daily_days {
    int first_year = 2001;
    int years = 1;
    int days_a_month = 0;
    bool leap_days = true;
};

// A daily file of those days, each the line that line_of gives for its
// year, month, day and day of the year (counted from 1 each year); the
// line ends with its line end.
using day_line = std::function<std::string(int year, int month, int day, int day_of_year)>;
std::string daily_file(const daily_days &days, const day_line &line_of);

// A site parameter file: two header lines, the 60-line weather block, then
// the given tail lines. With block names, the block's lines carry the
// names a run writes (PRECIP(1) ...), else OLD(1) to OLD(60).
std::string site_file(const std::string &tail, bool block_names);

// A site's two files with the usual content: a site file ending in an ELEV
// line and one year of daily weather.
void write_usual_site(const scratch_dir &dir, const std::string &name);
