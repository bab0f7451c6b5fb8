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

month_listener::month_listener(daily_months &into) : into_(into) {
    into_.rows = 1;
    into_.row_year[0] = 0;
    for (month_days &m : into_.cells[0])
        m = month_days();
}

void month_listener::close_month() {
    into_.cells[row_][month_ - 1] = current_;
    current_ = month_days();
}

// A day that starts a month, as the tables group days: the month before
// closed, and a row passed with December. Past the tables' last row the
// month stays 0, so that every day comes here and is left out.
void month_listener::start_month(int month, int year) {
    if (row_ >= max_years)
        return; // the reader ends here too
    if (month != month_) {
        close_month();
        if (month_ == 12 && ++row_ < max_years) {
            into_.rows = row_ + 1;
            into_.row_year[row_] = 0;
            for (month_days &m : into_.cells[row_])
                m = month_days();
        }
        month_ = row_ < max_years ? month : 0;
    }
    if (row_ < max_years && into_.row_year[row_] == 0)
        into_.row_year[row_] = year;
    current_.year = year;
}

namespace {

inline bool is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A whole-number field from pos, after its blanks, when it is plain (an
// optional minus and at most nine digits, as the vectorized reader takes
// them): its value, and pos past it; false for any other.
bool plain_whole(std::string_view text, size_t &pos, int &value) {
    while (pos < text.size() && is_blank(text[pos]))
        ++pos;
    const bool minus = pos < text.size() && text[pos] == '-';
    const size_t start = pos += minus ? 1 : 0;
    int v = 0;
    for (; pos < text.size() && pos - start <= 9 && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        v = v * 10 + (text[pos] - '0');
    if (pos == start || pos - start > 9 || (pos < text.size() && !is_blank(text[pos])))
        return false;
    value = minus ? -v : v;
    return true;
}

// The day of the month and, when want_year, the year of a line the
// vectorized reader took, as the daily parser reads them.
void date_of_text(std::string_view text, bool want_year, int &day, int &year) {
    size_t pos = 0;
    int month = 0;
    if (plain_whole(text, pos, day) &&
        (!want_year || (plain_whole(text, pos, month) && plain_whole(text, pos, year))))
        return;
    daily_record general; // anything else: the parser's own reading
    std::string why;
    parse_daily_line(text, general, why);
    day = general.day;
    year = general.year;
}

// The day of the month of such a line, read at once when it is one or two
// digits (the line ends in its newline, a blank, so no read passes it);
// -1 for date_of_text to read.
inline int quick_day_of(std::string_view text) {
    const char *c = text.data();
    while (is_blank(*c))
        ++c;
    const unsigned first = static_cast<unsigned>(c[0] - '0');
    if (first > 9)
        return -1;
    if (is_blank(c[1]))
        return static_cast<int>(first);
    const unsigned second = static_cast<unsigned>(c[1] - '0');
    return second <= 9 && is_blank(c[2]) ? static_cast<int>(first * 10 + second) : -1;
}

} // namespace

inline void month_listener::add(const daily_record &day, int day_of_month) {
    if (day.month != month_ || current_.year == 0) {
        start_month(day.month, day.year);
        if (month_ == 0)
            return;
    }
    const unsigned d = static_cast<unsigned>(day_of_month) - 1u;
    const uint32_t bit = d < 31u ? 1u << d : 0u;
    current_.valid[q_prec] |= is_valid(day.prec) ? bit : 0u;
    current_.valid[q_tmin] |= is_valid(day.tmin) ? bit : 0u;
    current_.valid[q_tmax] |= is_valid(day.tmax) ? bit : 0u;
}

void month_listener::line(std::string_view, const daily_record *day, long) {
    if (day != nullptr)
        add(*day, day->day);
}

void month_listener::lines(const std::string_view *texts, const daily_record *days, size_t count,
                           long) {
    // The month's days gathered in locals, which the stores of a month
    // kept in memory would make the compiler read again at every day.
    uint32_t valid[stat_quantities] = {current_.valid[0], current_.valid[1], current_.valid[2]};
    for (size_t k = 0; k < count; ++k) {
        const daily_record &day = days[k];
        const bool starts = day.month != month_ || current_.year == 0;
        int day_of_month = quick_day_of(texts[k]), year = 0;
        if (starts || day_of_month < 0)
            date_of_text(texts[k], starts, day_of_month, year);
        if (starts) {
            std::copy(valid, valid + stat_quantities, current_.valid);
            start_month(day.month, year);
            std::copy(current_.valid, current_.valid + stat_quantities, valid);
            if (month_ == 0)
                continue; // past the last row
        }
        const unsigned d = static_cast<unsigned>(day_of_month) - 1u;
        const uint32_t bit = d < 31u ? 1u << d : 0u;
        valid[q_prec] |= is_valid(day.prec) ? bit : 0u;
        valid[q_tmin] |= is_valid(day.tmin) ? bit : 0u;
        valid[q_tmax] |= is_valid(day.tmax) ? bit : 0u;
    }
    std::copy(valid, valid + stat_quantities, current_.valid);
}

void month_listener::finish() {
    if (row_ < max_years)
        close_month();
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
