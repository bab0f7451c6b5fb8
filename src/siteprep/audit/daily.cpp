// The audit of a daily file as it is read: what it will do to the
// statistics, decided apart from the words of its findings; and the audit
// of a site, its site file's findings and then its daily file's. The run
// never audits; nothing here changes what it computes.
#include "audit.h"
#include "calendar.h"
#include "findings.h"
#include "fixed_files.h"
#include "shown.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

std::string year_month(long y, int m) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld-%02d", y, m);
    return text;
}

// A day's month and values, without the record's date: a copy of a day
// (one is kept as the day before) stays small and whole.
struct day_values {
    int month = 0;
    float tmax = 0, tmin = 0, prec = 0;
};

// One day as the audit reads it: its values, and its date as whole numbers
// of the audit's width.
struct dated_day {
    day_values values;
    long day = 0, year = 0, day_of_year = 0;
};

// A run of one value over consecutive days.
struct run {
    float value = 0;
    int length = 0;
    long first_line = 0;
    void add(float v, long line, bool counts, int threshold, findings &all, kind k) {
        if (counts && length > 0 && v == value) {
            if (++length == threshold)
                all.note(k, first_line);
            return;
        }
        value = v;
        length = counts ? 1 : 0;
        first_line = line;
    }
};

// Months whose precipitation total is summed from part of the month: how
// many, and the one with the fewest days.
struct partial_months {
    long count = 0;
    int fewest = INT_MAX, length = 0;
    std::string name;
    void add(int days, int of, const std::string &month) {
        add(partial_months{1, days, of, month});
    }
    void add(const partial_months &other) {
        if (other.fewest < fewest) {
            fewest = other.fewest;
            length = other.length;
            name = other.name;
        }
        count += other.count;
    }
};

} // namespace

// Everything the audit keeps while it reads a daily file: a few numbers,
// never a day.
struct daily_audit final : daily_listener {
    void line(std::string_view text, const daily_record *day, long number) override {
        audit_daily_line(*this, text, day, number);
    }
    bool any_day = false;
    findings all;
    bool dates = true, first = true;
    long last_line = 0, lines_read = 0;
    dated_day previous;
    long previous_number = 0;
    int month = 0;             // the month being grouped, as the reader groups it
    long month_year = 0;       // the year field of its first day
    int counts[3] = {0, 0, 0}; // valid days of tmax, tmin, precipitation in it
    int month_days = 0;        // the days grouped in it
    int row = 0;               // the year row it goes to, as the reader counts rows
    int rows_with_data = 0, last_data_row = -1;
    // Months whose precipitation total misses days; apart, those that miss
    // just the day a 365-day calendar leaves out (February 29, December 31 of
    // a leap year), which the whole file decides on.
    partial_months partial, short_february, short_december;
    // December 31 of leap years: lines, those with no valid value (as an
    // import writes the day a 365-day source leaves out), and whether the
    // month being grouped has one without its precipitation.
    long leap_dec31_lines = 0, leap_dec31_blank = 0;
    bool dec31_without_prec = false;
    long both_valid = 0;
    double precipitation = 0, tmax_sum = 0;
    long tmax_days = 0;
    long wet_days = 0, mm_like_days = 0; // valid precipitation days, and those above mm_like_day
    float lowest_tmin = INFINITY;
    long first_year = 0, last_year = 0;
    long feb29_seen = 0, feb29_gaps = 0, dec31_gaps = 0;
    long feb29_year = LONG_MIN;  // the last year whose February 29 was seen
    bool after_bad_line = false; // the line before was bad: no gap to it
    run tmax_run, tmin_run, prec_run;
};

