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

// The quantities in the order of the statistics' counts.
enum stat_quantity { q_prec, q_tmin, q_tmax, stat_quantities };
inline constexpr const char *quantity_names[stat_quantities] = {"precipitation", "Tmin", "Tmax"};

// A rule a month must pass: legacy (a temperature mean needs two valid
// days, a precipitation total one: the tables' own rule, nothing more),
// wmo, wmo35, pct:P or ghcnm.
enum class rule_kind { legacy, wmo, wmo35, percent, ghcnm };
struct completeness_rule {
    rule_kind kind = rule_kind::legacy;
    double percent = 0; // pct:P, 0 to 100
};

// The rule a text names; false when it names none.
bool parse_rule(std::string_view text, completeness_rule &rule);
// The rule as the command line names it ("wmo", "pct:20").
std::string rule_name(const completeness_rule &rule);

// Whether a month of length days, missing that many days of a quantity
// (absent days included) with its longest run of missing days, passes.
bool month_passes(const completeness_rule &rule, int quantity, int length, int missing,
                  int longest_gap);

// The rule and the years the statistics are computed under.
struct statistics_choice {
    completeness_rule rule;
    int first_year = 0, last_year = 0; // --years; 0: every year row
    bool is_default() const { return rule.kind == rule_kind::legacy && first_year == 0; }
    bool in_period(long year) const {
        return first_year == 0 || (year >= first_year && year <= last_year);
    }
};
// "--completeness wmo, --years 1991-2020", as messages name a choice.
std::string choice_name(const statistics_choice &choice);
// "1991-2020", or "all".
std::string period_name(const statistics_choice &choice);

// The days of one month of the tables, as the daily file gave them: bit
// d - 1 of valid[q] is set when day d has a valid value of quantity q.
struct month_days {
    uint32_t valid[stat_quantities] = {0, 0, 0};
    int year = 0; // the year field of its first day; 0: no day
};

// The days of every month of the tables, grouped as the tables are, and
// the year of each year row (the year field of its first day).
struct daily_months {
    int rows = 0;
    int row_year[max_years];
    month_days cells[max_years][months];
    // The calendar year of a cell.
    long year_of(int row, int month) const;
};

// Missing days of a quantity in a month of length days, absent ones
// included, and its longest run of them.
int missing_days(const month_days &m, int quantity, int length);
int longest_gap(const month_days &m, int quantity, int length);

// The daily reader's listener that groups the days into months as the
// tables do (a change of the month field closes a month, December passes a
// year), so that each cell of the tables has its days. finish() after the
// last line. A run of lines comes without dates: each day's day of the
// month is read from its text, and the year where a month starts.
class month_listener final : public daily_listener {
  public:
    explicit month_listener(daily_months &into);
    void line(std::string_view text, const daily_record *day, long number) override;
    void lines(const std::string_view *texts, const daily_record *days, size_t count,
               long first) override;
    bool needs_dates() const override { return false; }
    void finish();

  private:
    void add(const daily_record &day, int day_of_month);
    void start_month(int month, int year);
    void close_month();
    daily_months &into_;
    int month_ = 1, row_ = 0;
    month_days current_; // its year 0 until its first day
};

// Two listeners hearing the same lines (the audit and the months).
class listener_pair final : public daily_listener {
  public:
    listener_pair(daily_listener *first, daily_listener *second) : a_(first), b_(second) {}
    void line(std::string_view text, const daily_record *day, long number) override {
        a_->line(text, day, number);
        b_->line(text, day, number);
    }
    void lines(const std::string_view *texts, const daily_record *days, size_t count,
               long first) override {
        a_->lines(texts, days, count, first);
        b_->lines(texts, days, count, first);
    }
    bool needs_dates() const override { return a_->needs_dates() || b_->needs_dates(); }

  private:
    daily_listener *a_, *b_;
};

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
