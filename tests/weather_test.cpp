// Daily weather aggregation, monthly statistics and the weather block.
#include "batch_builder.h"
#include "process_weather.h"
#include "tool_runner.h"
#include "wthr.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

struct tables {
    month_table prec, tmin, tmax;
};

// Runs the aggregation over the given daily text.
int aggregate(const std::string &text, tables &t, daily_error &err) {
    std::string copy = text;
    FILE *fp =
        copy.empty() ? std::fopen("/dev/null", "r") : fmemopen(copy.data(), copy.size(), "r");
    line_reader reader(fp, max_daily_line);
    int last = process_daily_weather(reader, t.prec, t.tmin, t.tmax, err);
    std::fclose(fp);
    return last;
}

// Every day of the given months (first..last, 1-based) of `years` years,
// with the same values each day.
std::string days(int first_month, int last_month, int years, const char *values) {
    return daily_file({2000, years, 3}, [=](int y, int m, int d, int) {
        return m < first_month || m > last_month
                   ? std::string()
                   : std::to_string(y) + " " + std::to_string(m) + " " + std::to_string(d) + " 1 " +
                         values + "\n";
    });
}

TEST(DailyWeather, EmptyFileClosesJanuaryWithNoDays) {
    static tables t;
    daily_error err;
    EXPECT_EQ(aggregate("", t, err), 0);
    EXPECT_EQ(t.prec[0][0], missing_value);
    EXPECT_EQ(t.tmin[0][0], missing_value);
    EXPECT_EQ(t.tmax[0][0], missing_value);
    EXPECT_EQ(t.prec[0][1], 0.0f);
}

TEST(DailyWeather, StartInMarchEndInJune) {
    static tables t;
    daily_error err;
    EXPECT_EQ(aggregate(days(3, 12, 1, "20 10 1.5") + days(1, 6, 1, "24 12 2"), t, err), 1);
    // January of the first year was closed with no days; February never was.
    EXPECT_EQ(t.tmax[0][0], missing_value);
    EXPECT_EQ(t.prec[0][0], missing_value);
    EXPECT_EQ(t.tmax[0][1], 0.0f);
    EXPECT_EQ(t.prec[0][1], 0.0f);
    EXPECT_EQ(t.tmax[0][2], 20.0f);
    EXPECT_EQ(t.tmin[0][11], 10.0f);
    EXPECT_EQ(t.prec[0][11], 4.5f);
    EXPECT_EQ(t.tmax[1][5], 24.0f);
    // July to December of the last year keep their initial zero.
    for (int m = 6; m < 12; ++m) {
        EXPECT_EQ(t.tmax[1][m], 0.0f);
        EXPECT_EQ(t.prec[1][m], 0.0f);
    }
}

TEST(DailyWeather, YearsAdvanceOnlyAfterDecember) {
    static tables t;
    daily_error err;
    EXPECT_EQ(aggregate(days(1, 12, 3, "1 0 0"), t, err), 2);
    // January to November, then a whole year: the same row is written twice.
    EXPECT_EQ(aggregate(days(1, 11, 1, "5 1 1") + days(1, 12, 1, "7 2 2"), t, err), 0);
    EXPECT_EQ(t.tmax[0][0], 7.0f);
    EXPECT_EQ(t.prec[0][10], 6.0f);
    // December of one year straight to December of another is one month.
    EXPECT_EQ(aggregate(days(12, 12, 1, "3 1 1") + days(12, 12, 1, "5 1 1"), t, err), 0);
    EXPECT_EQ(t.tmax[0][11], 4.0f);
    EXPECT_EQ(t.prec[0][11], 6.0f);
}

TEST(DailyWeather, ValidityAndMinimumCounts) {
    static tables t;
    daily_error err;
    // One valid day: no temperature mean, but a precipitation total.
    EXPECT_EQ(aggregate("2000 1 1 1 10 -99 3.5\n2000 1 2 1 -99.99 -99 -99\n", t, err), 0);
    EXPECT_EQ(t.tmax[0][0], missing_value);
    EXPECT_EQ(t.tmin[0][0], missing_value);
    EXPECT_EQ(t.prec[0][0], 3.5f);
    // -98.0 counts, anything below does not, and not-a-number is missing.
    EXPECT_EQ(aggregate("2000 1 1 1 -98.0 1 -99\n2000 1 2 1 -98 nan -98.0\n"
                        "2000 1 3 1 -98.01 3 1\n",
                        t, err),
              0);
    EXPECT_EQ(t.tmax[0][0], -98.0f);
    EXPECT_EQ(t.tmin[0][0], 2.0f);
    EXPECT_EQ(t.prec[0][0], -97.0f);
}

