// How complete a month must be to enter the statistics, and over which
// years: the completeness rules, the days of each month as a daily file
// gives them (valid days, absent days, the longest gap), the tables a rule
// and a period leave, and the sample skewness with its standard error.
#pragma once

#include "process_weather.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char *quantity_names[stat_quantities] = {"precipitation", "Tmin", "Tmax"};

// A rule a month must pass, a row of the table of rules (completeness.cpp:
// each rule's name, its test of a month and its words in the help), with
// its share where it takes one (pct:P). The first row, legacy, is the
// default: a temperature mean needs two valid days, a precipitation total
// one (the tables' own rule, nothing more).
struct completeness_rule {
    int row = 0;
    double percent = 0; // pct:P, 0 to 100
    bool is_default() const { return row == 0; }
};

// The rule a text names; false when it names none.
bool parse_rule(std::string_view text, completeness_rule &rule);
// The rule as the command line names it ("wmo", "pct:20").
std::string rule_name(const completeness_rule &rule);
// The rules as --help gives them: "legacy (the default: ...), wmo (...),
// ...", each its name and its words.
std::string rules_help();
// The rules as a message lists them: "legacy, wmo, ... or pct:P with P
// from 0 to 100".
std::string rules_listed();

// Whether a month of length days, missing that many days of a quantity
// (absent days included) with its longest run of missing days, passes.
bool month_passes(const completeness_rule &rule, int quantity, int length, int missing,
                  int longest_gap);

// The rule and the years the statistics are computed under.
struct statistics_choice {
    completeness_rule rule;
    int first_year = 0, last_year = 0; // --years; 0: every year row
    bool is_default() const { return rule.is_default() && first_year == 0; }
    bool in_period(long year) const {
        return first_year == 0 || (year >= first_year && year <= last_year);
    }
};
// "--completeness wmo, --years 1991-2020", as messages name a choice.
std::string choice_name(const statistics_choice &choice);
// "1991-2020", or "all".
std::string period_name(const statistics_choice &choice);

// Missing days of a quantity in a month of length days, absent ones
// included, and its longest run of them.
int missing_days(const month_days &m, int quantity, int length);
int longest_gap(const month_days &m, int quantity, int length);

// A month of a year row: its days as --monthly gives them, and whether
// it enters the statistics of a choice.
struct month_summary {
    long year = 0;
    int month = 0;
    float value[stat_quantities] = {}; // as the tables hold them (missing_value: none)
    int days[stat_quantities] = {};    // valid days
    int length = 0, longest_gap = 0;   // the longest gap of any quantity
    int filled = -1;                   // days filled, from the fill's record; -1: unknown
    unsigned legacy = 0;               // bit q: the tables have a value
    unsigned used = 0;                 // bit q: it enters the statistics of the choice
    bool in_period = true;
};
// Every month of years year rows, twelve a row, in order.
std::vector<month_summary> summarize_months(const statistics_choice &choice,
                                            const daily_months &days, int years,
                                            const monthly_tables &tables);

// The tables the months' summaries leave: the rows of the period, in
// order, and in them the months the rule fails set to the missing value.
// The rows kept.
int select_months(const std::vector<month_summary> &list, const monthly_tables &in,
                  monthly_tables &out);

// The sample skewness G1 = g1 * sqrt(n(n - 1)) / (n - 2) of the values of
// a month that are not the missing value (g1 the population skewness, in
// double precision, in two passes), and its standard error
// sqrt(6n(n - 1) / ((n - 2)(n + 1)(n + 3))); not-a-number below 3 values,
// and G1 too when they do not vary.
struct sample_skew {
    double g1 = 0, se = 0;
};
sample_skew sample_skewness(const month_table &table, int years, int month);

// The coefficient of variation (sample standard deviation over the mean)
// of the annual precipitation totals of the year rows whose twelve months
// all have a value; not-a-number below two such rows or a mean of 0.
double annual_cv(const month_table &prec, int years);