namespace {

// A leap year's month that lacks just the day a 365-day calendar leaves
// out, every other day of it valid.
partial_months *calendar_short(daily_audit &a, int length) {
    if (!a.dates || !is_leap(a.month_year) || a.counts[2] != length - 1)
        return nullptr;
    const bool day_absent = a.month_days == length - 1;
    if (a.month == 2 && day_absent && a.feb29_year != a.month_year)
        return &a.short_february;
    if (a.month == 12 &&
        ((day_absent && a.previous.day == 30) || (a.month_days == length && a.dec31_without_prec)))
        return &a.short_december;
    return nullptr;
}

void note_leap_dec31(daily_audit &a, const day_values &v) {
    ++a.leap_dec31_lines;
    a.leap_dec31_blank += !is_valid(v.tmax) && !is_valid(v.tmin) && !is_valid(v.prec);
    a.dec31_without_prec = !is_valid(v.prec);
}

// A precipitation total that counts although days of its month are missing
// or invalid. Without dates, the month is as long as its lines.
void note_partial_month(daily_audit &a, const std::string &name) {
    const int length = a.dates ? month_length(a.month_year, a.month) : a.month_days;
    if (a.counts[2] < 1 || a.counts[2] >= length)
        return;
    partial_months *calendar = calendar_short(a, length);
    (calendar != nullptr ? *calendar : a.partial).add(a.counts[2], length, name);
}

void close_month(daily_audit &a, long line) {
    const kind few[3] = {few_tmax_days, few_tmin_days, few_prec_days};
    const int needed[3] = {2, 2, 1};
    const std::string name =
        a.dates ? year_month(a.month_year, a.month)
                : "line " + std::to_string(line) + " month " + std::to_string(a.month);
    bool data = false;
    for (int q = 0; q < 3; ++q) {
        if (a.counts[q] < needed[q])
            a.all.note(few[q], 0, name);
        data = data || a.counts[q] >= needed[q];
    }
    // A year row with one monthly value is a year behind the statistics.
    if (data && a.row != a.last_data_row) {
        ++a.rows_with_data;
        a.last_data_row = a.row;
    }
    note_partial_month(a, name);
}

void check_dates(daily_audit &a, const dated_day &d, long line) {
    const int m = d.values.month;
    if (d.day < 1 || d.day > month_length(d.year, m)) {
        a.all.note(impossible_date, line);
        return;
    }
    if (m == 2 && d.day == 29) {
        ++a.feb29_seen;
        a.feb29_year = d.year;
    }
    // A 365-day count is right for a year without February 29 only.
    const bool counts_leap_day = a.feb29_year == d.year;
    if (d.day_of_year != day_of_year(d.year, m, static_cast<int>(d.day), true) &&
        (counts_leap_day ||
         d.day_of_year != day_of_year(d.year, m, static_cast<int>(d.day), false)))
        a.all.note(wrong_day_of_year, line);
    // Most days follow the day before in the same month.
    const dated_day &p = a.previous;
    if (!a.first && !a.after_bad_line && d.year == p.year && m == p.values.month &&
        d.day == p.day + 1 && p.day >= 1) {
        ++a.previous_number;
        return;
    }
    const long number = day_number(d.year, m, static_cast<int>(d.day));
    const bool after_bad_line = std::exchange(a.after_bad_line, false);
    if (!a.first && !after_bad_line) {
        if (number == a.previous_number) {
            a.all.note(duplicate_date, line);
        } else if (number < a.previous_number) {
            a.all.note(out_of_order, line);
        } else if (number > a.previous_number + 1) {
            const long gap = number - a.previous_number - 1;
            // A 365-day calendar leaves out one day of leap years.
            if (gap == 1 && is_leap(d.year) && m == 3 && d.day == 1 && p.values.month == 2)
                ++a.feb29_gaps;
            else if (gap == 1 && is_leap(p.year) && p.values.month == 12 && p.day == 30)
                ++a.dec31_gaps;
            else
                a.all.note(missing_days, line, std::string(), gap);
            // Whole calendar months inside the gap: counted, the first few
            // named (a bad year can open a gap of millions of years).
            const long inside = (d.year - p.year) * 12 + (m - p.values.month) - 1;
            long y = p.year;
            int mm = p.values.month;
            for (long k = 0; k < std::min<long>(inside, named_lines); ++k) {
                if (++mm > 12) {
                    mm = 1;
                    ++y;
                }
                a.all.note(missing_months, 0, year_month(y, mm));
            }
            if (inside > static_cast<long>(named_lines))
                a.all.note(missing_months, 0, std::string(),
                           inside - static_cast<long>(named_lines));
        }
    }
    a.previous_number = number;
}

void check_values(daily_audit &a, const day_values &v, long line) {
    const bool hot = is_valid(v.tmax), cold = is_valid(v.tmin), wet = is_valid(v.prec);
    if (hot && cold) {
        ++a.both_valid;
        if (v.tmin > v.tmax)
            a.all.note(tmin_above_tmax, line);
    }
    for (const auto &[valid, t] : {std::pair{hot, v.tmax}, std::pair{cold, v.tmin}})
        if (valid && (t < coldest || t > hottest))
            a.all.note(temperature_range, line);
    if (wet && v.prec < 0.0f)
        a.all.note(negative_precipitation, line);
    if (wet && v.prec > wettest_day)
        a.all.note(heavy_precipitation, line);
    for (float code : missing_codes)
        if (v.tmax == code || v.tmin == code || v.prec == code) {
            a.all.note(missing_code, line);
            break;
        }
    if (wet) {
        a.precipitation += v.prec;
        ++a.wet_days;
        a.mm_like_days += v.prec > mm_like_day;
    }
    if (hot) {
        a.tmax_sum += v.tmax;
        ++a.tmax_days;
    }
    if (cold)
        a.lowest_tmin = std::min(a.lowest_tmin, v.tmin);
    a.tmax_run.add(v.tmax, line, hot, same_temperature_days, a.all, same_tmax_run);
    a.tmin_run.add(v.tmin, line, cold, same_temperature_days, a.all, same_tmin_run);
    a.prec_run.add(v.prec, line, wet && v.prec != 0.0f, same_precipitation_days, a.all,
                   same_prec_run);
}

void audit_day(daily_audit &a, const dated_day &d, long line) {
    const int m = d.values.month;
    if (a.first) {
        a.dates = d.day >= 1 && d.day <= 31 && d.year >= 1 && d.year <= 9999 &&
                  d.day_of_year >= 1 && d.day_of_year <= 366;
        if (!a.dates)
            a.all.note(dates_skipped, line);
        if (m > 1)
            a.all.note(starts_late, line);
        a.first_year = d.year;
        a.month = m;
        a.month_year = d.year;
    } else if (m != a.month) {
        close_month(a, line);
        if (m < a.month && a.month != 12)
            a.all.note(no_december, line,
                       std::to_string(a.previous.year) + " and " + std::to_string(d.year));
        a.row += a.month == 12;
        a.month = m;
        a.month_year = d.year;
        a.counts[0] = a.counts[1] = a.counts[2] = 0;
        a.month_days = 0;
        a.dec31_without_prec = false;
    } else if (a.dates && d.year != a.previous.year && m == a.previous.values.month) {
        a.all.note(same_month_again, line);
    }
    a.counts[0] += is_valid(d.values.tmax);
    a.counts[1] += is_valid(d.values.tmin);
    a.counts[2] += is_valid(d.values.prec);
    ++a.month_days;
    if (a.dates && m == 12 && d.day == 31 && is_leap(d.year))
        note_leap_dec31(a, d.values);
    if (a.dates)
        check_dates(a, d, line);
    check_values(a, d.values, line);
    a.last_year = d.year;
    a.previous = d;
    a.last_line = line;
    a.first = false;
}

// Months of no valid value in any year read not-a-number in the block.
void note_months_without_values(findings &all, int years, const month_table *tables[3]) {
    const char *quantity[3] = {"precipitation", "minimum temperature", "maximum temperature"};
    for (int q = 0; q < 3; ++q)
        for (int m = 0; m < months; ++m) {
            bool any = false;
            for (int y = 0; y < years && !any; ++y)
                any = (*tables[q])[y][m] != missing_value;
            if (!any)
                all.note(no_valid_month, 0, std::string(quantity[q]) + " in " + month_names[m]);
        }
}

// A 365-day calendar is information, not a gap: its leap days' gaps are
// missing days only when the file shows it is not one.
void note_calendar(daily_audit &a) {
    findings &all = a.all;
    if (a.feb29_gaps > 0 && a.feb29_seen == 0)
        all.note(no_leap_calendar, 0);
    else
        all.note(missing_days, 0, std::string(), a.feb29_gaps);
    // December 31 of leap years left out (absent, or written with no value in
    // every leap year, as the import writes Daymet's) is a gap all the same:
    // the rules count it missing. Its finding names the cause and the fill.
    if (a.dec31_gaps > 0 && a.feb29_seen > 0)
        all.note(leap_without_dec31, 0, std::string(), a.dec31_gaps);
    else
        all.note(missing_days, 0, std::string(), a.dec31_gaps);
    if (a.feb29_seen > 0 && a.leap_dec31_lines > 0 && a.leap_dec31_blank == a.leap_dec31_lines)
        all.note(leap_without_dec31, 0, std::string(), a.leap_dec31_lines);
}

// Months one day short in leap years are partial unless the file's calendar
// leaves that day out, which its own finding says: it lacks February 29,
// or it keeps February 29 and lacks December 31, or writes no value on it
// in every leap year.
void note_partial_months(daily_audit &a) {
    partial_months partial = a.partial;
    if (a.all.of[no_leap_calendar].count == 0)
        partial.add(a.short_february);
    if (a.all.of[leap_without_dec31].count == 0)
        partial.add(a.short_december);
    if (partial.count > 0)
        a.all.note(
            partial_prec_months, 0,
            format_message("%s, %d of %d", partial.name.c_str(), partial.fewest, partial.length),
            partial.count);
}

// The findings that need the whole file, and the facts their words need.
audit_facts decide(daily_audit &a, int years, const month_table *tables[3]) {
    findings &all = a.all;
    audit_facts facts;
    facts.years = years;
    facts.last_month = a.previous.values.month;
    close_month(a, a.last_line);
    if (facts.last_month < 12)
        all.note(ends_early, a.last_line);
    note_months_without_values(all, years, tables);
    facts.years_with_data = a.rows_with_data;
    if (a.rows_with_data < few_years)
        all.note(few_year_rows, 0);
    note_calendar(a);
    note_partial_months(a);
    const long year_count = a.dates ? a.last_year - a.first_year + 1 : years;
    facts.annual = year_count > 0 ? a.precipitation / static_cast<double>(year_count) : 0;
    if (a.precipitation != 0 && (facts.annual < driest_year || facts.annual > wettest_year))
        all.note(annual_precipitation, 0);
    facts.heavy_share =
        a.wet_days > 0 ? static_cast<double>(a.mm_like_days) / static_cast<double>(a.wet_days) : 0;
    if (a.wet_days >= mm_like_min_days &&
        (facts.heavy_share > mm_like_share || facts.annual > mm_like_year))
        all.note(precipitation_in_mm, 0);
    facts.mean_tmax = a.tmax_days > 0 ? a.tmax_sum / static_cast<double>(a.tmax_days) : 0;
    if (facts.mean_tmax > hottest_mean)
        all.note(temperature_unit, 0);
    facts.unit = facts.mean_tmax >= kelvin_mean && a.lowest_tmin >= kelvin_min ? "Kelvin"
                 : facts.mean_tmax <= fahrenheit_mean                          ? "Fahrenheit"
                                                      : "tenths of a degree";
    facts.swapped = all.of[tmin_above_tmax].count * 2 > a.both_valid;
    return facts;
}

// The findings that need the whole file, and the words of every finding.
void conclude(daily_audit &a, int years, const month_table &prec, const month_table &tmin,
              const month_table &tmax) {
    if (a.first) {
        a.all.note(empty_file, 0);
        word(a.all, audit_facts());
        return;
    }
    const month_table *tables[3] = {&prec, &tmin, &tmax};
    word(a.all, decide(a, years, tables));
}

} // namespace

