// siteprep-import: each source's files, written from its documentation,
// become daily files of every day of whole years in degrees C and cm; bad
// inputs are named and leave nothing behind; the files it writes pass a
// check and give the block that the same days give by hand.
#include "checksum.h"
#include "data.h"
#include "table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

void copy_data(const scratch_dir &dir, const std::string &name) {
    fs::copy_file(std::string(SITEPREP_TEST_DATA) + "/import/" + name, dir.file(name));
}

std::string date_key(int y, int m, int d) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
    return text;
}

// The daily file of whole years whose days are missing but those given.
std::string expected_wth(int first_year, int years,
                         const std::map<std::string, std::string> &days) {
    return daily_file({.first_year = first_year, .years = years}, [&](const file_day &d) {
        const auto day = days.find(date_key(d.year, d.month, d.day));
        return day == days.end() ? "-99.99 -99.99 -99.99" : day->second;
    });
}

const std::vector<std::string> plain_csv_args = {
    "csv",    "--date",      "date",   "--tmax",        "temp_max",
    "--tmin", "temp_min",    "--prcp", "precipitation", "--prcp-unit",
    "mm",     "--temp-unit", "C",      "--missing",     "NA"};

// The csv arguments with some replaced or added.
std::vector<std::string> csv_with(std::initializer_list<std::string> more) {
    std::vector<std::string> args = plain_csv_args;
    for (auto it = more.begin(); it != more.end(); it += 2) {
        const auto at = std::find(args.begin(), args.end(), *it);
        if (at == args.end())
            args.insert(args.end(), {*it, *(it + 1)});
        else
            *(at + 1) = *(it + 1);
    }
    return args;
}

struct source_case {
    const char *what;
    std::vector<std::string> args;
    std::vector<const char *> files; // the input first
    const char *wth;
    int first_year, years;
    std::map<std::string, std::string> days;
    const char *station; // its row in the stations table
};

class Import : public ::testing::TestWithParam<source_case> {};

// The days given of plain.csv and USC00123456.dly.
const std::map<std::string, std::string> plain_days = {{"2012-01-01", "12.8 5.0 0.00"},
                                                       {"2012-01-02", "10.6 2.8 1.09"},
                                                       {"2012-02-29", "8.9 -99.99 1.98"},
                                                       {"2013-12-31", "6.1 1.7 -99.99"}},
                                         ghcn_days = {{"2012-02-28", "10.5 -5.0 0.00"},
                                                      {"2012-02-29", "-1.2 -99.99 2.54"},
                                                      {"2013-01-02", "-99.99 -99.99 0.07"}};

