// siteprep-import: each source's files, written from its documentation,
// become daily files of every day of whole years in degrees C and cm; bad
// inputs are named and leave nothing behind; the files it writes pass a
// check and give the block that the same days give by hand.
#include "batch_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

tool_result run_import(const scratch_dir &dir, const std::vector<std::string> &args) {
    run_setup setup;
    setup.program = SITEPREP_IMPORT_BIN;
    return run_tool(dir.path(), args, setup);
}

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
    return daily_file({first_year, years}, [&](int y, int m, int d, int doy) {
        const auto day = days.find(date_key(y, m, d));
        return std::to_string(d) + " " + std::to_string(m) + " " + std::to_string(y) + " " +
               std::to_string(doy) + " " +
               (day == days.end() ? "-99.99 -99.99 -99.99" : day->second) + "\n";
    });
}

const std::vector<std::string> plain_csv_args = {
    "csv",    "--date",      "date",   "--tmax",        "temp_max",
    "--tmin", "temp_min",    "--prcp", "precipitation", "--prcp-unit",
    "mm",     "--temp-unit", "C",      "--missing",     "NA"};

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

// Leap years, missing days and values, partial first and last years, the
// units converted with the decimals that keep every digit.
TEST_P(Import, WritesEveryDayOfWholeYears) {
    const source_case &c = GetParam();
    scratch_dir dir;
    for (const char *f : c.files)
        copy_data(dir, f);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--stations", "st.csv", c.files[0]});
    const tool_result r = run_import(dir, args);
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
                    {{"2012-02-28", "10.5 -5.0 0.00"},
                     {"2012-02-29", "-1.2 -99.99 2.54"},
                     {"2013-01-02", "-99.99 -99.99 0.07"}},
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
        // Named columns, NA and an empty field as missing.
        source_case{"csv",
                    plain_csv_args,
                    {"plain.csv"},
                    "plain.wth",
                    2012,
                    2,
                    {{"2012-01-01", "12.8 5.0 0.00"},
                     {"2012-01-02", "10.6 2.8 1.09"},
                     {"2012-02-29", "8.9 -99.99 1.98"},
                     {"2013-12-31", "6.1 1.7 -99.99"}},
                    "plain,csv,NA,NA,NA,2012-01-01,2013-12-31,731,727,728,728,373.77"}),
    [](const ::testing::TestParamInfo<source_case> &info) { return info.param.what; });

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
    const tool_result r = run_import(dir, args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(dir.snapshot().size(), 1u) << "a file was left beside the input";
}

std::string dly(const char *element, int year, int month, int day, int value) {
    std::string line = "USC00123456" + std::to_string(year) + (month < 10 ? "0" : "") +
                       std::to_string(month) + element;
    for (int d = 1; d <= 31; ++d) {
        char slot[16];
        std::snprintf(slot, sizeof slot, "%5d   ", d == day ? value : -9999);
        line += slot;
    }
    return line + "\n";
}

const char daymet_head[] = "year,yday,prcp (mm/day),tmax (deg c),tmin (deg c)\n";

INSTANTIATE_TEST_SUITE_P(
    Formats, BadInput,
    ::testing::Values(
        bad_case{"duplicated_date",
                 {"daymet"},
                 (std::string(daymet_head) + "2001,1,0,1,0\n2001,1,0,1,0\n"),
                 "in.txt line 3: the date 2001-01-01 again"},
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
                 "in.txt line 1: a value for day 30 of a month of 28 days"}),
    [](const ::testing::TestParamInfo<bad_case> &info) { return info.param.what; });

} // namespace