TEST(DailyWeather, RejectsMalformedLinesWithTheirNumber) {
    const struct {
        const char *text;
        long line;
        const char *reason;
    } cases[] = {
        {"2000 1 1 1 1 1 1\n\n2000 1 2 1 1 1\n", 3, "6 fields found, 7 needed"},
        {"2000 1 1 1 1 1 1\n2000 13 1 1 1 1 1\n", 2, "month 13 is outside 1 to 12"},
        {"2000 0 1 1 1 1 1\n", 1, "month 0 is outside 1 to 12"},
        {"2000 1.5 1 1 1 1 1\n", 1, "field 2 is not a whole number: \"1.5\""},
        {"2000 1 1 1 1 abc 1\n", 1, "field 6 is not a number: \"abc\""},
        {"2000 1 1 1 1 1 1x\n", 1, "field 7 is not a number: \"1x\""},
    };
    for (const auto &c : cases) {
        static tables t;
        daily_error err;
        EXPECT_EQ(aggregate(c.text, t, err), -1) << c.text;
        EXPECT_EQ(err.line, c.line) << c.text;
        EXPECT_EQ(err.reason, c.reason) << c.text;
    }
}

TEST(DailyWeather, StopsPastFiveHundredYears) {
    static tables t;
    daily_error err;
    std::string text;
    for (int y = 0; y < 500; ++y)
        text += "0 1 0 0 1 1 1\n0 12 0 0 1 1 1\n";
    EXPECT_EQ(aggregate(text, t, err), 499) << err.reason;
    EXPECT_EQ(aggregate(text + "0 1 0 0 1 1 1\n", t, err), -1);
    EXPECT_EQ(err.line, 1001);
    EXPECT_EQ(err.reason, "more than 500 years of data");
}

TEST(DailyLine, AcceptsWhatTheScanAccepts) {
    const struct {
        const char *line;
        parse_status status;
        float tmax, tmin, prec;
    } cases[] = {
        {"2000 +3 1 1 +1.5 -2e1 0x1p3 trailing words\r\n", parse_status::ok, 1.5f, -20.0f, 8.0f},
        {"\t2000\t3\t1\t1\t.5\t1.\t1E1\r\n", parse_status::ok, 0.5f, 1.0f, 10.0f},
        // Beyond a float: inf in the block.
        {"\t2000\t3\t1\t1\t.5\t1.\tINF\r\n", parse_status::bad, 0, 0, 0},
        {"2000 3 1 1 1e39 1 1\n", parse_status::bad, 0, 0, 0},
        {"2000 3 1 1 1 -1e39 1\n", parse_status::bad, 0, 0, 0},
        {" \r\n", parse_status::blank, 0, 0, 0},
        {"2000 3 1 1 1e 1 1\n", parse_status::bad, 0, 0, 0},
        {"2000 3 1 1 1,5 1 1\n", parse_status::bad, 0, 0, 0},
        {"2000 3 1 99999999999 1 1 1\n", parse_status::bad, 0, 0, 0},
    };
    for (const auto &c : cases) {
        daily_record day;
        std::string why;
        ASSERT_EQ(parse_daily_line(c.line, day, why), c.status) << c.line;
        if (c.status == parse_status::ok) {
            EXPECT_EQ(day.month, 3);
            EXPECT_EQ(day.tmax, c.tmax);
            EXPECT_EQ(day.tmin, c.tmin);
            EXPECT_EQ(day.prec, c.prec);
        }
    }
}

// ---- statistics ----

std::string fmt4(float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(v));
    return buf;
}

struct stats_result {
    float mean[months], dev[months], skew[months];
    int replaced; // months whose skewness was replaced by 0
};

stats_result run_stats(int years, const month_table &table) {
    stats_result r;
    r.replaced = stats(years, table, r.mean, r.dev, r.skew);
    return r;
}

const std::string skew_message = "Unable to calculate SKEW value; replacing with 0.00\n";

