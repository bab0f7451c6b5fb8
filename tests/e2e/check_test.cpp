// The check end to end: the audit names each planted finding with its file
// and first line, a clean file gets none, and the run never audits; what
// the run could not write is reported. (The check's messages on whole
// batches are golden cases, tests/golden/check_*.)
#include "data.h"
#include "table.h"

#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using day_lines = std::vector<std::string>;

// Every day of the years first..last, with values that vary from day to day.
day_lines clean_days(int first = 2001, int last = 2010) {
    const std::string text =
        daily_file({.first_year = first, .years = last - first + 1}, [](const file_day &d) {
            const int tmax = 10 + (d.day * 7 + d.month * 3 + d.year) % 13;
            const int prec = (d.day * 5 + d.month + d.year) % 17;
            return std::to_string(tmax) + ".5 " + std::to_string(tmax - 8 - d.day % 3) + ".25 0." +
                   std::to_string(prec / 10) + std::to_string(prec % 10);
        });
    day_lines lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// The index of the line of a date.
size_t at(const day_lines &lines, int d, int m, int y) {
    const std::string start =
        std::to_string(d) + " " + std::to_string(m) + " " + std::to_string(y) + " ";
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(start, 0) == 0)
            return i;
    throw std::runtime_error("no such day: " + start);
}

void erase_if_starts(day_lines &lines, const std::function<bool(const std::string &)> &drop) {
    std::erase_if(lines, drop);
}

// A field of a day line replaced.
void set_field(std::string &line, int field, const std::string &value) {
    size_t start = 0;
    for (int i = 0; i < field; ++i)
        start = line.find(' ', start) + 1;
    size_t end = line.find_first_of(" \n", start);
    line.replace(start, end - start, value);
}

std::string block_site_file(const std::string &tail) {
    return site_file_with_block_names(tail);
}

struct audit_case {
    const char *what;
    std::function<void(day_lines &, std::string &site_file, std::string &site_row)> plant;
    const char *expected;         // a part of the check's output
    const char *absent = nullptr; // a part it must not hold
};

const std::string plot_row = site_row("plot");

std::string check_output(const day_lines &days, const std::string &site_file,
                         const std::string &row, int &status, bool strict = false) {
    scratch_dir dir;
    dir.write("sites.txt", row);
    dir.write("plot.sfp", site_file);
    std::string text;
    for (const std::string &l : days)
        text += l;
    dir.write("plot.wth", text);
    const tool_result r =
        run_tool(dir.path(), strict ? std::vector<std::string>{"--check", "--strict", "sites.txt"}
                                    : std::vector<std::string>{"--check", "sites.txt"});
    status = r.status;
    return r.out;
}

TABLE_TEST(Audit, audit_case);

TEST_P(Audit, NamesThePlantedFinding) {
    day_lines days = clean_days();
    std::string site_file = block_site_file("1 'ELEV'\n"), row = plot_row;
    GetParam().plant(days, site_file, row);
    int status = -1;
    const std::string out = check_output(days, site_file, row, status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find(GetParam().expected), std::string::npos) << out;
    if (GetParam().absent != nullptr) {
        EXPECT_EQ(out.find(GetParam().absent), std::string::npos) << out;
    }
}

auto days_only(std::function<void(day_lines &)> f) {
    return [f](day_lines &d, std::string &, std::string &) { f(d); };
}

// A site file whose tail holds these soil lines, checked against this list row.
auto soil_lines(const char *lines, const char *row) {
    return [lines, row](day_lines &, std::string &s, std::string &r) {
        s = block_site_file(std::string(lines) + "1 'ELEV'\n");
        r = row;
    };
}

// Every day from the first to the last given (day, month, year), in order.
void for_days(day_lines &d, int d1, int m1, int y1, int d2, int m2, int y2,
              const std::function<void(std::string &)> &f) {
    for (size_t i = at(d, d1, m1, y1); i <= at(d, d2, m2, y2); ++i)
        f(d[i]);
}

