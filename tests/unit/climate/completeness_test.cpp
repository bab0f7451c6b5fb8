// The completeness rules on a year of planted gaps, worked out by hand
// month by month; the years of a period; the sample skewness.
#include "completeness.h"
#include "data.h"
#include "table.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>

namespace {

// Days missing (-99.99) or absent (no line) in each month of 2001; the
// temperature gaps are Tmin's and Tmax's alike.
bool temp_missing(int month, int day) {
    switch (month) {
    case 4: // 5 in a row
        return day >= 5 && day <= 9;
    case 5: // 10 apart
        return day % 2 == 0 && day <= 20;
    case 6: // 11 apart
        return day % 2 == 0 && day <= 22;
    case 8: // 3 in a row and 2 apart: 5, the longest 3
        return day <= 3 || day == 10 || day == 20;
    case 9: // 6 apart
        return day % 2 == 0 && day <= 12;
    case 10: // all but the first
        return day > 1;
    default:
        return false;
    }
}

bool prec_missing(int month, int day) {
    return (month == 2 && day == 10) || (month == 7 && day % 2 == 0 && day <= 12) ||
           (month == 12 && day % 3 == 0 && day <= 15);
}

// March 10 to 13 and all of November are absent from the file.
bool absent(int month, int day) {
    return (month == 3 && day >= 10 && day <= 13) || month == 11;
}

std::string planted_year() {
    return daily_file({.first_year = 2001}, [](const file_day &d) {
        if (absent(d.month, d.day))
            return std::string();
        const char *t = temp_missing(d.month, d.day) ? "-99.99" : "10";
        const std::string temps = std::string(t) + " " + (temp_missing(d.month, d.day) ? t : "2");
        return temps + (prec_missing(d.month, d.day) ? " -99.99" : " 0.5");
    });
}

// The tables and months of a daily text.
struct read_file {
    monthly_tables tables;
    daily_months days;
    int years = 0;
};

void read_text(const std::string &text, read_file &into) {
    std::string copy = text;
    FILE *fp = fmemopen(copy.data(), copy.size(), "r");
    os::line_reader reader(fp, os::max_daily_line);
    daily_options how;
    how.months = &into.days;
    daily_error err;
    into.years = process_daily_weather(reader, into.tables.prec, into.tables.tmin, into.tables.tmax,
                                       err, how) +
                 1;
    std::fclose(fp);
}

struct rule_case {
    const char *what;
    const char *rule;
    // Month by month, Y where the month enters the statistics: the
    // temperatures' and the precipitation's.
    const char *temps, *prec;
};

TABLE_TEST(Completeness, rule_case);

TEST_P(Completeness, KeepsTheMonthsWorkedOutByHand) {
    const rule_case &c = GetParam();
    static read_file r;
    read_text(planted_year(), r);
    ASSERT_EQ(r.years, 1);
    statistics_choice choice;
    ASSERT_TRUE(parse_rule(c.rule, choice.rule));
    EXPECT_EQ(rule_name(choice.rule), c.rule);
    static monthly_tables kept;
    ASSERT_EQ(select_months(summarize_months(choice, r.days, r.years, r.tables), r.tables, kept),
              1);
    for (int m = 0; m < months; ++m) {
        EXPECT_EQ(kept.tmin[0][m] != missing_value, c.temps[m] == 'Y') << "Tmin, month " << m + 1;
        EXPECT_EQ(kept.tmax[0][m] != missing_value, c.temps[m] == 'Y') << "Tmax, month " << m + 1;
        EXPECT_EQ(kept.prec[0][m] != missing_value, c.prec[m] == 'Y') << "prec, month " << m + 1;
    }
}

// By hand, month by month (J F M A M J J A S O N D): March misses 4 days in
// a row of everything, April 5 temperatures in a row, May 10 and June 11
// apart, August 5 with 3 in a row, September 6 apart, October all but one
// (too few for the tables' own rule), November is absent (a month the
// tables never close: 0.0 by default); February misses 1 precipitation
// day, July 6, December 5 (3 apart).
INSTANTIATE_TABLE(Completeness, rule_case{"legacy", "legacy", "YYYYYYYYYNYY", "YYYYYYYYYYYY"},
                  rule_case{"wmo", "wmo", "YYYNYNYYYNNY", "YNNYYYNYYYNN"},
                  rule_case{"wmo35", "wmo35", "YYNNNNYYNNNY", "YNNYYYNYYYNN"},
                  rule_case{"ghcnm", "ghcnm", "YYYNYNYYYNNY", "YYYYYYNYYYNY"},
                  rule_case{"pct20", "pct:20", "YYYYNNYYYNNY", "YYYYYYYYYYNY"});

TEST(Completeness, CountsAbsentDatesAndTheLongestGap) {
    static read_file r;
    read_text(planted_year(), r);
    const std::vector<month_summary> list = summarize_months({}, r.days, r.years, r.tables);
    ASSERT_EQ(list.size(), 12u);
    const month_summary &march = list[2], &august = list[7], &november = list[10];
    EXPECT_EQ(march.length, 31);
    EXPECT_EQ(march.days[q_prec], 27);
    EXPECT_EQ(march.longest_gap, 4);
    EXPECT_EQ(august.days[q_tmax], 26);
    EXPECT_EQ(august.longest_gap, 3);
    EXPECT_EQ(november.days[q_tmin], 0);
    EXPECT_EQ(november.longest_gap, 30);
    EXPECT_EQ(november.used, 7u); // the legacy rule takes its 0.0
}

// The same days in other layouts: blanks before the day, the day padded
// with zeros, tabs between the fields, the year with a sign.
TEST(Completeness, TheDaysAreTheSameInAnyLayout) {
    static read_file plain, other;
    read_text(planted_year(), plain);
    const std::vector<month_summary> want =
        summarize_months({}, plain.days, plain.years, plain.tables);
    for (const char *layout : {"  %d %d %d", "%03d\t%d\t%d", "%02d %d +%d", "0%d %d 0%d"}) {
        std::string text, line;
        std::istringstream lines(planted_year());
        while (std::getline(lines, line)) {
            int day = 0, month = 0, year = 0, n = 0;
            if (std::sscanf(line.c_str(), "%d %d %d %n", &day, &month, &year, &n) != 3)
                continue;
            char date[40];
            std::snprintf(date, sizeof date, layout, day, month, year);
            text += std::string(date) + " " + line.substr(static_cast<size_t>(n)) + "\n";
        }
        read_text(text, other);
        const std::vector<month_summary> got =
            summarize_months({}, other.days, other.years, other.tables);
        ASSERT_EQ(got.size(), want.size()) << layout;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].year, want[i].year) << layout << ", month " << i + 1;
            EXPECT_EQ(std::vector<int>(got[i].days, got[i].days + 3),
                      std::vector<int>(want[i].days, want[i].days + 3))
                << layout << ", month " << i + 1;
            EXPECT_EQ(got[i].longest_gap, want[i].longest_gap) << layout << ", month " << i + 1;
        }
    }
}

