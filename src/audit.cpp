// The audit of --check: what a site's daily file and site file will do to
// the statistics, reported as warnings. The run never audits; nothing here
// changes what it computes.
#include "audit.h"
#include "create_site.h"
#include "create_soil.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <unistd.h>
#include <utility>

namespace {

// ---- thresholds ----

// Monthly statistics over fewer years say little (climate normals take 30).
constexpr int few_years = 10;
// Beyond the lowest (-89.2 C, Vostok) and highest (56.7 C, Death Valley)
// temperatures ever recorded.
constexpr float coldest = -90.0f, hottest = 60.0f;
// Precipitation is in cm a day, the unit the simulation reads.
// A day's rain above 30 cm is rare outside tropical cyclones and monsoons.
constexpr float wettest_day = 30.0f;
// Mean annual totals below the driest deserts' few cm or above the wettest
// places' ~1,200 cm suggest a wrong unit or a factor of 10.
constexpr double driest_year = 1.0, wettest_year = 1000.0;
// A file in mm, the commonest mistake, passes the bounds above with
// plausible numbers; its distribution gives it away. Days of 3 cm (30 mm)
// and more are about 1 day in 100 in most climates and 1 in 15 in the
// wettest, while a file in mm passes 3 on about 1 day in 5 of a temperate
// climate; and mean annual totals above 500 cm are found only at a handful
// of the wettest places on earth, where a temperate file in mm lands.
constexpr float mm_like_day = 3.0f;
constexpr double mm_like_share = 0.10, mm_like_year = 500.0;
constexpr long mm_like_min_days = 365; // fewer valid days say too little
// No climate has a mean daily maximum above 45 C: a higher mean is another
// unit (Kelvin from 200, with minima above 180; Fahrenheit up to 130).
constexpr double hottest_mean = 45.0, kelvin_mean = 200.0, kelvin_min = 180.0,
                 fahrenheit_mean = 130.0;
// Runs of the same value that measurements rarely give: a filled gap.
constexpr int same_temperature_days = 10, same_precipitation_days = 5;
// Values that stand for "missing" in many data sets, used here as data.
constexpr float missing_codes[] = {999.0f, 999.9f, 9999.0f};
// The lines of a finding named in its warning.
constexpr size_t named_lines = 10;

// The findings, in the order they are reported.
enum kind {
    starts_late,
    ends_early,
    no_december,
    same_month_again,
    few_tmax_days,
    few_tmin_days,
    few_prec_days,
    partial_prec_months,
    no_valid_month,
    few_year_rows,
    dates_skipped,
    impossible_date,
    wrong_day_of_year,
    out_of_order,
    duplicate_date,
    missing_days,
    missing_months,
    no_leap_calendar,
    leap_without_dec31,
    tmin_above_tmax,
    temperature_range,
    negative_precipitation,
    heavy_precipitation,
    missing_code,
    annual_precipitation,
    precipitation_in_mm,
    temperature_unit,
    same_tmax_run,
    same_tmin_run,
    same_prec_run,
    empty_file,
    kinds
};

struct finding {
    long count = 0;
    std::vector<long> lines;
    std::vector<std::string> items;
    std::string text;
};

struct findings {
    finding of[kinds];
    void note(kind k, long line, const std::string &item = std::string(), long times = 1) {
        finding &f = of[k];
        f.count += times;
        if (line > 0 && f.lines.size() < named_lines)
            f.lines.push_back(line);
        if (!item.empty() && f.items.size() < named_lines)
            f.items.push_back(item);
    }
};

std::string joined(const std::vector<std::string> &items, long count) {
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : ", ") + item;
    if (count > static_cast<long>(items.size()))
        text += ", ...";
    return text;
}

// One warning a finding, naming the file and the finding's lines.
std::vector<std::string> warnings_of(const std::string &file, const findings &all) {
    std::vector<std::string> warnings;
    for (const finding &f : all.of) {
        if (f.count == 0 || f.text.empty())
            continue;
        std::string where = file;
        if (f.lines.size() == 1 && f.count == 1) {
            where += " line " + std::to_string(f.lines[0]);
        } else if (!f.lines.empty()) {
            std::vector<std::string> numbers;
            for (long l : f.lines)
                numbers.push_back(std::to_string(l));
            where +=
                " lines " + joined(numbers, f.count) + " (" + std::to_string(f.count) + " in all)";
        }
        warnings.push_back("Warning: " + where + ": " + f.text);
    }
    return warnings;
}