void all_missing(std::string &line) {
    for (int field = 4; field < 7; ++field)
        set_field(line, field, "-99.99");
}

const char partial_text[] = " summed from part of the month";

INSTANTIATE_TABLE(
    Audit,
    audit_case{"starts_late", days_only([](day_lines &d) {
                   d.erase(d.begin(), d.begin() + static_cast<long>(at(d, 1, 3, 2001)));
               }),
               "plot.wth line 1: the file starts after January"},
    audit_case{"ends_early", days_only([](day_lines &d) { d.resize(at(d, 1, 12, 2010)); }),
               "plot.wth line 3621: the file ends in November"},
    audit_case{"no_december", days_only([](day_lines &d) {
                   erase_if_starts(d, [](const std::string &l) {
                       return l.find(" 12 2003 ") != std::string::npos;
                   });
               }),
               "plot.wth line 1065: a year without a December (2003 and 2004)"},
    audit_case{"same_month_again", days_only([](day_lines &d) {
                   d.erase(d.begin() + static_cast<long>(at(d, 1, 1, 2004)),
                           d.begin() + static_cast<long>(at(d, 1, 12, 2004)));
               }),
               "plot.wth line 1096: the same month on consecutive lines"},
    audit_case{"too_few_days", days_only([](day_lines &d) {
                   d.erase(d.begin() + static_cast<long>(at(d, 2, 1, 2002)),
                           d.begin() + static_cast<long>(at(d, 1, 2, 2002)));
               }),
               "1 month left out of the maximum temperature statistics for too few valid "
               "days (a mean needs 2): 2002-01"},
    audit_case{"no_valid_month", days_only([](day_lines &d) {
                   for (std::string &l : d)
                       if (l.find(" 2 ") == l.find(' '))
                           set_field(l, 6, "-99");
               }),
               "no valid value in any year for precipitation in February"},
    audit_case{"few_years", days_only([](day_lines &d) { d = clean_days(2001, 2003); }),
               "plot.wth: only 3 years behind the statistics"},
    audit_case{"dates_skipped", days_only([](day_lines &d) {
                   for (std::string &l : d) {
                       set_field(l, 0, "0");
                       set_field(l, 2, "0");
                       set_field(l, 3, "0");
                   }
               }),
               "plot.wth line 1: fields 1, 3 and 4 do not look like day"},
    audit_case{"impossible_date",
               days_only([](day_lines &d) { set_field(d[at(d, 30, 4, 2005)], 0, "31"); }),
               "plot.wth line 1581: impossible dates"},
    audit_case{"wrong_day_of_year",
               days_only([](day_lines &d) { set_field(d[at(d, 5, 5, 2005)], 3, "7"); }),
               "plot.wth line 1586: the day of year disagrees"},
    // February 29 and March 1 of a leap year both day 60, the rest one short.
    audit_case{"leap_day_of_year_one_short", days_only([](day_lines &d) {
                   for (size_t i = at(d, 1, 3, 2004); i <= at(d, 31, 12, 2004); ++i)
                       set_field(d[i], 3, std::to_string(i - at(d, 1, 1, 2004)));
               }),
               "plot.wth lines 1156, 1157, 1158, 1159, 1160, 1161, 1162, 1163, 1164, 1165, "
               "... (306 in all): the day of year disagrees"},
    audit_case{"out_of_order", days_only([](day_lines &d) {
                   std::swap(d[at(d, 5, 5, 2005)], d[at(d, 6, 5, 2005)]);
               }),
               "plot.wth line 1587: dates out of order"},
    audit_case{"duplicate", days_only([](day_lines &d) {
                   const size_t i = at(d, 5, 5, 2005);
                   d.insert(d.begin() + static_cast<long>(i), d[i]);
               }),
               "plot.wth line 1587: duplicated dates"},
    audit_case{"missing_day", days_only([](day_lines &d) {
                   d.erase(d.begin() + static_cast<long>(at(d, 5, 5, 2005)));
               }),
               "plot.wth line 1586: 1 day missing"},
    audit_case{"missing_month", days_only([](day_lines &d) {
                   erase_if_starts(d, [](const std::string &l) {
                       return l.find(" 6 2005 ") != std::string::npos;
                   });
               }),
               "whole months missing (2005-06): no line closes such a month, so its cell "
               "keeps 0.0 and enters the statistics as a value of 0.0"},
    // A bad year opens a gap of a billion years: counted, not walked.
    audit_case{"year_far_off",
               days_only([](day_lines &d) { set_field(d[at(d, 5, 5, 2005)], 2, "-999999999"); }),
               "whole months missing (-999999999-06, -999999999-07"},
    audit_case{"no_leap_calendar", days_only([](day_lines &d) {
                   erase_if_starts(d,
                                   [](const std::string &l) { return l.rfind("29 2 ", 0) == 0; });
               }),
               "a 365-day calendar without February 29", partial_text},
    audit_case{"leap_without_dec31", days_only([](day_lines &d) {
                   erase_if_starts(d, [](const std::string &l) {
                       return l.rfind("31 12 2004 ", 0) == 0 || l.rfind("31 12 2008 ", 0) == 0;
                   });
               }),
               "December 31 of 2 leap years has no value: the source's calendar has 365 days, "
               "keeping February 29 and dropping December 31",
               partial_text},
    // As the import writes Daymet's: the day there, with no value; a gap the
    // rules count, named with its fill.
    audit_case{"leap_dec31_without_values", days_only([](day_lines &d) {
                   for (std::string &l : d)
                       if (l.rfind("31 12 2004 ", 0) == 0 || l.rfind("31 12 2008 ", 0) == 0)
                           l = l.substr(0, l.find(" 366 ") + 5) + "-99.99 -99.99 -99.99\n";
               }),
               "(--completeness wmo, wmo35) leaves it out. siteprep-import daymet --fill-from "
               "FILE.wth (or fill --donor) fills those days from a donor",
               partial_text},
    audit_case{"swapped_columns", days_only([](day_lines &d) {
                   for (std::string &l : d) {
                       size_t a = 0;
                       for (int i = 0; i < 4; ++i)
                           a = l.find(' ', a) + 1;
                       const size_t b = l.find(' ', a) + 1, c = l.find(' ', b);
                       l = l.substr(0, a) + l.substr(b, c - b) + " " + l.substr(a, b - a - 1) +
                           l.substr(c);
                   }
               }),
               "plot.wth lines 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, ... (3652 in all): minimum "
               "temperature above maximum on most days: the two columns look swapped"},
    audit_case{"hot_day", days_only([](day_lines &d) { set_field(d[at(d, 2, 7, 2006)], 4, "75"); }),
               "plot.wth line 2009: temperatures outside -90 to 60"},
    audit_case{"negative_rain",
               days_only([](day_lines &d) { set_field(d[at(d, 2, 7, 2006)], 6, "-5"); }),
               "plot.wth line 2009: negative precipitation"},
    audit_case{"heavy_rain",
               days_only([](day_lines &d) { set_field(d[at(d, 2, 7, 2006)], 6, "35"); }),
               "plot.wth line 2009: daily precipitation above 30 cm"},
    audit_case{"missing_code",
               days_only([](day_lines &d) { set_field(d[at(d, 2, 7, 2006)], 5, "999.9"); }),
               "plot.wth line 2009: 999, 999.9 or 9999"},
    audit_case{"rain_unit", days_only([](day_lines &d) {
                   for (std::string &l : d)
                       set_field(l, 6, "0.001");
               }),
               "a mean annual precipitation total of 0.4 cm, below 1 or above 1,000"},
    audit_case{"rain_in_mm", days_only([](day_lines &d) {
                   for (size_t i = 0; i < d.size(); ++i)
                       set_field(d[i], 6, i % 4 == 0 ? "4.2" : "0.3");
               }),
               "precipitation looks like mm, not cm: 25% of the days above 3 and a mean "
               "annual total of 466"},
    audit_case{"kelvin", days_only([](day_lines &d) {
                   for (std::string &l : d) {
                       set_field(l, 4, "290." + std::to_string(l.size() % 10));
                       set_field(l, 5, "280." + std::to_string(l.size() % 7));
                   }
               }),
               "look like Kelvin"},
    audit_case{"same_tmax", days_only([](day_lines &d) {
                   for (int k = 0; k < 10; ++k)
                       set_field(d[at(d, 3, 3, 2007) + static_cast<size_t>(k)], 4, "12.5");
               }),
               "plot.wth line 2252: the same maximum temperature on 10 or more"},
    audit_case{"same_rain", days_only([](day_lines &d) {
                   for (int k = 0; k < 5; ++k)
                       set_field(d[at(d, 3, 3, 2007) + static_cast<size_t>(k)], 6, "2.5");
               }),
               "plot.wth line 2253: the same non-zero precipitation on 5 or more"},
    // An import over 1991-2020 of a station with data in 2005-2008 only.
    audit_case{"years_with_data", days_only([](day_lines &d) {
                   d = clean_days(1991, 2020);
                   for_days(d, 1, 1, 1991, 31, 12, 2004, all_missing);
                   for_days(d, 1, 1, 2009, 31, 12, 2020, all_missing);
               }),
               "plot.wth: only 4 years with data behind the statistics (of 30 year rows; "
               "the other 26 have no monthly value), fewer than 10\n"},
    audit_case{"partial_month", days_only([](day_lines &d) {
                   for_days(d, 12, 3, 2005, 31, 3, 2005,
                            [](std::string &l) { set_field(l, 6, "-99.99"); });
               }),
               "Warning: plot.wth: 1 month's precipitation total is summed from part of the "
               "month (the fewest days: 2005-03, 11 of 31)\n"},
    // Days missing from the file count as well as missing values.
    audit_case{"partial_months", days_only([](day_lines &d) {
                   for_days(d, 12, 3, 2005, 31, 3, 2005,
                            [](std::string &l) { set_field(l, 6, "-99"); });
                   d.erase(d.begin() + static_cast<long>(at(d, 10, 6, 2007)));
               }),
               "Warning: plot.wth: 2 months' precipitation totals are summed from part of the "
               "month (the fewest days: 2005-03, 11 of 31)\n"},
    // Written with no value in one leap year of two: a gap, not a calendar.
    audit_case{"dec31_missing_once",
               days_only([](day_lines &d) { all_missing(d[at(d, 31, 12, 2004)]); }),
               "plot.wth: 1 month's precipitation total is summed from part of the month (the "
               "fewest days: 2004-12, 30 of 31)\n"},
    audit_case{"soil_values",
               soil_lines("0.50000 'SAND'\n0.30000 'SILT'\n0.20000 'CLAY'\n1.45 'BULKD'\n",
                          "plot 41.5 -105.25 0.65 0.25 0.10 1.3 0.5 3 1530\n"),
               "Warning: plot.sfp lines 63, 64, 65, 66 (4 in all): soil values that disagree "
               "with sites.txt line 1 (its texture in fractions, as the soil rows take it): "
               "SAND 0.50000 (the list: 0.65), SILT 0.30000 (the list: 0.25), CLAY 0.20000 "
               "(the list: 0.1), BULKD 1.45 (the list: 1.3); soils.in is made from the list"},
    // Percentages as fractions; a value agrees within its last printed place.
    audit_case{"soil_values_agree",
               soil_lines("0.40000 'SAND'\n0.4 'SILT'\n2e-1 'CLAY'\n1.3 'BULKD'\n",
                          "plot 41.5 -105.25 40 41 19 1.3 0.5 3 1530\n"),
               "1 site checked, 0 problems, 0 warnings\n"},
    audit_case{"soil_value_one_place_off",
               soil_lines("0.66 'SAND'\n", "plot 41.5 -105.25 0.65 0.25 0.10 1.3 0.5 3 1530\n"),
               "SAND 0.66 (the list: 0.65)"},
    audit_case{"empty_file", days_only([](day_lines &d) { d.clear(); }),
               "plot.wth: the daily file holds no day"},
    audit_case{"key_in_a_comment",
               [](day_lines &, std::string &s, std::string &) {
                   s = block_site_file("0.9 'DRAIN' 'fraction below NLAYER'\n");
               },
               "plot.sfp line 63: a line that will be replaced by a site key line although "
               "its name is not the key (NLAYER)"},
    audit_case{"short_site_file",
               [](day_lines &, std::string &s, std::string &) {
                   s = "head\nhead\n1 'PRECIP(1)'\n2 'ELEV'\n";
               },
               "the site file has 4 lines, fewer than 62: the weather block replaces lines 3 "
               "to its end, and the site key lines among them (ELEV) are lost"},
    audit_case{"not_a_block", [](day_lines &, std::string &s, std::string &) { s = site_file(""); },
               "plot.sfp lines 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, ... (60 in all): lines 3 to 62 "
               "that do not look like a weather block"},
    audit_case{"carriage_returns",
               [](day_lines &, std::string &s, std::string &) {
                   std::replace(s.begin(), s.end(), '\n', '\r');
               },
               "plot.sfp: line ends are CR alone"},
    audit_case{"site_list_values",
               [](day_lines &, std::string &, std::string &r) {
                   r = "plot 95 400 -1 0 1 1.3 0.5 3 1530\n";
               },
               "sites.txt line 1: a latitude outside -90 to 90\n"
               "Warning: sites.txt line 1: a longitude outside -180 to 360\n"
               "Warning: sites.txt line 1: a negative sand, silt or clay content\n"
               "Warning: sites.txt line 1: a texture that sums to 0"});

