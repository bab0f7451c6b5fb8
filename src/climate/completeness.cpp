// The completeness rules of the monthly values, the days of each month as
// the daily reader hands them over, and what a rule and a period leave of
// the tables.
#include "completeness.h"
#include "calendar.h"
#include "daily_line.h"
#include "tokens.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// A rule of the table: its name (a rule with a share takes ":P" after
// it, P from 0 to 100), what --help says of it after its name, and its
// test of a month of length days missing that many days of a temperature
// or of precipitation, with its longest run of missing days.
struct rule_row {
    const char *name;
    bool takes_share;
    const char *help;
    bool (*passes)(double share, bool temperature, int length, int missing, int longest_gap);
};

// The rules in the order the help and the messages list them; the first
// is the default.
constexpr rule_row rules[] = {
    {"legacy", false,
     "(the default: a temperature mean needs 2 valid days, a precipitation total 1)",
     [](double, bool, int, int, int) { return true; }},
    {"wmo", false,
     "(temperature: at most 10 days missing and at most 4 in a row; precipitation: none)",
     [](double, bool temperature, int, int missing, int gap) {
         return temperature ? missing <= 10 && gap <= 4 : missing == 0;
     }},
    {"wmo35", false, "(temperature: at most 5, at most 3 in a row; precipitation: none)",
     [](double, bool temperature, int, int missing, int gap) {
         return temperature ? missing <= 5 && gap <= 3 : missing == 0;
     }},
    {"ghcnm", false, "(precipitation: at most 5 missing; temperature as wmo)",
     [](double, bool temperature, int, int missing, int gap) {
         return temperature ? missing <= 10 && gap <= 4 : missing <= 5;
     }},
    {"pct", true, "(at most P % of a month's days missing)",
     [](double share, bool, int length, int missing, int) {
         return missing * 100.0 <= share * length;
     }},
};
constexpr int rule_count = static_cast<int>(sizeof rules / sizeof rules[0]);

// A row's name as the help and the messages give it: "pct:P" for one
// with a share.
std::string shown_rule(const rule_row &r) {
    return std::string(r.name) + (r.takes_share ? ":P" : "");
}

} // namespace

bool parse_rule(std::string_view text, completeness_rule &rule) {
    for (int k = 0; k < rule_count; ++k) {
        const std::string_view name = rules[k].name;
        if (!rules[k].takes_share) {
            if (text == name) {
                rule = {k, 0};
                return true;
            }
            continue;
        }
        if (text.size() <= name.size() || text.substr(0, name.size()) != name ||
            text[name.size()] != ':')
            continue;
        float p = 0;
        if (!parse_float(text.substr(name.size() + 1), p) || !(p >= 0 && p <= 100))
            return false;
        rule = {k, static_cast<double>(p)};
        return true;
    }
    return false;
}

std::string rule_name(const completeness_rule &rule) {
    const rule_row &r = rules[rule.row];
    if (!r.takes_share)
        return r.name;
    char text[32];
    std::snprintf(text, sizeof text, "%s:%g", r.name, rule.percent);
    return text;
}

std::string rules_help() {
    std::string text;
    for (const rule_row &r : rules)
        text += (text.empty() ? "" : ", ") + shown_rule(r) + " " + r.help;
    return text;
}

std::string rules_listed() {
    std::string text;
    for (int k = 0; k < rule_count; ++k)
        text += (k == 0               ? ""
                 : k + 1 < rule_count ? ", "
                                      : " or ") +
                shown_rule(rules[k]) + (rules[k].takes_share ? " with P from 0 to 100" : "");
    return text;
}

bool month_passes(const completeness_rule &rule, int quantity, int length, int missing,
                  int longest_gap) {
    return rules[rule.row].passes(rule.percent, quantity != q_prec, length, missing, longest_gap);
}

std::string period_name(const statistics_choice &choice) {
    return choice.first_year == 0
               ? std::string("all")
               : std::to_string(choice.first_year) + "-" + std::to_string(choice.last_year);
}

std::string choice_name(const statistics_choice &choice) {
    std::string name = "--completeness " + rule_name(choice.rule);
    if (choice.first_year != 0)
        name += ", --years " + period_name(choice);
    return name;
}

long daily_months::year_of(int row, int month) const {
    const int own = cells[row][month - 1].year;
    return own != 0 ? own : row_year[row];
}

namespace {

// The days 1 to length of a month.
uint32_t days_mask(int length) {
    return length >= 32 ? ~0u : (1u << length) - 1;
}

} // namespace