TEST(Stats, PopulationMomentsOfThreeYears) {
    static month_table table = {};
    table[0][0] = 10.0f;
    table[1][0] = 20.0f;
    table[2][0] = 60.0f;
    for (int y = 0; y < 3; ++y)
        table[y][1] = 25.3f;
    table[0][2] = missing_value; // skipped
    table[1][2] = -99.98f;       // not the marker: a value
    table[2][2] = 1.0f;
    stats_result r = run_stats(3, table);
    EXPECT_EQ(fmt4(r.mean[0]), "30.0000");
    EXPECT_EQ(fmt4(r.dev[0]), "21.6025");
    EXPECT_EQ(fmt4(r.skew[0]), "0.5952");
    // Equal values leave a small variance in single precision: no replacement.
    EXPECT_EQ(fmt4(r.mean[1]), "25.3000");
    EXPECT_EQ(fmt4(r.dev[1]), "0.0110");
    EXPECT_NE(r.skew[1], 0.0f);
    EXPECT_EQ(fmt4(r.mean[2]), "-49.4900");
    // Months 4 to 12 hold zeros in every row: variance 0, one replaced each.
    EXPECT_EQ(r.replaced, 9);
}

TEST(Stats, OneYearAndEmptyMonths) {
    static month_table table = {};
    for (int m = 0; m < months; ++m)
        table[0][m] = 2.0f * static_cast<float>(m) - 5.0f;
    table[0][4] = missing_value;
    stats_result r = run_stats(1, table);
    for (int m = 0; m < months; ++m) {
        if (m == 4) {
            EXPECT_TRUE(std::isnan(r.mean[m]));
            EXPECT_TRUE(std::isnan(r.dev[m]));
            EXPECT_TRUE(std::isnan(r.skew[m]));
            continue;
        }
        EXPECT_EQ(r.mean[m], table[0][m]);
        EXPECT_EQ(r.dev[m], 0.0f);
        EXPECT_EQ(r.skew[m], 0.0f);
    }
    EXPECT_EQ(r.replaced, 11);
}

// ---- the weather block end to end ----

const char site_row[] = " 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n";

// The 60 lines of a block in which every month holds the same values.
std::string block_of(const char *prec, const char *prcstd, const char *prcskw, const char *tmin,
                     const char *tmax, const char *eol = "\n") {
    std::string s;
    const char *names[5] = {"PRECIP", "PRCSTD", "PRCSKW", "TMN2M", "TMX2M"};
    const char *values[5] = {prec, prcstd, prcskw, tmin, tmax};
    for (int k = 0; k < 5; ++k) {
        for (int m = 1; m <= 12; ++m) {
            char line[80];
            std::snprintf(line, sizeof line, "%-10s        '%s(%d)'%s", values[k], names[k], m,
                          eol);
            s += line;
        }
    }
    return s;
}

TEST(WeatherBlock, OneYearReplacesLinesThreeToSixtyTwo) {
    scratch_dir dir;
    dir.write("sites.txt", std::string("plot") + site_row);
    dir.write("plot.sfp", site_file_with_tail("0.5 'OTHER'\n"));
    dir.write("plot.wth", days(1, 12, 1, "20.5 -3.25 1.5"));
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 0) << r.out;
    std::string expected_out;
    for (int i = 0; i < 36; ++i)
        expected_out += skew_message;
    EXPECT_EQ(r.out, expected_out);
    EXPECT_EQ(dir.read("plot.sfp"),
              "Site parameters for a test plot\n'header line two'\n" +
                  block_of("4.5000", "0.0000", "0.0000", "-3.2500", "20.5000") + "0.5 'OTHER'\n");
}

TEST(WeatherBlock, MonthWithoutValidDaysPrintsNotANumber) {
    scratch_dir dir;
    dir.write("sites.txt", std::string("plot") + site_row);
    dir.write("plot.sfp", site_file_with_tail(""));
    dir.write("plot.wth", days(1, 2, 1, "20.5 -3.25 1.5") + days(3, 3, 1, "-99 -99 -99") +
                              days(4, 12, 1, "1 1 1"));
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 0) << r.out;
    // One year: every other month has no variance; March has no value at all.
    std::string expected_out;
    for (int i = 0; i < 33; ++i)
        expected_out += skew_message;
    EXPECT_EQ(r.out, expected_out);
    const std::string after = dir.read("plot.sfp");
    for (const char *name :
         {"'PRECIP(3)'", "'PRCSTD(3)'", "'PRCSKW(3)'", "'TMN2M(3)'", "'TMX2M(3)'"}) {
        const size_t at = after.find(name);
        ASSERT_NE(at, std::string::npos) << name;
        const std::string line =
            after.substr(after.rfind('\n', at) + 1, at - after.rfind('\n', at) - 1);
        EXPECT_TRUE(line == "-nan              " || line == "nan               ")
            << name << ": [" << line << "]";
    }
    EXPECT_NE(after.find("4.5000            'PRECIP(2)'\n"), std::string::npos);
}