TEST(Audit, CleanFileGetsNoWarningAndStrictCountsThem) {
    for (const bool strict : {false, true}) {
        int status = -1;
        const std::string out =
            check_output(clean_days(), block_site_file("1 'ELEV'\n"), plot_row, status, strict);
        EXPECT_EQ(out, "1 site checked, 0 problems, 0 warnings\n");
        EXPECT_EQ(status, 0);
    }
    scratch_dir dir;
    dir.write("sites.txt", plot_row);
    dir.write("plot.sfp", site_file(""));
    dir.write("plot.wth", "1 1 2001 1 10 5 1\n");
    const tool_result warned = run_tool(dir.path(), {"--check", "sites.txt"});
    const tool_result strict = run_tool(dir.path(), {"--check", "--strict", "sites.txt"});
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(strict.status, 1);
    // The same lines; the last says why --strict fails.
    ASSERT_NE(warned.out.find(" warnings\n"), std::string::npos) << warned.out;
    EXPECT_EQ(strict.out,
              warned.out.substr(0, warned.out.size() - 1) + ", counted as problems by --strict\n");
    // The run does not audit: it says what it always said.
    const tool_result run = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find("Warning"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("finding"), std::string::npos) << run.out;
}

// A bad line is a problem of its own: the day after it is no gap.
TEST(Audit, NoGapIsCountedAfterABadLine) {
    day_lines days = clean_days();
    set_field(days[at(days, 5, 5, 2005)], 1, "13");
    int status = -1;
    const std::string out = check_output(days, block_site_file("1 'ELEV'\n"), plot_row, status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("plot.wth line 1586: month 13 is outside 1 to 12"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("missing"), std::string::npos) << out;
}

// The mean annual total divides by every year of the file: ten years just
// inside the upper bound and one ordinary year give no warning.
TEST(Audit, AnnualPrecipitationCountsEveryYear) {
    const struct {
        int last_year;
        const char *daily; // each day's precipitation
        bool warned;
    } cases[] = {{2001, nullptr, false}, {2010, "2.6", false}, {2010, "2.8", true}};
    for (const auto &c : cases) {
        day_lines days = clean_days(2001, c.last_year);
        if (c.daily != nullptr)
            for (std::string &line : days)
                set_field(line, 6, c.daily);
        int status = -1;
        const std::string out = check_output(days, block_site_file("1 'ELEV'\n"), plot_row, status);
        EXPECT_EQ(out.find("mean annual precipitation") != std::string::npos, c.warned)
            << c.last_year << " " << (c.daily ? c.daily : "") << "\n"
            << out;
    }
}

// The working directory and the site file refuse writing: taken away (as
// the user nobody under root), or refused in the seam.
TEST(Check, ReportsWhatTheRunCannotWrite) {
    for (const bool seam : {false, true}) {
        scratch_dir dir;
        dir.write("sites.txt", site_row("plot"));
        write_usual_site(dir, "plot");
        run_setup setup = {.faults = {{.call = "access", .times = 2, .err = EACCES},
                                      {.call = "open", .file = "plot.sfp", .err = EACCES}}};
        if (!seam) {
            if (!hand_to_unprivileged_user(dir))
                continue; // no unprivileged user can run the tool here
            chmod(dir.file("plot.sfp").c_str(), 0444);
            chmod(dir.path().c_str(), 0555);
            setup = {.unprivileged = true};
        }
        tool_result r = run_tool(dir.path(), {"--check", "sites.txt"}, setup);
        EXPECT_EQ(r.status, 1) << seam;
        EXPECT_NE(
            r.out.find("XXXX.sfp cannot be created in the working directory: Permission denied"),
            std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("Error opening for writing plot.sfp: Permission denied"),
                  std::string::npos)
            << r.out;
    }
}

// Ten sites of one climate, three of them planted wrong: each is named with
// its cause after the sites, counted, and listed on the page; with
// --no-neighbours nothing is said of it.
TEST(Check, NamesSitesThatDisagreeWithTheirNeighbours) {
    scratch_dir dir;
    std::string list;
    const char *places[] = {"45.0 9.0", "45.0 9.3", "45.0 9.6", "45.2 9.0", "45.2 9.3",
                            "45.2 9.6", "45.4 9.0", "45.4 9.3", "45.4 9.6", "9.15 45.2"};
    for (int i = 0; i < 10; ++i) {
        const std::string name = "s" + std::to_string(i);
        list += name + " " + places[i] + " 40 40 20 1.3 0.5 3 " + (i == 4 ? "1800" : "300") + "\n";
        dir.write(name + ".sfp", site_file_with_block_names("1 'ELEV'\n"));
        dir.write(name + ".wth", daily_file({}, i == 0 ? "20 10 3" : "20 10 0.3"));
    }
    dir.write("sites.txt", list);
    const tool_result checked =
        run_tool(dir.path(), {"--check", "sites.txt", "--report", "r.html"});
    for (const char *expected :
         {"Warning: sites.txt line 1: s0 disagrees with its 5 nearest sites (within 47 km): annual "
          "precipitation 1095.0 cm, 10 times their median of 109.5 cm: it looks like mm read as cm "
          "(the daily file takes cm)\n",
          "Warning: sites.txt line 5: s4 disagrees with its 5 nearest sites (within 32 km): mean "
          "temperature 15.0 degrees C at the listed 1800 m, +9.8 from their median at sea level "
          "(16.9, at 6.5 degrees C a km): the listed elevation looks wrong, the temperatures fit "
          "about 300 m\n",
          "Warning: sites.txt line 10: s9 has fewer than 3 sites within 200 km to compare with; at "
          "latitude 45.2, longitude 9.15 it fits the 5 sites around: latitude and longitude look "
          "swapped\n",
          "swapped\n10 sites checked, 0 problems, 45 warnings\n"})
        EXPECT_NE(checked.out.find(expected), std::string::npos) << checked.out;
    const std::string page = dir.read("r.html");
    EXPECT_LT(page.find("<li><a href=\"#site-10\">Warning: sites.txt line 10: s9 has fewer"),
              page.find("class=\"site-data\""));
    const tool_result off = run_tool(dir.path(), {"--check", "--no-neighbours", "sites.txt"});
    EXPECT_EQ(off.out.find("nearest"), std::string::npos) << off.out;
    EXPECT_NE(off.out.find("10 sites checked, 0 problems, 42 warnings\n"), std::string::npos);
}

} // namespace
