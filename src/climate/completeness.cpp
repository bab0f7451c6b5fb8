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

bool parse_rule(std::string_view text, completeness_rule &rule) {
    static constexpr std::pair<const char *, rule_kind> named[] = {{"legacy", rule_kind::legacy},
                                                                   {"wmo", rule_kind::wmo},
                                                                   {"wmo35", rule_kind::wmo35},
                                                                   {"ghcnm", rule_kind::ghcnm}};
    for (const auto &[name, kind] : named)
        if (text == name) {
            rule = {kind, 0};
            return true;
        }
    if (text.substr(0, 4) != "pct:")
        return false;
    float p = 0;
    if (!parse_float(text.substr(4), p) || !(p >= 0 && p <= 100))
        return false;
    rule = {rule_kind::percent, static_cast<double>(p)};
    return true;
}

std::string rule_name(const completeness_rule &rule) {
    switch (rule.kind) {
    case rule_kind::legacy:
        return "legacy";
    case rule_kind::wmo:
        return "wmo";
    case rule_kind::wmo35:
        return "wmo35";
    case rule_kind::ghcnm:
        return "ghcnm";
    case rule_kind::percent:
        break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "pct:%g", rule.percent);
    return text;
}

bool month_passes(const completeness_rule &rule, int quantity, int length, int missing,
                  int longest_gap) {
    const bool temperature = quantity != q_prec;
    switch (rule.kind) {
    case rule_kind::legacy:
        return true;
    case rule_kind::wmo:
        return temperature ? missing <= 10 && longest_gap <= 4 : missing == 0;
    case rule_kind::wmo35:
        return temperature ? missing <= 5 && longest_gap <= 3 : missing == 0;
    case rule_kind::ghcnm:
        return temperature ? missing <= 10 && longest_gap <= 4 : missing <= 5;
    case rule_kind::percent:
        return missing * 100.0 <= rule.percent * length;
    }
    return true;
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