TEST(Completeness, RulesThatAreNone) {
    completeness_rule rule;
    for (const char *text :
         {"", "WMO", "pct", "pct:", "pctx20", "pct:101", "pct:-1", "pct:nan", "wmo ", "wmo:5"})
        EXPECT_FALSE(parse_rule(text, rule)) << text;
}

TEST(Completeness, YearsKeepTheRowsOfThePeriod) {
    static read_file r;
    read_text(daily_file({.first_year = 2001, .years = 3, .days_a_month = 2},
                         [](const file_day &d) {
                             return std::to_string(d.year - 2000) + " 0 " +
                                    std::to_string(d.year - 2000);
                         }),
              r);
    statistics_choice choice;
    choice.first_year = 2002;
    choice.last_year = 2010;
    static monthly_tables kept;
    ASSERT_EQ(select_months(summarize_months(choice, r.days, r.years, r.tables), r.tables, kept),
              2);
    EXPECT_EQ(kept.tmax[0][0], 2.0f);
    EXPECT_EQ(kept.prec[1][11], 6.0f);
}

// 10, 20 and 60: m2 = 1400 / 3, m3 = 6000, g1 = 6000 / 10081.15 = 0.595171,
// G1 = g1 * sqrt(3 * 2) / 1 = 1.457863, SE = sqrt(6 * 3 * 2 / (1 * 4 * 6)) =
// sqrt(1.5).
TEST(Completeness, SampleSkewnessAndItsError) {
    static month_table t;
    t[0][0] = 10;
    t[1][0] = missing_value;
    t[2][0] = 20;
    t[3][0] = 60;
    const sample_skew s = sample_skewness(t, 4, 0);
    EXPECT_NEAR(s.g1, 1.457863, 1e-6);
    EXPECT_NEAR(s.se, 1.22474, 1e-5);
    EXPECT_TRUE(std::isnan(sample_skewness(t, 3, 0).g1)); // two values
    t[3][0] = 20;
    t[0][0] = 20;
    EXPECT_TRUE(std::isnan(sample_skewness(t, 4, 0).g1)); // values that do not vary
}

// Annual totals 12, 24 and 36 (a row with a missing month left out): mean
// 24, sample deviation 12, so a CV of 0.5; one whole row gives none.
TEST(Completeness, AnnualPrecipitationCv) {
    static month_table t;
    const float each[] = {1, 5, 2, 3}; // a month's total in each row
    for (int y = 0; y < 4; ++y)
        for (int m = 0; m < months; ++m)
            t[y][m] = each[y];
    t[1][4] = missing_value;
    EXPECT_DOUBLE_EQ(annual_cv(t, 4), 0.5);
    EXPECT_TRUE(std::isnan(annual_cv(t, 2))); // rows 0 and 1: one whole
}

} // namespace