// Leap years, missing days and values, partial first and last years, the
// units converted with the decimals that keep every digit.
TEST_P(Import, WritesEveryDayOfWholeYears) {
    const source_case &c = GetParam();
    scratch_dir dir;
    for (const char *f : c.files)
        copy_data(dir, f);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--stations", "st.csv", c.files[0]});
    const tool_result r = run_import(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream got(dir.read(c.wth)), want(expected_wth(c.first_year, c.years, c.days));
    int line = 0;
    for (std::string g, w; std::getline(want, w);) {
        ++line;
        ASSERT_TRUE(std::getline(got, g)) << "ends before line " << line;
        ASSERT_EQ(g, w) << "line " << line;
    }
    std::string extra;
    EXPECT_FALSE(std::getline(got, extra)) << "more than " << line << " lines: " << extra;
    EXPECT_NE(dir.read("st.csv").find(std::string(c.station) + "\r\n"), std::string::npos)
        << dir.read("st.csv");
}

INSTANTIATE_TEST_SUITE_P(
    Sources, Import,
    ::testing::Values(
        // Float years, mm to cm, -9999, and December 31 of a leap year absent.
        source_case{"daymet",
                    {"daymet"},
                    {"daymet.csv"},
                    "daymet.wth",
                    2011,
                    2,
                    {{"2011-12-30", "2.5 -3.5 0.125"},
                     {"2011-12-31", "3 -4 0.000"},
                     {"2012-02-28", "5.5 -1 1.234"},
                     {"2012-02-29", "6 -2.25 0.0"},
                     {"2012-12-30", "1 -99.99 0.33"}},
                    "daymet,daymet,41.9,-93.6,310,2011-12-30,2012-12-30,731,726,727,726,123.38"},
        // Tenths, a quality flag, a trace, another element ignored.
        source_case{"ghcn",
                    {"ghcn", "--ghcn-stations", "ghcnd-stations.txt"},
                    {"USC00123456.dly", "ghcnd-stations.txt"},
                    "USC00123456.wth",
                    2012,
                    2,
                    ghcn_days,
                    "USC00123456,ghcn,41.9000,-93.6000,310.0,2012-02-28,2013-01-02,731,729,730,"
                    "728,317.77"},
        // The header's missing value, columns in their own order.
        source_case{"power",
                    {"power"},
                    {"power.csv"},
                    "power.wth",
                    2019,
                    2,
                    {{"2019-12-30", "31.2 21.05 0.001"},
                     {"2019-12-31", "30.5 22 -99.99"},
                     {"2020-02-29", "29.88 -99.99 1.35"},
                     {"2020-03-01", "30 20.5 0.0"}},
                    "power,power,6.6237,-1.2132,228.15,2019-12-30,2020-03-01,731,727,728,728,"
                    "164.48"},
        // A normals period: the years given, every day of them.
        source_case{"power_years",
                    {"power", "--years", "2020-2021"},
                    {"power.csv"},
                    "power.wth",
                    2020,
                    2,
                    {{"2020-02-29", "29.88 -99.99 1.35"}, {"2020-03-01", "30 20.5 0.0"}},
                    "power,power,6.6237,-1.2132,228.15,2020-02-29,2020-03-01,731,729,730,729,"
                    "246.54"},
        // Named columns, NA and an empty field as missing.
        source_case{"csv",
                    plain_csv_args,
                    {"plain.csv"},
                    "plain.wth",
                    2012,
                    2,
                    plain_days,
                    "plain,csv,NA,NA,NA,2012-01-01,2013-12-31,731,727,728,728,373.77"},
        // A source of no place given one: on the command line, by name in
        // a points table, by station ID in a site list (its field 10).
        source_case{"csv_placed",
                    csv_with({"--lat", "47.93", "--lon", "-122.96", "--elevation", "12.5"}),
                    {"plain.csv"},
                    "plain.wth",
                    2012,
                    2,
                    plain_days,
                    "plain,csv,47.93,-122.96,12.5,2012-01-01,2013-12-31,731,727,728,728,373.77"},
        source_case{"csv_from_points",
                    csv_with({"--points", "points.csv"}),
                    {"plain.csv", "points.csv"},
                    "plain.wth",
                    2012,
                    2,
                    plain_days,
                    "plain,csv,47.93,-122.96,12.5,2012-01-01,2013-12-31,731,727,728,728,373.77"},
        source_case{"ghcn_from_a_site_list",
                    {"ghcn", "--points", "sites.txt"},
                    {"USC00123456.dly", "sites.txt"},
                    "USC00123456.wth",
                    2012,
                    2,
                    ghcn_days,
                    "USC00123456,ghcn,41.9,266.4,310,2012-02-28,2013-01-02,731,729,730,728,"
                    "317.77"}),
    case_name<source_case>);

struct bad_case {
    const char *what;
    std::vector<std::string> args;
    std::string text;
    const char *said;
};

class BadInput : public ::testing::TestWithParam<bad_case> {};

// An input the format cannot take is named with its line and column, and
// no daily file is left, whole or in part.
TEST_P(BadInput, IsNamedAndLeavesNothing) {
    const bad_case &c = GetParam();
    scratch_dir dir;
    dir.write("in.txt", c.text);
    std::vector<std::string> args = c.args;
    args.push_back("in.txt");
    const tool_result r = run_import(dir.path(), args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(dir.snapshot().size(), 1u) << "a file was left beside the input";
}

const char daymet_head[] = "year,yday,prcp (mm/day),tmax (deg c),tmin (deg c)\n";

INSTANTIATE_TEST_SUITE_P(
    Formats, BadInput,
    ::testing::Values(
        bad_case{"duplicated_date",
                 {"daymet"},
                 (std::string(daymet_head) + "2001,1,0,1,0\n2001,1,0,1,0\n"),
                 "in.txt line 3: the date 2001-01-01 again"},
        // The fill's target (its own donor here) with a date twice.
        bad_case{"fill_target_with_a_date_twice",
                 {"fill", "--donor", "in.txt", "-o", "."},
                 "1 1 2001 1 20 10 0\n1 1 2001 1 21 11 0\n2 1 2001 2 22 12 0\n",
                 "in.txt line 2: 2001-01-01 again"},
        bad_case{"out_of_order",
                 {"power"},
                 "YEAR,MO,DY,T2M_MAX,T2M_MIN,PRECTOT\n2001,1,2,1,0,0\n2001,1,1,1,0,0\n",
                 "in.txt line 3: the date 2001-01-01 before a date above it"},
        bad_case{"day_366_in_daymet",
                 {"daymet"},
                 (std::string(daymet_head) + "2000,366,0,1,0\n"),
                 "in.txt line 2: day 366 of 2000 does not exist"},
        bad_case{"column_left_out",
                 {"daymet"},
                 "year,yday,tmax (deg c),tmin (deg c)\n",
                 "in.txt line 1: no column \"prcp\" in the header row"},
        bad_case{"not_daymet", {"daymet"}, "a,b\n1,2\n", "no header row starting with year"},
        bad_case{"more_years_than_siteprep_reads",
                 {"power"},
                 "YEAR,DOY,T2M_MAX,T2M_MIN,PRECTOT\n1500,1,1,0,0\n2000,1,1,0,0\n",
                 "in.txt line 3: the date 2000-01-01: more than 500 years from the first"},
        bad_case{"no_day_in_the_years",
                 {"power", "--years", "1991-2020"},
                 "YEAR,DOY,T2M_MAX,T2M_MIN,PRECTOT\n2021,1,1,0,0\n",
                 "in.txt: no day in 1991-2020"},
        bad_case{"no_such_date", plain_csv_args,
                 "date,precipitation,temp_max,temp_min\n2021-02-30,0,1,0\n",
                 "in.txt line 2: the date 2021-02-30 does not exist"},
        bad_case{"bad_number", plain_csv_args,
                 "date,precipitation,temp_max,temp_min\n2021-02-03,1,1e5,0\n",
                 "in.txt line 2: column \"temp_max\": not a number: \"1e5\""},
        bad_case{"ghcn_month_again",
                 {"ghcn"},
                 (dly("TMAX", 2001, 1, 1, 5) + dly("TMAX", 2001, 1, 2, 5)),
                 "in.txt line 2: TMAX of 2001-01 again"},
        bad_case{"ghcn_february_30",
                 {"ghcn"},
                 dly("PRCP", 2001, 2, 30, 5),
                 "in.txt line 1: a value for day 30 of a month of 28 days"},
        bad_case{"a_blank_shifts_the_fields", csv_with({"--delimiter", " "}),
                 "date precipitation temp_max temp_min\n2021-02-03  1 1 0\n",
                 "in.txt line 2: 5 fields, the header row has 4"},
        bad_case{"ghcn_records_joined",
                 {"ghcn"},
                 (dly("TMAX", 2001, 1, 1, 5).substr(0, 269) + dly("TMAX", 2001, 2, 1, 5)),
                 "in.txt line 1: 538 characters; a .dly line has 269"},
        bad_case{"a_name_of_two_columns", csv_with({"--tmax", "tmax"}),
                 "date,precipitation,tmax (C),tmax (F),temp_min\n2021-02-03,1,1,34,0\n",
                 "in.txt line 1: \"tmax\" names 2 columns of the header row: \"tmax (C)\" "
                 "(column 3) and \"tmax (F)\" (column 4)"},
        bad_case{"a_column_of_no_value", plain_csv_args,
                 "date,precipitation,temp_max,temp_min\n2021-02-03,1,1,NA\n",
                 "in.txt: no tmin value on any of the 365 days written"},
        bad_case{"ghcn_without_tmax",
                 {"ghcn"},
                 (dly("TMIN", 2001, 1, 1, 5) + dly("PRCP", 2001, 1, 1, 5)),
                 "in.txt: no tmax value on any of the 365 days written"},
        bad_case{"a_word_for_missing", plain_csv_args,
                 "date,precipitation,temp_max,temp_min\n2021-02-03,1,M,0\n",
                 "column \"temp_max\": not a number: \"M\" (give --missing M if it means "
                 "missing)"}),
    case_name<bad_case>);

std::string with_cr(std::string text) {
    std::replace(text.begin(), text.end(), '\n', '\r');
    return text;
}

const std::string ghcn_day =
    dly("TMAX", 2001, 1, 1, 20) + dly("TMIN", 2001, 1, 1, 10) + dly("PRCP", 2001, 1, 1, 100);
const char bom[] = "\xEF\xBB\xBF";

struct read_case {
    const char *what;
    std::vector<std::string> args;
    std::string text;
    const char *first_line; // of the daily file
};

class Reads : public ::testing::TestWithParam<read_case> {};

// A byte-order mark, any line end, columns of blanks, the column named.
TEST_P(Reads, TheDayAsGiven) {
    const read_case &c = GetParam();
    scratch_dir dir;
    dir.write("in.txt", c.text);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--name", "x", "in.txt"});
    const tool_result r = run_import(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("x.wth").rfind(c.first_line, 0), 0u) << dir.read("x.wth").substr(0, 80);
}

const std::string csv_head = "date,precipitation,temp_max,temp_min\n";

INSTANTIATE_TEST_SUITE_P(
    Formats, Reads,
    ::testing::Values(
        read_case{"csv_bom", plain_csv_args, bom + csv_head + "2001-01-01,10,2,1\n",
                  "1 1 2001 1 2 1 1.0\n"},
        read_case{"daymet_bom",
                  {"daymet"},
                  bom + (daymet_head + std::string("2001,1,10,2,1\n")),
                  "1 1 2001 1 2 1 1.0\n"},
        read_case{"power_bom",
                  {"power"},
                  bom + std::string("YEAR,DOY,T2M_MAX,T2M_MIN,PRECTOT\n2001,1,2,1,10\n"),
                  "1 1 2001 1 2 1 1.0\n"},
        read_case{"ghcn_bom", {"ghcn"}, bom + ghcn_day, "1 1 2001 1 2.0 1.0 1.00\n"},
        read_case{"ghcn_cr_line_ends", {"ghcn"}, with_cr(ghcn_day), "1 1 2001 1 2.0 1.0 1.00\n"},
        read_case{"blank_runs", csv_with({"--delimiter", "space"}),
                  "date  precipitation\ttemp_max temp_min\n  2001-01-01   10 \t 2  1 \n",
                  "1 1 2001 1 2 1 1.0\n"},
        read_case{"the_unit_asked_for", csv_with({"--tmax", "tmax (F)"}),
                  "date,precipitation,tmax (C),tmax (F),temp_min\n2001-01-01,10,2,5,1\n",
                  "1 1 2001 1 5 1 1.0\n"},
        read_case{"the_name_folded", csv_with({"--tmax", "TMAX (f)"}),
                  "date,precipitation,tmax (C),tmax (F),temp_min\n2001-01-01,10,2,5,1\n",
                  "1 1 2001 1 5 1 1.0\n"},
        // The fewest decimals that give the float back, past 12 of the
        // source's; the source's own where they do.
        read_case{"decimals_past_a_float", csv_with({"--prcp-unit", "cm"}),
                  csv_head + "2001-01-01,0.30000000000000004,7.619999999999999,"
                             "12.345678901234567\n",
                  "1 1 2001 1 7.62 12.345679 0.3\n"},
        read_case{"decimals_far_below_1", csv_with({"--prcp-unit", "cm"}),
                  csv_head + "2001-01-01,0.000000000000000000001234,2.50,1.25\n",
                  "1 1 2001 1 2.50 1.25 0.000000000000000000001234\n"},
        // The physical range: its bounds kept, a value past them missing.
        read_case{"range_bounds_kept_and_just_past", plain_csv_args,
                  csv_head + "2001-01-01,2000,60,-90\n2001-01-02,-0.01,60.01,-90.01\n",
                  "1 1 2001 1 60 -90 200.0\n2 1 2001 2 -99.99 -99.99 -99.99\n"},
        read_case{"range_gridmet_fill_value",
                  {"daymet"},
                  daymet_head + std::string("2001,1,-3276.7,5,1\n2001,2,1,2,1\n"),
                  "1 1 2001 1 5 1 -99.99\n"},
        read_case{"range_power_tmax",
                  {"power"},
                  "YEAR,DOY,T2M_MAX,T2M_MIN,PRECTOT\n2001,1,99.9,1,0\n2001,2,2,1,0\n",
                  "1 1 2001 1 -99.99 1 0.0\n"},
        read_case{"range_ghcn_tenths",
                  {"ghcn"},
                  dly("TMAX", 2001, 1, 1, 9999) + dly("TMAX", 2001, 2, 1, 20) +
                      dly("TMIN", 2001, 1, 1, -950) + dly("TMIN", 2001, 2, 1, 10) +
                      dly("PRCP", 2001, 1, 1, 100),
                  "1 1 2001 1 -99.99 -99.99 1.00\n"}),
    case_name<read_case>);

} // namespace

namespace {

// Ten years of days in tenths (of a degree, of a mm), as each source
// gives them; Daymet leaves out December 31 of leap years.
struct tenths_day {
    int tmax, tmin, prcp;
};
tenths_day day_values(int y, int m, int d) {
    const int tmax = 100 + (d * 7 + m * 3 + y) % 130;
    return {tmax, tmax - 80 - d % 3 * 10, (d * 5 + m + y) % 17 * 3};
}
std::string tenths(int v) {
    return (v < 0 ? "-" : "") + std::to_string(std::abs(v) / 10) + "." +
           std::to_string(std::abs(v) % 10);
}
bool daymet_drops(int y, int doy) {
    return doy == 366 && (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0));
}

std::string source_text(const std::string &format, int first_year, int years) {
    const daily_days days{first_year, years};
    if (format == "ghcn") {
        std::string text;
        for (const char *element : {"TMAX", "TMIN", "PRCP"})
            for (int y = first_year; y < first_year + years; ++y)
                for (int m = 1; m <= 12; ++m) {
                    char head[32];
                    std::snprintf(head, sizeof head, "USC00123456%04d%02d%s", y, m, element);
                    std::string line = head;
                    for (int d = 1; d <= 31; ++d) {
                        const int last = m == 2 ? (y % 4 == 0 ? 29 : 28)
                                         : m == 4 || m == 6 || m == 9 || m == 11 ? 30
                                                                                 : 31;
                        const tenths_day v = day_values(y, m, d);
                        const int value = d > last            ? -9999
                                          : element[1] == 'R' ? v.prcp
                                          : element[2] == 'A' ? v.tmax
                                                              : v.tmin;
                        char slot[16];
                        std::snprintf(slot, sizeof slot, "%5d   ", value);
                        line += slot;
                    }
                    text += line + "\n";
                }
        return text;
    }
    const char *head = format == "daymet"  ? "year,yday,prcp (mm/day),tmax (deg c),tmin (deg c)\n"
                       : format == "power" ? "YEAR,DOY,T2M_MIN,T2M_MAX,PRECTOTCORR\n"
                                           : "date,precipitation,temp_max,temp_min\n";
    std::string text = head;
    for_each_day(days, [&](const file_day &d) {
        const tenths_day v = day_values(d.year, d.month, d.day);
        const std::string p = tenths(v.prcp), x = tenths(v.tmax), n = tenths(v.tmin);
        const std::string y = std::to_string(d.year), doy = std::to_string(d.day_of_year);
        if (format == "daymet")
            text += daymet_drops(d.year, d.day_of_year)
                        ? ""
                        : y + "," + doy + "," + p + "," + x + "," + n + "\n";
        else if (format == "power")
            text += y + "," + doy + "," + n + "," + x + "," + p + "\n";
        else
            text += date_key(d.year, d.month, d.day) + "," + p + "," + x + "," + n + "\n";
    });
    return text;
}

// The same days written by hand, in cm.
std::string hand_wth(int first_year, int years, bool daymet) {
    return daily_file({.first_year = first_year, .years = years}, [&](const file_day &d) {
        const tenths_day v = day_values(d.year, d.month, d.day);
        char values[64];
        if (daymet && daymet_drops(d.year, d.day_of_year))
            std::snprintf(values, sizeof values, "-99.99 -99.99 -99.99");
        else
            std::snprintf(values, sizeof values, "%s %s %d.%02d", tenths(v.tmax).c_str(),
                          tenths(v.tmin).c_str(), v.prcp / 100, v.prcp % 100);
        return std::string(values);
    });
}

std::vector<std::string> import_args(const std::string &format) {
    if (format != "csv")
        return {format};
    return {"csv",    "--date",        "date",        "--tmax", "temp_max",    "--tmin", "temp_min",
            "--prcp", "precipitation", "--prcp-unit", "mm",     "--temp-unit", "C"};
}

class ImportThenRun : public ::testing::TestWithParam<const char *> {};

// An imported file passes the check without a word (a Daymet file with the
// one of its calendar), and its site gets the block that the same days
// written by hand give.
TEST_P(ImportThenRun, ChecksCleanAndGivesTheHandBlock) {
    const std::string format = GetParam();
    scratch_dir dir;
    dir.write("plot.src", source_text(format, 1996, 10));
    std::vector<std::string> args = import_args(format);
    args.insert(args.end(), {"--name", "plot", "plot.src"});
    const tool_result imported = run_import(dir.path(), args);
    ASSERT_EQ(imported.status, 0) << imported.err;
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.sfp", site_file_with_block_names("0.0 'ELEV'\n"));
    const tool_result checked = run_tool(dir.path(), {"--check", "sites.txt"});
    EXPECT_EQ(checked.status, 0) << checked.out;
    // Daymet's leap-year December 31, the one warning: 1996, 2000, 2004.
    const size_t warning = checked.out.find("Warning");
    if (format == "daymet") {
        EXPECT_NE(checked.out.find("Warning: plot.wth: December 31 of 3 leap years has no value"),
                  std::string::npos)
            << checked.out;
        EXPECT_EQ(checked.out.find("Warning", warning + 1), std::string::npos) << checked.out;
    } else {
        EXPECT_EQ(warning, std::string::npos) << checked.out;
    }
    ASSERT_EQ(run_tool(dir.path(), {"sites.txt"}).status, 0);
    const std::string from_import = dir.read("plot.sfp");
    dir.write("plot.wth", hand_wth(1996, 10, format == "daymet"));
    dir.write("plot.sfp", site_file_with_block_names("0.0 'ELEV'\n"));
    ASSERT_EQ(run_tool(dir.path(), {"sites.txt"}).status, 0);
    EXPECT_EQ(from_import, dir.read("plot.sfp"));
}

INSTANTIATE_TEST_SUITE_P(Sources, ImportThenRun,
                         ::testing::Values("daymet", "ghcn", "power", "csv"));

// The same days in two formats give the same daily file, to the byte
// (Daymet cannot give December 31 of a leap year; 2001-2003 has none).
TEST(Import, TheSameDaysInAnyFormatGiveTheSameFile) {
    scratch_dir dir;
    std::string first;
    for (const char *format : {"ghcn", "power", "csv", "daymet"}) {
        dir.write("in.src", source_text(format, 2001, 3));
        std::vector<std::string> args = import_args(format);
        args.insert(args.end(), {"--force", "--name", "same", "in.src"});
        ASSERT_EQ(run_import(dir.path(), args).status, 0) << format;
        const std::string wth = dir.read("same.wth");
        if (first.empty())
            first = wth;
        EXPECT_EQ(wth, first) << format;
    }
    EXPECT_EQ(first, hand_wth(2001, 3, false));
}

} // namespace