TEST(WeatherBlock, LongFirstLineShortFilesAndCrLf) {
    const std::string long_line(300, 'L');
    std::string old_block;
    for (int i = 3; i <= 62; ++i)
        old_block += "old line " + std::to_string(i) + "\n";
    const std::string block = block_of("4.5000", "0.0000", "0.0000", "-3.2500", "20.5000");
    const struct {
        std::string before, after;
    } cases[] = {
        {long_line + "\nsecond\n" + old_block + "line 63\n",
         long_line + "\nsecond\n" + block + "line 63\n"},
        {"only line\nsecond\nthird\n", "only line\nsecond\n" + block},
        {"no line end", "no line end\n" + block},
        {"", block},
        {"crlf\r\nsecond\r\nold\r\n",
         "crlf\r\nsecond\r\n" +
             block_of("4.5000", "0.0000", "0.0000", "-3.2500", "20.5000", "\r\n")},
    };
    for (const auto &c : cases) {
        scratch_dir dir;
        dir.write("sites.txt", std::string("plot") + site_row);
        dir.write("plot.sfp", c.before);
        dir.write("plot.wth", days(1, 12, 1, "20.5 -3.25 1.5"));
        tool_result r = run_tool(dir.path(), {"sites.txt"});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(dir.read("plot.sfp"), c.after) << c.before.substr(0, 20);
    }
}

TEST(WeatherBlock, MalformedDailyLineKeepsTheSiteKeysOnly) {
    scratch_dir dir;
    dir.write("sites.txt", std::string("plot") + site_row);
    const std::string before = site_file_with_tail("1 ELEV\n");
    dir.write("plot.sfp", before);
    dir.write("plot.wth", days(1, 2, 1, "1 1 1") + "2000 2 7 1 1 1 oops\n");
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Update: 1530.0000         ELEV      \n"
                     "Error in weather data file plot.wth line 7: field 7 is not a number: "
                     "\"oops\"\n");
    EXPECT_EQ(dir.read("plot.sfp"), site_file_with_tail("1530.0000         ELEV      \n"));
    EXPECT_TRUE(dir.exists("soils.in"));
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

} // namespace

// ---- the statistics' evaluation order ----

// Every bit of mean, deviation and skewness against an independent
// single-precision model (data/make_stats_golden.py) over 300 monthly
// columns of realistic values: a reordered, fused or widened operation
// changes some of them.
TEST(Stats, MatchesTheGoldenBitsOfAnIndependentModel) {
    std::ifstream data(SITEPREP_TEST_DATA "/stats_golden.txt");
    ASSERT_TRUE(data) << "cannot read the golden data";
    const auto as_float = [](const std::string &hex) {
        return std::bit_cast<float>(static_cast<uint32_t>(std::stoul(hex, nullptr, 16)));
    };
    static month_table table;
    int columns = 0;
    for (std::string line; std::getline(data, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        int years = 0;
        fields >> years;
        ASSERT_TRUE(years >= 1 && years <= max_years) << line;
        std::string word;
        for (int y = 0; y < years && fields >> word; ++y)
            for (int m = 0; m < months; ++m)
                table[y][m] = as_float(word);
        fields >> word; // the bar before the expected values
        float mean[months], dev[months], skew[months], expected[3];
        for (float &e : expected) {
            fields >> word;
            e = as_float(word);
        }
        stats(years, table, mean, dev, skew);
        const float got[3] = {mean[0], dev[0], skew[0]};
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(std::bit_cast<uint32_t>(got[i]), std::bit_cast<uint32_t>(expected[i]))
                << "column " << columns << ", "
                << (i == 0   ? "mean"
                    : i == 1 ? "deviation"
                             : "skewness");
        ++columns;
    }
    EXPECT_EQ(columns, 300);
}