std::unique_ptr<daily_audit, void (*)(daily_audit *)> start_daily_audit() {
    return {new daily_audit, [](daily_audit *a) { delete a; }};
}

void audit_daily_line(daily_audit &a, std::string_view, const daily_record *day, long number) {
    a.any_day = true;
    if (day == nullptr) {
        a.after_bad_line = true; // a problem already; the next date starts afresh
        return;
    }
    dated_day d;
    d.values = {day->month, day->tmax, day->tmin, day->prec};
    d.day = day->day;
    d.year = day->year;
    d.day_of_year = day->day_of_year;
    audit_day(a, d, number);
}

audit_said audit_site(const site_line &site, const std::string *site_text, daily_audit *audit,
                      int years, const month_table &prec, const month_table &tmin,
                      const month_table &tmax, const std::string &listed_as,
                      bool soil_keys_replaced) {
    audit_said said;
    if (site_text != nullptr)
        said.warnings = audit_site_file(*site_text, shown_name(paths_of(site.name).site_file), site,
                                        listed_as, soil_keys_replaced);
    if (audit == nullptr)
        return said;
    const std::string weather_file = shown_name(paths_of(site.name).weather_file);
    daily_audit &a = *audit;
    if (!a.any_day || !a.first)
        conclude(a, years, prec, tmin, tmax); // nothing to say of a file of bad lines alone
    const std::vector<std::string> found = warnings_of(weather_file, a.all.of);
    said.warnings.insert(said.warnings.end(), found.begin(), found.end());
    if (!found.empty())
        said.summary = weather_file + ": " + counted(years, "year") + ", " +
                       counted(static_cast<long>(found.size()), "finding");
    return said;
}

daily_listener *listener_of(daily_audit *audit) {
    return audit;
}