const char *const month_names[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};

bool is_leap(long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int month_length(long y, int m) {
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : lengths[m - 1];
}

// Days since 1970-01-01 of a Gregorian date (after Howard Hinnant's
// days_from_civil).
long day_number(long y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int day_of_year(long y, int m, int d, bool leap_days) {
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return before[m - 1] + d + (leap_days && m > 2 && is_leap(y));
}

std::string year_month(long y, int m) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld-%02d", y, m);
    return text;
}

// One day as the audit reads it: the parsed line and fields 1, 3 and 4.
struct dated_day {
    daily_record values;
    long day = 0, year = 0, day_of_year = 0;
};

// Fields 1, 3 and 4 of a line that parsed as a daily line: whole numbers
// already, so a plain scan reads them.
void read_date(std::string_view line, dated_day &d) {
    const char *p = line.data(), *end = p + line.size();
    long fields[4] = {0, 0, 0, 0};
    for (long &f : fields) {
        while (p < end && is_blank_char(*p))
            ++p;
        const bool negative = p < end && *p == '-';
        p += negative || (p < end && *p == '+');
        long v = 0;
        while (p < end && *p >= '0' && *p <= '9')
            v = v * 10 + (*p++ - '0');
        f = negative ? -v : v;
    }
    d.day = fields[0];
    d.year = fields[2];
    d.day_of_year = fields[3];
}

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
    void line(std::string_view text, const daily_record *day, long number,
              const daily_date *date) override {
        audit_daily_line(*this, text, day, number, date);
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

void note_leap_dec31(daily_audit &a, const daily_record &v) {
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
                a.all.note(missing_months, 0, std::string(), inside - named_lines);
        }
    }
    a.previous_number = number;
}

void check_values(daily_audit &a, const daily_record &v, long line) {
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

// What the words of a finding need beyond its own count, lines and items:
// facts of the whole file.
struct audit_facts {
    int last_month = 12;     // the month of the last day
    int years = 0;           // year rows behind the statistics
    int years_with_data = 0; // those with a monthly value
    double annual = 0;       // mean annual precipitation total
    double heavy_share = 0;  // share of the valid days above mm_like_day
    double mean_tmax = 0;
    const char *unit = ""; // what the temperatures look like
    bool swapped = false;  // minimum above maximum on most days
};

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
    if (a.dec31_gaps > 0 && a.feb29_seen > 0)
        all.note(leap_without_dec31, 0);
    else
        all.note(missing_days, 0, std::string(), a.dec31_gaps);
}

