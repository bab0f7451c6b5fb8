// Daily weather aggregation and monthly statistics. (The weather block a
// run writes is in the golden cases, tests/golden/block_*.)
#include "data.h"
#include "process_weather.h"
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
    os::line_reader reader(fp, os::max_daily_line);
    int last = process_daily_weather(reader, t.prec, t.tmin, t.tmax, err);
    std::fclose(fp);
    return last;
}

// Every day of the given months (first..last, 1-based) of `years` years,
// with the same values each day.
std::string days(int first_month, int last_month, int years, const char *values) {
    return daily_file(
        {.first_year = 2000, .years = years, .days_a_month = 3}, [=](const file_day &d) {
            return d.month < first_month || d.month > last_month ? std::string() : values;
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
    EXPECT_EQ(aggregate("1 1 2000 1 10 -99 3.5\n2 1 2000 2 -99.99 -99 -99\n", t, err), 0);
    EXPECT_EQ(t.tmax[0][0], missing_value);
    EXPECT_EQ(t.tmin[0][0], missing_value);
    EXPECT_EQ(t.prec[0][0], 3.5f);
    // -98.0 counts, anything below does not, and not-a-number is missing.
    EXPECT_EQ(aggregate("1 1 2000 1 -98.0 1 -99\n2 1 2000 2 -98 nan -98.0\n"
                        "3 1 2000 3 -98.01 3 1\n",
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
        {"1 1 2000 1 1 1 1\n\n2 1 2000 2 1 1\n", 3, "6 fields found, 7 needed"},
        {"1 1 2000 1 1 1 1\n1 13 2000 1 1 1 1\n", 2, "month 13 is outside 1 to 12"},
        {"1 0 2000 1 1 1 1\n", 1, "month 0 is outside 1 to 12"},
        {"1 1.5 2000 1 1 1 1\n", 1, "field 2 is not a whole number: \"1.5\""},
        {"1 1 2000 1 1 abc 1\n", 1, "field 6 is not a number: \"abc\""},
        {"1 1 2000 1 1 1 1x\n", 1, "field 7 is not a number: \"1x\""},
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
        {"1 +3 2000 61 +1.5 -2e1 0x1p3 trailing words\r\n", parse_status::ok, 1.5f, -20.0f, 8.0f},
        {"\t1\t3\t2000\t61\t.5\t1.\t1E1\r\n", parse_status::ok, 0.5f, 1.0f, 10.0f},
        // Beyond a float: inf in the block.
        {"\t1\t3\t2000\t61\t.5\t1.\tINF\r\n", parse_status::bad, 0, 0, 0},
        {"1 3 2000 61 1e39 1 1\n", parse_status::bad, 0, 0, 0},
        {"1 3 2000 61 1 -1e39 1\n", parse_status::bad, 0, 0, 0},
        {" \r\n", parse_status::blank, 0, 0, 0},
        {"1 3 2000 61 1e 1 1\n", parse_status::bad, 0, 0, 0},
        {"1 3 2000 61 1,5 1 1\n", parse_status::bad, 0, 0, 0},
        {"1 3 2000 99999999999 1 1 1\n", parse_status::bad, 0, 0, 0},
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