namespace {

const char one_day[] = "date,precipitation,temp_max,temp_min\n2001-06-01,1.5,20,10\n";

std::vector<std::string> csv_args(std::initializer_list<std::string> more) {
    std::vector<std::string> args = import_args("csv");
    args.insert(args.end(), more);
    return args;
}

std::vector<std::string> stations_args(std::initializer_list<std::string> more) {
    std::vector<std::string> args = {"stations",        "--points", "p.csv",
                                     "--ghcn-stations", "b/x.csv",  "--inventory",
                                     "a/x.csv",         "--years",  "1991-2020"};
    args.insert(args.end(), more);
    return args;
}

// An existing daily file is replaced only when the user says so.
TEST(ImportOutputs, AnExistingFileIsReplacedOnlyWithForce) {
    scratch_dir dir;
    dir.write("in.csv", one_day);
    dir.write("in.wth", "the user's own\n");
    const tool_result refused = run_import(dir.path(), csv_args({"in.csv"}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("in.wth exists: --force replaces it"), std::string::npos)
        << refused.err;
    EXPECT_EQ(dir.read("in.wth"), "the user's own\n");
    ASSERT_EQ(run_import(dir.path(), csv_args({"--force", "in.csv"})).status, 0);
    EXPECT_NE(dir.read("in.wth").find("1 6 2001 152 20 10 0.15\n"), std::string::npos);
}

// No output may be an input or another output, nor a --stations file that
// is no such table, nor a name that no site list can hold: refused before
// any write.
TEST(ImportOutputs, RefusedBeforeAnyWrite) {
    const struct {
        std::vector<std::string> args;
        const char *said;
    } cases[] = {
        {csv_args({"x.wth"}), "x.wth is the input x.wth and the daily file of x.wth at once"},
        {csv_args({"a/x.csv", "b/x.csv"}), "x.wth is the daily file of b/x.csv and the daily "
                                           "file of a/x.csv at once"},
        {csv_args({"--stations", "b/y.csv", "b/y.csv"}),
         "b/y.csv is the input b/y.csv and the --stations file at once"},
        // The directory made for the daily files goes again.
        {csv_args({"-o", "made/here", "a/x.csv", "b/x.csv"}),
         "made/here/x.wth is the daily file of b/x.csv and the daily file of a/x.csv at once"},
        {csv_args({"--stations", "b/y.csv", "a/x.csv"}), "b/y.csv is not a stations table"},
        {csv_args({"--stations", "none/st.csv", "a/x.csv"}),
         "Error writing none/st.csv: No such file or directory"},
        // A pipe or device would lose to a look for the station ID what it gives.
        {{"ghcn", "/dev/null"},
         "/dev/null: not a regular file, whose station can be read "
         "ahead: give --name"},
        {csv_args({"a b.csv"}), "a b.csv: the name \"a b\" holds white space or a control "
                                "character, which no site list can name: give --name"},
        // p.csv places x at 91 N and has no row for y.
        {csv_args({"--points", "p.csv", "a/x.csv"}),
         "a/x.csv: the latitude \"91\" is not a number from -90 to 90 in p.csv line 2"},
        {csv_args({"--points", "p.csv", "b/y.csv"}), "b/y.csv: no row for \"y\" in the --points "
                                                     "file p.csv"},
        {csv_args({"--points", "b/y.csv", "a/x.csv"}),
         "b/y.csv line 1: a table of places needs the columns name"},
        // The stations command: its choice table is an output like any.
        {stations_args({"--choice", "p.csv"}), "p.csv is the --points file and the --choice file"},
        {stations_args({"--choice", "b/y.csv"}), "b/y.csv is not a choice table"},
        {stations_args({"--choice", "c.csv"}),
         "b/x.csv line 1: shorter than the 37 columns of ID, latitude, longitude and elevation"},
    };
    for (const auto &c : cases) {
        scratch_dir dir;
        fs::create_directory(dir.file("a"));
        fs::create_directory(dir.file("b"));
        for (const char *f : {"x.wth", "a/x.csv", "b/x.csv", "b/y.csv", "a b.csv"})
            dir.write(f, one_day);
        dir.write("p.csv", "name,lat,lon\nx,91,0\n");
        const auto before = dir.snapshot();
        const tool_result r = run_import(dir.path(), c.args);
        EXPECT_EQ(r.status, 1) << c.said;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_TRUE(dir.snapshot() == before) << c.said;
    }
}

// With --keep-going a failed input does not stop the others, and the
// failures are listed at the end; without it the import stops there.
TEST(ImportOutputs, KeepGoingListsTheFailedInputs) {
    for (const bool keep_going : {true, false}) {
        scratch_dir dir;
        dir.write("bad.csv", "date,precipitation,temp_max\n");
        dir.write("good.csv", one_day);
        std::vector<std::string> args = csv_args({"bad.csv", "good.csv"});
        if (keep_going)
            args.insert(args.begin() + 1, "--keep-going");
        const tool_result r = run_import(dir.path(), args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(dir.exists("good.wth"), keep_going);
        EXPECT_EQ(r.err.find("Failed inputs:\nbad.csv line 1: no column \"temp_min\"") !=
                      std::string::npos,
                  keep_going)
            << r.err;
        EXPECT_EQ(r.err.find("1 of 2 inputs failed") != std::string::npos, keep_going) << r.err;
    }
}

} // namespace

namespace {

// A second import updates the stations table: the rows of the names
// imported now replaced in place, new ones added, the others kept, the
// modes of the files replaced kept; an import of nothing changes nothing.
TEST(ImportOutputs, TheStationsTableIsUpdated) {
    scratch_dir dir;
    for (const char *f : {"a.csv", "b.csv", "c.csv"})
        dir.write(f, one_day);
    ASSERT_EQ(run_import(dir.path(), csv_args({"--stations", "st.csv", "a.csv", "b.csv"})).status,
              0);
    const std::string first = dir.read("st.csv");
    const std::string header = first.substr(0, first.find("\r\n") + 2);
    const std::string b_row = first.substr(first.find("\r\nb,") + 2); // the last
    const fs::perms mine = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(dir.file("a.wth"), mine);
    fs::permissions(dir.file("st.csv"), mine | fs::perms::group_read);
    dir.write("a.csv", std::string(one_day) + "2001-06-02,1,20,10\n");
    ASSERT_EQ(
        run_import(dir.path(), csv_args({"--force", "--stations", "st.csv", "c.csv", "a.csv"}))
            .status,
        0);
    const std::string table = dir.read("st.csv");
    const size_t a_end = table.find("\r\n", header.size()) + 2;
    EXPECT_EQ(table.rfind(header + "a,csv,NA,NA,NA,2001-06-01,2001-06-02,", 0), 0u) << table;
    EXPECT_EQ(table.substr(a_end, b_row.size()), b_row) << table;
    EXPECT_EQ(table.rfind("c,csv,"), a_end + b_row.size()) << table;
    EXPECT_EQ(fs::status(dir.file("a.wth")).permissions(), mine);
    EXPECT_EQ(fs::status(dir.file("st.csv")).permissions(), mine | fs::perms::group_read);
    dir.write("bad.csv", "date\n");
    EXPECT_EQ(run_import(dir.path(), csv_args({"--stations", "st.csv", "bad.csv"})).status, 1);
    EXPECT_EQ(dir.read("st.csv"), table);
}

// The importer run from a shell script, as $0.
tool_result run_import_script(const scratch_dir &dir, const std::string &script) {
    return run_tool(dir.path(), {"-c", script, SITEPREP_IMPORT_BIN}, {.program = "/bin/sh"});
}

const char csv_command[] = "\"$0\" csv --date date --tmax temp_max --tmin temp_min --prcp "
                           "precipitation --prcp-unit mm --temp-unit C";

// "-" reads standard input, through the guard like any input; -o makes
// the directory and those above it.
TEST(ImportOutputs, DashReadsStandardInput) {
    scratch_dir dir;
    dir.write("in.csv", one_day);
    const std::string command = std::string("exec ") + csv_command + " -o w/2001 --name x ";
    const tool_result r = run_import_script(dir, command + "- < in.csv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "w/2001/x.wth: 365 days from standard input\n");
    EXPECT_NE(dir.read("w/2001/x.wth").find("1 6 2001 152 20 10 0.15\n"), std::string::npos);
    const tool_result itself = run_import_script(dir, command + "--force - < w/2001/x.wth");
    EXPECT_EQ(itself.status, 1);
    EXPECT_NE(itself.err.find("x.wth is the same file as /dev/stdin"), std::string::npos)
        << itself.err;
}

// SIGTERM while the input (a pipe whose writer is still open) is read ends
// the import as the signal would, with the old daily file as it was and no
// temporary file left.
TEST(ImportOutputs, AnInterruptLeavesTheOldFile) {
    scratch_dir dir;
    mkfifo(dir.file("in.csv").c_str(), 0600);
    dir.write("in.wth", "the user's own\n");
    // The writer's open returns once the importer has opened the pipe, its
    // temporary file made; closed after the signal, so that an importer
    // that ignores it finishes instead of waiting.
    const tool_result r = run_import_script(
        dir, std::string(csv_command) + " --force in.csv & p=$!\nexec 3>in.csv\nprintf '" +
                 "date,precipitation,temp_max,temp_min\\n2001-06-01,1.5,20,10\\n' >&3\n" +
                 "kill -TERM $p\nexec 3>&-\nwait $p\necho $?\n");
    EXPECT_EQ(r.out, "143\n") << r.err;
    EXPECT_EQ(dir.read("in.wth"), "the user's own\n");
    EXPECT_EQ(dir.snapshot().size(), 2u);
}

// An interrupt (here sent as the second daily file is renamed into
// place) leaves the stations table as a run of the files written would:
// their rows, an earlier row of the same name replaced where it stood,
// the other sites' rows kept, its mode kept; none for the file not
// written, and no temporary file. In every format, filled or not.
TEST(ImportOutputs, AnInterruptLeavesARowForEveryFileWritten) {
    const struct {
        const char *format;
        std::vector<std::string> more;
    } cases[] = {{"csv", {}}, {"ghcn", {}}, {"ghcn", {"--fill-from", "near.wth"}}, {"power", {}}};
    // Three imported now, after an import of another.
    const std::vector<std::string> names = {"USC0000000A", "USC0000000B", "USC0000000C",
                                            "USC0000000Z"};
    for (const auto &c : cases) {
        scratch_dir dir;
        dir.write("near.wth", daily_file({.first_year = 2001, .years = 1}, "15.5 3.25 0.2"));
        std::string text = source_text(c.format, 2001, 1);
        for (const std::string &name : names) {
            // The station's ID where GHCN has it; the file's name for the others.
            for (size_t at = text.find("USC00123456"); at != std::string::npos;
                 at = text.find("USC00123456", at))
                text.replace(at, 11, name);
            dir.write(name + ".src", text);
            text = source_text(c.format, 2001, 1);
        }
        const auto import = [&](std::vector<std::string> inputs) {
            std::vector<std::string> args = import_args(c.format);
            args.insert(args.end(), c.more.begin(), c.more.end());
            args.insert(args.end(), {"--force", "--stations", "st.csv"});
            for (const std::string &name : inputs)
                args.push_back(name + ".src");
            return args;
        };
        ASSERT_EQ(run_import(dir.path(), import({names[3]})).status, 0) << c.format;
        // The first's row before the other's, and again after it.
        const std::string z_table = dir.read("st.csv");
        const size_t z_row = z_table.find("\r\n") + 2;
        const std::string earlier = z_table.substr(0, z_row) + names[0] + ",stale\r\n" +
                                    z_table.substr(z_row) + names[0] + ",older\r\n";
        dir.write("st.csv", earlier);
        fs::permissions(dir.file("st.csv"), fs::perms::owner_read | fs::perms::owner_write);
        ASSERT_EQ(run_import(dir.path(), import({names[0], names[1]})).status, 0) << c.format;
        const std::string whole = dir.read("st.csv");
        for (const int sig : {SIGTERM, SIGINT}) {
            dir.write("st.csv", earlier);
            fs::remove(dir.file(names[1] + ".wth"));
            const size_t before = dir.snapshot().size();
            const tool_result r = run_tool(
                dir.path(), import({names[0], names[1], names[2]}),
                {.program = SITEPREP_IMPORT_BIN,
                 .faults = {{.call = "rename", .file = names[1] + ".wth", .signal = sig}}});
            EXPECT_EQ(r.status, 128 + sig) << c.format << r.err;
            EXPECT_EQ(dir.read("st.csv"), whole) << c.format << " " << sig;
            EXPECT_EQ(fs::status(dir.file("st.csv")).permissions(),
                      fs::perms::owner_read | fs::perms::owner_write);
            EXPECT_FALSE(fs::exists(dir.file(names[2] + ".wth"))) << c.format;
            // B's daily file, and no temporary file.
            EXPECT_EQ(dir.snapshot().size(), before + 1) << c.format << " " << sig;
        }
    }
}

// Running out of memory (a line of 40 MB in 64 MB, room for the shared
// libraries of a build with the netCDF format) is an error, status 1, with
// no temporary file left.
TEST(ImportOutputs, OutOfMemoryStopsCleanly) {
    if (sanitized_build())
        GTEST_SKIP() << "a sanitizer's shadow memory needs more address space";
    scratch_dir dir;
    dir.write("in.csv", "date,precipitation,temp_max,temp_min\n2001-06-01,1," +
                            std::string(40 << 20, '2') + ",0\n");
    const tool_result r = run_tool(dir.path(), csv_args({"in.csv"}),
                                   {.program = SITEPREP_IMPORT_BIN, .memory_bytes = 64L << 20});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot allocate memory; siteprep-import stopped"), std::string::npos)
        << r.err;
    EXPECT_EQ(dir.snapshot().size(), 1u);
}

// A station of precipitation alone (most of GHCN-Daily) made usable: its
// temperatures are the donor's as they are (no day to fit a bias on),
// recorded as such, and its own precipitation is kept.
TEST(Import, GhcnFillFromGivesAPrecipitationStationItsTemperatures) {
    scratch_dir dir;
    dir.write("in.dly", dly("PRCP", 2001, 1, 1, 100) + dly("PRCP", 2001, 2, 3, 25));
    dir.write("near.wth", daily_file({.first_year = 2000, .years = 3}, "15.5 3.25 0.2"));
    const tool_result r = run_import(dir.path(), {"ghcn", "--fill-from", "near.wth", "in.dly"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find("USC00123456.wth: filled tmax 365 (near.wth 365), tmin 365 (near.wth 365), "
                   "prcp 0; still missing: tmax 0, tmin 0, prcp 363"),
        std::string::npos)
        << r.out;
    const std::string wth = dir.read("USC00123456.wth");
    EXPECT_EQ(wth.rfind("1 1 2001 1 15.50 3.25 1.00\n2 1 2001 2 15.50 3.25 -99.99\n", 0), 0u)
        << wth.substr(0, 100);
    // Its record tied to the daily file written with it.
    EXPECT_NE(dir.read("USC00123456.fill.csv")
                  .find("\r\n2001-01-01,tmax,15.50,donor-unadjusted,near.wth,0," +
                        std::to_string(crc32_of(wth.data(), wth.size())) + "\r\n"),
              std::string::npos);
    // A fill record left of an earlier fill is replaced only with --force.
    fs::remove(dir.file("USC00123456.wth"));
    const tool_result again = run_import(dir.path(), {"ghcn", "--fill-from", "near.wth", "in.dly"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("USC00123456.fill.csv exists: --force replaces it"), std::string::npos)
        << again.err;
    // Without --fill-from the station is refused, as before.
    EXPECT_EQ(run_import(dir.path(), {"ghcn", "-o", "plain", "in.dly"}).status, 1);
}

} // namespace