int missing_days(const month_days &m, int quantity, int length) {
    // The days set, counted without a library call (a build for any x86-64
    // has no popcount instruction).
    uint32_t x = m.valid[quantity] & days_mask(length);
    x = x - (x >> 1 & 0x55555555u);
    x = (x & 0x33333333u) + (x >> 2 & 0x33333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0fu;
    return length - static_cast<int>(x * 0x01010101u >> 24);
}

int longest_gap(const month_days &m, int quantity, int length) {
    // The longest run of set bits of the missing days: each step shortens
    // every run by one.
    uint32_t missing = ~m.valid[quantity] & days_mask(length);
    int longest = 0;
    for (; missing != 0; ++longest)
        missing &= missing << 1;
    return longest;
}

std::vector<month_summary> summarize_months(const statistics_choice &choice,
                                            const daily_months &days, int years,
                                            const monthly_tables &tables) {
    const month_table *table[stat_quantities] = {&tables.prec, &tables.tmin, &tables.tmax};
    std::vector<month_summary> out;
    const int rows = years < days.rows ? years : days.rows;
    out.reserve(static_cast<size_t>(rows * months));
    for (int row = 0; row < rows; ++row)
        for (int m = 0; m < months; ++m) {
            month_summary s;
            s.year = days.year_of(row, m + 1);
            s.month = m + 1;
            s.length = month_length(s.year, s.month);
            s.in_period = choice.in_period(days.row_year[row]);
            const month_days &cell = days.cells[row][m];
            for (int q = 0; q < stat_quantities; ++q) {
                s.value[q] = (*table[q])[row][m];
                const int missing = missing_days(cell, q, s.length);
                const int gap = longest_gap(cell, q, s.length);
                s.days[q] = s.length - missing;
                s.longest_gap = gap > s.longest_gap ? gap : s.longest_gap;
                const bool has = s.value[q] != missing_value;
                s.legacy |= has ? 1u << q : 0u;
                if (has && s.in_period && month_passes(choice.rule, q, s.length, missing, gap))
                    s.used |= 1u << q;
            }
            out.push_back(s);
        }
    return out;
}

int select_months(const std::vector<month_summary> &list, const monthly_tables &in,
                  monthly_tables &out) {
    const month_table *from[stat_quantities] = {&in.prec, &in.tmin, &in.tmax};
    month_table *to[stat_quantities] = {&out.prec, &out.tmin, &out.tmax};
    int kept = 0;
    for (size_t row = 0; row * months < list.size(); ++row) {
        const month_summary *r = &list[row * months];
        if (!r->in_period)
            continue;
        for (int q = 0; q < stat_quantities; ++q)
            for (int m = 0; m < months; ++m)
                (*to[q])[kept][m] = (r[m].used & 1u << q) != 0 ? (*from[q])[row][m] : missing_value;
        ++kept;
    }
    return kept;
}

sample_skew sample_skewness(const month_table &table, int years, int month) {
    double sum = 0;
    int n = 0;
    for (int y = 0; y < years; ++y)
        if (const float x = table[y][month]; x != missing_value) {
            sum += static_cast<double>(x);
            ++n;
        }
    if (n < 3)
        return {NAN, NAN};
    const double count = n, mean = sum / count;
    double m2 = 0, m3 = 0;
    for (int y = 0; y < years; ++y)
        if (const float x = table[y][month]; x != missing_value) {
            const double d = static_cast<double>(x) - mean;
            m2 += d * d;
            m3 += d * d * d;
        }
    m2 /= count;
    m3 /= count;
    const double se =
        std::sqrt(6.0 * count * (count - 1) / ((count - 2) * (count + 1) * (count + 3)));
    if (!(m2 > 0))
        return {NAN, se};
    const double g1 = m3 / std::pow(m2, 1.5);
    return {g1 * std::sqrt(count * (count - 1)) / (count - 2), se};
}

double annual_cv(const month_table &prec, int years) {
    std::vector<double> totals;
    for (int y = 0; y < years; ++y) {
        double total = 0;
        int m = 0;
        for (; m < months && prec[y][m] != missing_value; ++m)
            total += static_cast<double>(prec[y][m]);
        if (m == months)
            totals.push_back(total);
    }
    if (totals.size() < 2)
        return NAN;
    double sum = 0;
    for (double t : totals)
        sum += t;
    const double count = static_cast<double>(totals.size()), mean = sum / count;
    double m2 = 0;
    for (double t : totals)
        m2 += (t - mean) * (t - mean);
    return mean > 0 ? std::sqrt(m2 / (count - 1)) / mean : NAN;
}