// Months one day short in leap years are partial unless the file's calendar
// leaves that day out: it lacks February 29, or it keeps February 29 and
// lacks December 31, or writes no value on it in every leap year.
void note_partial_months(daily_audit &a) {
    partial_months partial = a.partial;
    if (a.all.of[no_leap_calendar].count == 0)
        partial.add(a.short_february);
    const bool dec31_left_out =
        a.feb29_seen > 0 && a.leap_dec31_lines > 0 && a.leap_dec31_blank == a.leap_dec31_lines;
    if (a.all.of[leap_without_dec31].count == 0 && !dec31_left_out)
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

// ---- the words of each finding ----

std::string listed(const finding &f) {
    return joined(f.items, f.count);
}

std::string ends_early_text(const finding &, const audit_facts &facts) {
    return format_message("the file ends in %s: the months after it, to December, of the last "
                          "year enter the statistics as 0.0",
                          month_names[facts.last_month - 1]);
}
std::string no_december_text(const finding &f, const audit_facts &) {
    return "a year without a December (" + listed(f) +
           "): two years share one row of the statistics, the later overwriting the earlier";
}
std::string few_days_text(const finding &f, const char *quantity, const char *needs) {
    return counted(f.count, "month") + " left out of the " + quantity +
           " statistics for too few valid days (a " + needs + "): " + listed(f);
}
std::string few_tmax_text(const finding &f, const audit_facts &) {
    return few_days_text(f, "maximum temperature", "mean needs 2");
}
std::string few_tmin_text(const finding &f, const audit_facts &) {
    return few_days_text(f, "minimum temperature", "mean needs 2");
}
std::string few_prec_text(const finding &f, const audit_facts &) {
    return few_days_text(f, "precipitation", "total needs 1");
}
std::string no_valid_month_text(const finding &f, const audit_facts &) {
    return "no valid value in any year for " + listed(f) + ": those block lines will read nan";
}
std::string few_years_text(const finding &, const audit_facts &facts) {
    const std::string fewer = ", fewer than " + std::to_string(few_years);
    if (facts.years_with_data == facts.years)
        return "only " + counted(facts.years, "year") + " behind the statistics" + fewer;
    // Years of missing values only (an import over a longer span) add no value.
    return format_message("only %s with data behind the statistics (of %s; the other %d have no "
                          "monthly value)",
                          counted(facts.years_with_data, "year").c_str(),
                          counted(facts.years, "year row").c_str(),
                          facts.years - facts.years_with_data) +
           fewer;
}
std::string partial_prec_text(const finding &f, const audit_facts &) {
    return (f.count == 1 ? std::string("1 month's precipitation total is")
                         : std::to_string(f.count) + " months' precipitation totals are") +
           " summed from part of the month (the fewest days: " + f.items.front() + ")";
}
std::string missing_days_text(const finding &f, const audit_facts &) {
    return counted(f.count, "day") + " missing: their months have fewer days behind their values";
}
std::string missing_months_text(const finding &f, const audit_facts &) {
    return "whole months missing (" + listed(f) +
           "): no line closes such a month, so its cell keeps 0.0 and enters the statistics "
           "as a value of 0.0 (one more year behind that month, a lower mean)";
}
std::string tmin_above_tmax_text(const finding &, const audit_facts &facts) {
    return std::string("minimum temperature above maximum") +
           (facts.swapped ? " on most days: the two columns look swapped"
                          : ": both enter their means as they are");
}
std::string temperature_range_text(const finding &, const audit_facts &) {
    return format_message("temperatures outside %g to %g degrees C: they enter the monthly means",
                          static_cast<double>(coldest), static_cast<double>(hottest));
}
std::string negative_precipitation_text(const finding &, const audit_facts &) {
    return format_message("negative precipitation from %g up: counted as data, it lowers the "
                          "monthly totals",
                          static_cast<double>(missing_cut));
}
std::string heavy_precipitation_text(const finding &, const audit_facts &) {
    return format_message("daily precipitation above %g cm: check the unit",
                          static_cast<double>(wettest_day));
}
// A whole number with a comma between thousands: 10,000.
std::string thousands(double value) {
    const std::string digits = format_message("%.0f", value);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string annual_precipitation_text(const finding &, const audit_facts &facts) {
    return format_message("a mean annual precipitation total of %.1f cm, below %s or above %s: a "
                          "wrong unit or a factor of 10?",
                          facts.annual, thousands(driest_year).c_str(),
                          thousands(wettest_year).c_str());
}
std::string precipitation_in_mm_text(const finding &, const audit_facts &facts) {
    return format_message("precipitation looks like mm, not cm: %.0f%% of the days above %g and "
                          "a mean annual total of %.0f (more than %.0f%% of the days above %g, "
                          "or a total above %g, is rare in cm): divide by 10",
                          facts.heavy_share * 100, static_cast<double>(mm_like_day), facts.annual,
                          mm_like_share * 100, static_cast<double>(mm_like_day), mm_like_year);
}
std::string missing_code_text(const finding &, const audit_facts &) {
    std::string codes;
    for (size_t i = 0; i < std::size(missing_codes); ++i)
        codes += format_message("%s%g",
                                i == 0                              ? ""
                                : i + 1 == std::size(missing_codes) ? " or "
                                                                    : ", ",
                                static_cast<double>(missing_codes[i]));
    return codes + ", codes for missing values, used as data: they enter the statistics";
}
std::string same_run_text(const char *what, int days) {
    return format_message("the same %s on %d or more consecutive days", what, days);
}
std::string same_tmax_text(const finding &, const audit_facts &) {
    return same_run_text("maximum temperature", same_temperature_days);
}
std::string same_tmin_text(const finding &, const audit_facts &) {
    return same_run_text("minimum temperature", same_temperature_days);
}
std::string same_prec_text(const finding &, const audit_facts &) {
    return same_run_text("non-zero precipitation", same_precipitation_days);
}
std::string temperature_unit_text(const finding &, const audit_facts &facts) {
    return format_message("a mean maximum temperature of %.1f: the temperatures look like %s, "
                          "not degrees C",
                          facts.mean_tmax, facts.unit);
}

using wording = std::string (*)(const finding &, const audit_facts &);

// The words of each finding: fixed, or worded from the finding and the
// file's facts.
struct finding_text {
    kind what;
    const char *fixed;
    wording worded;
};

const finding_text finding_texts[] = {
    {starts_late,
     "the file starts after January: January of the first year is missing, and the months "
     "between it and the first month enter the statistics as 0.0",
     nullptr},
    {ends_early, nullptr, ends_early_text},
    {no_december, nullptr, no_december_text},
    {same_month_again,
     "the same month on consecutive lines across a change of year: taken as one month, its "
     "days counted together",
     nullptr},
    {few_tmax_days, nullptr, few_tmax_text},
    {few_tmin_days, nullptr, few_tmin_text},
    {few_prec_days, nullptr, few_prec_text},
    {partial_prec_months, nullptr, partial_prec_text},
    {no_valid_month, nullptr, no_valid_month_text},
    {few_year_rows, nullptr, few_years_text},
    {dates_skipped,
     "fields 1, 3 and 4 do not look like day, year and day of year: the date checks were "
     "skipped",
     nullptr},
    {impossible_date,
     "impossible dates (a day past the end of its month): counted in their month all the same",
     nullptr},
    {wrong_day_of_year, "the day of year disagrees with the date", nullptr},
    {out_of_order,
     "dates out of order: a month that comes again is a new month, and years may pass early",
     nullptr},
    {duplicate_date, "duplicated dates: both days are summed into their month", nullptr},
    {missing_days, nullptr, missing_days_text},
    {missing_months, nullptr, missing_months_text},
    {no_leap_calendar,
     "a 365-day calendar without February 29 (information: not counted as missing days)", nullptr},
    {leap_without_dec31,
     "a 365-day calendar whose leap years keep February 29 and drop December 31 (information)",
     nullptr},
    {tmin_above_tmax, nullptr, tmin_above_tmax_text},
    {temperature_range, nullptr, temperature_range_text},
    {negative_precipitation, nullptr, negative_precipitation_text},
    {heavy_precipitation, nullptr, heavy_precipitation_text},
    {missing_code, nullptr, missing_code_text},
    {annual_precipitation, nullptr, annual_precipitation_text},
    {precipitation_in_mm, nullptr, precipitation_in_mm_text},
    {temperature_unit, nullptr, temperature_unit_text},
    {same_tmax_run, nullptr, same_tmax_text},
    {same_tmin_run, nullptr, same_tmin_text},
    {same_prec_run, nullptr, same_prec_text},
    {empty_file,
     "the daily file holds no day: January reads nan and every other month 0.0000 in the "
     "weather block",
     nullptr},
};
static_assert(std::size(finding_texts) == kinds, "every finding has its words");

// The words of every finding that was made.
void word(findings &all, const audit_facts &facts) {
    for (const finding_text &t : finding_texts) {
        finding &f = all.of[t.what];
        if (f.count > 0)
            f.text = t.fixed != nullptr ? t.fixed : t.worded(f, facts);
    }
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

// The soil parameters of a site file that its site-list line also gives.
constexpr const char *soil_keys[] = {"SAND", "SILT", "CLAY", "BULKD"};
constexpr size_t soil_key_count = std::size(soil_keys);

// What the audit gathers from a site file's lines.
struct site_file_audit {
    long number = 0; // lines read
    bool newline = false, carriage = false;
    // A key found in another name (0), too few lines (1), no block (2), soil
    // values other than the list's (3).
    findings all;
    std::vector<std::string> lost_keys;
    float listed[soil_key_count] = {}; // the list's values of soil_keys
    finding &renamed() { return all.of[0]; }
    finding &short_file() { return all.of[1]; }
    finding &not_block() { return all.of[2]; }
    finding &soil_values() { return all.of[3]; }
};

// The list's values of the soil keys: its texture as the soil rows take
// it, and its bulk density as given (the rows use one computed from the
// texture, so the list's is the one to agree with the file's).
void take_listed_soil(site_file_audit &s, const site_line &site) {
    float sand = site.sand, silt = site.silt, clay = site.clay;
    normalise_texture(sand, silt, clay);
    const float values[soil_key_count] = {sand, silt, clay, site.bulk_density};
    std::copy(std::begin(values), std::end(values), s.listed);
}

// Half a unit of a number's last printed place (0.50000: 0.000005, 1.3e2: 5):
// the file's value agrees with any value that prints as it does.
double half_last_place(std::string_view number) {
    const size_t e = std::min(number.find_first_of("eE"), number.size());
    const size_t dot = number.substr(0, e).find('.');
    const long decimals = dot == std::string_view::npos ? 0 : static_cast<long>(e - dot - 1);
    int exponent = 0;
    if (e < number.size() && !parse_int(number.substr(e + 1), exponent))
        exponent = 0;
    return 0.5 * std::pow(10.0, static_cast<double>(exponent - decimals));
}

bool in_block(long number) {
    return number >= block_first_line && number <= block_last_line;
}

// The name after a parameter line's value, without its quotes.
std::string_view parameter_name(std::string_view line) {
    size_t pos = 0;
    next_token(line, pos);
    std::string_view name = next_token(line, pos);
    while (!name.empty() && (name.front() == '\'' || name.front() == '"'))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == '\'' || name.back() == '"'))
        name.remove_suffix(1);
    return name;
}

void note_line(finding &f, long number, const std::string &item = std::string()) {
    ++f.count;
    if (f.lines.size() < named_lines)
        f.lines.push_back(number);
    if (!item.empty() && f.items.size() < named_lines)
        f.items.push_back(item);
}

// A SAND, SILT, CLAY or BULKD line whose value the list's does not print as.
void compare_soil_value(site_file_audit &s, std::string_view line, long number) {
    const std::string_view name = parameter_name(line);
    for (size_t k = 0; k < soil_key_count; ++k) {
        if (name != soil_keys[k])
            continue;
        size_t pos = 0;
        const std::string_view token = next_token(line, pos);
        const double listed = static_cast<double>(s.listed[k]);
        float value;
        // A texture that sums to 0 has a warning of its own.
        if (!parse_float(token, value) || !std::isfinite(listed))
            return;
        // Beyond the printed place, room for the float roundings of both.
        const double room = half_last_place(token) + 1e-6 * std::max(1.0, std::fabs(listed));
        if (!(std::fabs(static_cast<double>(value) - listed) <= room))
            note_line(s.soil_values(), number,
                      format_message("%s %s (the list: %g)", soil_keys[k],
                                     std::string(token).c_str(), listed));
        return;
    }
}

void audit_site_file_line(site_file_audit &s, std::string_view line) {
    const long number = ++s.number;
    compare_soil_value(s, line, number);
    s.newline = s.newline || line.back() == '\n';
    s.carriage = s.carriage || line.find('\r') != std::string_view::npos;
    if (const int key = site_key_of_line(line); key >= 0) {
        if (parameter_name(line) != site_key_name(key))
            note_line(s.renamed(), number, site_key_name(key));
        if (in_block(number))
            s.lost_keys.push_back(site_key_name(key));
    }
    bool block_like = false;
    for (const char *n : block_names)
        block_like = block_like || line.find(n) != std::string_view::npos;
    if (in_block(number) && !block_like)
        note_line(s.not_block(), number);
}

// "PRECIP, PRCSTD, PRCSKW, TMN2M or TMX2M"
std::string block_names_listed() {
    std::string text;
    for (int i = 0; i < block_series; ++i)
        text += std::string(i == 0 ? "" : i + 1 == block_series ? " or " : ", ") + block_names[i];
    return text;
}

void word_site_file(site_file_audit &s, const std::string &listed_as) {
    if (s.number > 0 && s.number < block_last_line) {
        s.short_file().count = 1;
        s.short_file().text = format_message(
            "the site file has %ld lines, fewer than %d: the weather block replaces lines %d to "
            "its end",
            s.number, block_last_line, block_first_line);
        if (!s.lost_keys.empty())
            s.short_file().text += ", and the site key lines among them (" +
                                   joined(s.lost_keys, static_cast<long>(s.lost_keys.size())) +
                                   ") are lost after their Update line";
    }
    s.renamed().text = "a line that will be replaced by a site key line although its name is not "
                       "the key (" +
                       joined(s.renamed().items, s.renamed().count) +
                       "): the key was found inside a longer name or a comment, and the line's "
                       "own parameter is lost";
    s.not_block().text =
        format_message("lines %d to %d that do not look like a weather block "
                       "(no %s): the block replaces them all the same",
                       block_first_line, block_last_line, block_names_listed().c_str());
    s.soil_values().text = "soil values that disagree with " + listed_as +
                           " (its texture in fractions, as the soil rows take it): " +
                           joined(s.soil_values().items, s.soil_values().count) +
                           "; soils.in is made from the list, and the run leaves these lines "
                           "as they are";
}

// What the keyword, block and soil steps will do to the site file.
std::vector<std::string> audit_site_file(int site_fd, const std::string &site_file,
                                         const site_line &site, const std::string &listed_as) {
    const int copy = dup(site_fd);
    FILE *fp = copy >= 0 ? fdopen(copy, "r") : nullptr;
    if (fp == nullptr) {
        if (copy >= 0)
            close(copy);
        return {};
    }
    std::rewind(fp);
    line_reader reader(fp, max_text_line);
    site_file_audit s;
    take_listed_soil(s, site);
    for (std::string_view line; next_line(reader, line);)
        audit_site_file_line(s, line);
    std::fclose(fp);
    word_site_file(s, listed_as);
    std::vector<std::string> warnings = warnings_of(site_file, s.all);
    if (s.carriage && !s.newline)
        warnings.push_back("Warning: " + site_file +
                           ": line ends are CR alone (old Mac style): the site keys are not "
                           "found and the weather block is added after the whole file");
    return warnings;
}

} // namespace

std::vector<std::string> audit_site_line(const site_line &site, const char *list_path,
                                         long line_number) {
    std::vector<std::string> said;
    if (!(site.latitude >= -90 && site.latitude <= 90))
        said.push_back("a latitude outside -90 to 90");
    if (!(site.longitude >= -180 && site.longitude <= 360))
        said.push_back("a longitude outside -180 to 360");
    if (site.sand < 0 || site.silt < 0 || site.clay < 0)
        said.push_back("a negative sand, silt or clay content");
    if (site.sand + site.silt + site.clay == 0)
        said.push_back("a texture that sums to 0 (the soil rows read nan)");
    for (std::string &s : said)
        s = format_message("Warning: %s line %ld: %s", list_path, line_number, s.c_str());
    return said;
}

std::unique_ptr<daily_audit, void (*)(daily_audit *)> start_daily_audit() {
    return {new daily_audit, [](daily_audit *a) { delete a; }};
}

void audit_daily_line(daily_audit &a, std::string_view line, const daily_record *day, long number,
                      const daily_date *date) {
    a.any_day = true;
    if (day == nullptr) {
        a.after_bad_line = true; // a problem already; the next date starts afresh
        return;
    }
    dated_day d;
    d.values = *day;
    if (date != nullptr && date->known) {
        d.day = date->day;
        d.year = date->year;
        d.day_of_year = date->day_of_year;
    } else {
        read_date(line, d);
    }
    audit_day(a, d, number);
}

audit_said audit_site(const site_line &site, int site_fd, daily_audit *audit, int years,
                      const month_table &prec, const month_table &tmin, const month_table &tmax,
                      const std::string &listed_as) {
    audit_said said;
    if (site_fd >= 0)
        said.warnings = audit_site_file(site_fd, shown_name(site.name + ".sfp"), site, listed_as);
    if (audit == nullptr)
        return said;
    const std::string weather_file = shown_name(site.name + ".wth");
    daily_audit &a = *audit;
    if (!a.any_day || !a.first)
        conclude(a, years, prec, tmin, tmax); // nothing to say of a file of bad lines alone
    const std::vector<std::string> found = warnings_of(weather_file, a.all);
    said.warnings.insert(said.warnings.end(), found.begin(), found.end());
    if (!found.empty())
        said.summary = weather_file + ": " + counted(years, "year") + ", " +
                       counted(static_cast<long>(found.size()), "finding");
    return said;
}

daily_listener *listener_of(daily_audit *audit) {
    return audit;
}
