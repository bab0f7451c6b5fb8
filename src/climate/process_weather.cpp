// Daily weather lines to year-by-month tables: monthly mean maximum and
// minimum temperature and monthly precipitation total.
#include "process_weather.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

// One lane each for maximum and minimum temperature and precipitation (the
// fourth is unused): the month's sums and valid days, kept side by side so
// that a day is added without a branch. Each lane is its own float sum,
// added in line order.
typedef float lanes __attribute__((vector_size(16)));
typedef int32_t lane_counts __attribute__((vector_size(16)));

struct month_sums {
    lanes sum = {};
    lane_counts count = {};
};

// is_valid for each lane: all ones in the lane of a valid value
// (not-a-number fails the comparison).
lane_counts valid_lanes(lanes value) {
    return value >= missing_cut;
}

// Adding minus zero leaves any sum exactly as it is, so an invalid day
// adds that. The lanes of the day's valid values.
lane_counts add_day(lanes &sum, lane_counts &count, const daily_record &day) {
    const lanes value = {day.tmax, day.tmin, day.prec, 0.0f};
    const lane_counts valid = valid_lanes(value);
    const lanes minus_zero = {-0.0f, -0.0f, -0.0f, -0.0f};
    count -= valid;
    sum += reinterpret_cast<lanes>((reinterpret_cast<lane_counts>(value) & valid) |
                                   (reinterpret_cast<lane_counts>(minus_zero) & ~valid));
    return valid;
}

// The bit of a day of the month among a month's days (none past the 31st).
int32_t day_bit(int day_of_month) {
    const unsigned d = static_cast<unsigned>(day_of_month) - 1u;
    return d < 31u ? static_cast<int32_t>(1u << d) : 0;
}

void start_month(month_sums &m, const daily_record &day) {
    m = month_sums();
    add_day(m.sum, m.count, day);
}

// A temperature mean needs two valid days.
float monthly_mean(const month_sums &m, int lane) {
    return m.count[lane] > 1 ? m.sum[lane] / static_cast<float>(m.count[lane]) : missing_value;
}

// A precipitation total needs one.
float monthly_total(const month_sums &m, int lane) {
    return m.count[lane] > 0 ? m.sum[lane] : missing_value;
}

} // namespace

// Counts a bad line and keeps the first few.
static void note_problem(daily_problems &problems, const daily_error &err) {
    if (++problems.count <= daily_problems::kept)
        problems.first.push_back(err);
}

namespace {

// The tables as a daily file fills them: the month being summed and its
// valid days; and, when asked for, the days of each month (into): the
// month's valid days, a bit a day in each lane, and the year field of its
// first day (0 until then: a day with year 0 leaves the next to say it).
struct month_grouping {
    month_grouping(month_table &p, month_table &lo, month_table &hi, daily_months *days)
        : prec(&p), tmin(&lo), tmax(&hi), into(days) {
        if (into != nullptr)
            start_row();
    }
    month_table *prec, *tmin, *tmax; // pointers, so that a copy can be assigned back
    int month = 1;
    int year = 0;
    month_sums sums;
    daily_months *into;
    lane_counts valid_bits = {};
    int month_year = 0;

    void start_row() {
        into->rows = year + 1;
        into->row_year[year] = 0;
        for (month_days &m : into->cells[year])
            m = month_days();
    }

    void close_month() {
        (*tmax)[year][month - 1] = monthly_mean(sums, 0);
        (*tmin)[year][month - 1] = monthly_mean(sums, 1);
        (*prec)[year][month - 1] = monthly_total(sums, 2);
        if (into != nullptr) {
            month_days &cell = into->cells[year][month - 1];
            cell.valid[q_tmax] = static_cast<uint32_t>(valid_bits[0]);
            cell.valid[q_tmin] = static_cast<uint32_t>(valid_bits[1]);
            cell.valid[q_prec] = static_cast<uint32_t>(valid_bits[2]);
            cell.year = month_year;
            valid_bits = lane_counts{};
            month_year = 0;
        }
    }

    // Adds a day; false when it starts a year past the tables' last.
    bool add(const daily_record &day) {
        // The month field alone drives the grouping; years pass with December.
        if (day.month == month) {
            add_day(sums.sum, sums.count, day);
            return true;
        }
        close_month();
        if (month == 12)
            ++year;
        if (year >= max_years)
            return false;
        month = day.month;
        start_month(sums, day);
        return true;
    }

    // The same, gathering the day as the first of its month's days (or the
    // first with a year), of the day of the month and the year field given.
    bool add_first(const daily_record &day, int day_of_month, int year_field) {
        const int row = year;
        if (!add(day))
            return false;
        if (year != row)
            start_row();
        if (into->row_year[year] == 0)
            into->row_year[year] = year_field;
        month_year = year_field;
        const lane_counts valid = valid_lanes(lanes{day.tmax, day.tmin, day.prec, 0.0f});
        valid_bits |= valid & day_bit(day_of_month);
        return true;
    }

    // Adds a day of a whole date, gathering it.
    bool add_gathered(const daily_record &day) {
        if (day.month != month || month_year == 0)
            return add_first(day, day.day, day.year);
        const lane_counts valid = add_day(sums.sum, sums.count, day);
        valid_bits |= valid & day_bit(day.day);
        return true;
    }
};

inline bool is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The next whole-number field of a line the vectorized reader took, from
// at, which it leaves past the field. That reader takes only lines whose
// date fields are plain (an optional minus and at most eight digits) and
// that end in a blank, the line end, so the field is read as the daily
// parser reads it, and no read passes the line.
inline int next_whole(const char *&at) {
    while (is_blank(*at))
        ++at;
    const bool minus = *at == '-';
    at += minus ? 1 : 0;
    int value = 0;
    for (unsigned digit = static_cast<unsigned>(*at - '0'); digit <= 9;
         digit = static_cast<unsigned>(*++at - '0'))
        value = value * 10 + static_cast<int>(digit);
    return minus ? -value : value;
}

// The day of the month of such a line.
inline int day_of_text(std::string_view text) {
    const char *at = text.data();
    return next_whole(at);
}

// Its day of the month and year.
inline void date_of_text(std::string_view text, int &day, int &year) {
    const char *at = text.data();
    day = next_whole(at);
    next_whole(at); // the month, which the reader gave
    year = next_whole(at);
}

// Adds days in order and returns how many were added: fewer than count
// when one starts a year past the tables' last. A month's days are summed
// in local copies, which the compiler keeps in registers when this is a
// function of its own (inlined into the reader's loop, they go to memory
// at every day). With gathered, each day's valid values are gathered in
// its month's days too, its day of the month read from its text (texts).
template <bool gathered>
__attribute__((noinline)) size_t add_days(month_grouping &group, const daily_record *days,
                                          const std::string_view *texts, size_t count) {
    size_t added = 0;
    while (added < count) {
        lanes sum = group.sums.sum;
        lane_counts valid_days = group.sums.count, valid_bits = group.valid_bits;
        for (; added < count && days[added].month == group.month &&
               (!gathered || group.month_year != 0);
             ++added) {
            const lane_counts valid = add_day(sum, valid_days, days[added]);
            if constexpr (gathered)
                valid_bits |= valid & day_bit(day_of_text(texts[added]));
        }
        group.sums.sum = sum;
        group.sums.count = valid_days;
        group.valid_bits = valid_bits;
        if (added == count)
            break;
        bool on = false;
        if constexpr (gathered) {
            int day_of_month = 0, year = 0;
            date_of_text(texts[added], day_of_month, year);
            on = group.add_first(days[added], day_of_month, year);
        } else {
            on = group.add(days[added]);
        }
        if (!on)
            break;
        ++added;
    }
    return added;
}

} // namespace

namespace {

// A daily file being read: the reader and parser, the tables being filled,
// and where bad lines and every line go.
struct daily_reading {
    daily_reading(os::line_reader &source, month_table &prec, month_table &tmin, month_table &tmax,
                  daily_error &e, const daily_options &how)
        : reader(source), parser(how.simd), group(prec, tmin, tmax, how.months), err(e),
          all_bad(how.all_bad), listener(how.listener) {}
    os::line_reader &reader;
    fast_daily_parser parser;
    month_grouping group;
    long line_number = 0;
    // A run of lines the vectorized parser takes at a time.
    static constexpr size_t batch = 64;
    daily_record days[batch];
    std::string_view lines[batch];
    daily_date dates[batch];
    daily_error &err;
    daily_problems *all_bad; // a check's: bad lines counted and skipped
    daily_listener *listener;
};

// How reading goes on after a step: with the next step, or ended (-1).
constexpr int reading_on = 0, reading_ended = -1;

int past_last_year(daily_reading &r) {
    r.err.line = r.line_number;
    r.err.reason = "more than " + std::to_string(max_years) + " years of data";
    if (r.all_bad != nullptr)
        note_problem(*r.all_bad, r.err);
    return reading_ended;
}

// A run of lines the vectorized parser takes, added together; how many
// were added, or reading_ended past the last year.
long read_fast_run(daily_reading &r) {
    const bool listened = r.listener != nullptr, gathered = r.group.into != nullptr;
    const bool dated = listened && r.listener->needs_dates();
    const size_t count =
        r.parser.vectorized()
            ? next_fast_days(r.reader, r.parser, r.days, listened || gathered ? r.lines : nullptr,
                             dated ? r.dates : nullptr, daily_reading::batch)
            : 0;
    const size_t added = gathered ? add_days<true>(r.group, r.days, r.lines, count)
                                  : add_days<false>(r.group, r.days, nullptr, count);
    // The listener hears of the lines added and of the one that could not
    // be, each day with its date if it needs them.
    if (listened) {
        const size_t heard = std::min(added + 1, count);
        for (size_t k = 0; dated && k < heard; ++k)
            give_date(r.days[k], r.dates[k], r.lines[k]);
        r.listener->lines(r.lines, r.days, heard, r.line_number + 1);
    }
    r.line_number += static_cast<long>(added);
    if (added == count)
        return static_cast<long>(count);
    ++r.line_number;
    return past_last_year(r);
}

// A line for the general parser.
int read_line(daily_reading &r, std::string_view line) {
    ++r.line_number;
    daily_record day;
    const parse_status status = parse_daily_line(line, day, r.err.reason);
    if (status == parse_status::blank)
        return reading_on;
    if (r.listener != nullptr)
        r.listener->line(line, status == parse_status::ok ? &day : nullptr, r.line_number);
    if (status == parse_status::bad) {
        r.err.line = r.line_number;
        if (r.all_bad == nullptr)
            return reading_ended;
        note_problem(*r.all_bad, r.err);
        return reading_on;
    }
    const bool on = r.group.into != nullptr ? r.group.add_gathered(day) : r.group.add(day);
    return on ? reading_on : past_last_year(r);
}

// After the last line: the last month closed, or why the file ended early.
int finish_reading(daily_reading &r) {
    if (r.reader.too_long || r.reader.error != 0) {
        r.err.line = r.reader.too_long ? r.line_number + 1 : 0;
        r.err.reason = r.reader.too_long ? os::too_long_reason(os::max_daily_line)
                                         : std::strerror(r.reader.error);
        if (r.all_bad != nullptr)
            note_problem(*r.all_bad, r.err);
        return -1;
    }
    r.group.close_month();
    return r.group.year;
}

void clear_tables(month_table &prec, month_table &tmin, month_table &tmax) {
    for (int y = 0; y < max_years; ++y) {
        for (int m = 0; m < months; ++m) {
            prec[y][m] = 0.0f;
            tmin[y][m] = 0.0f;
            tmax[y][m] = 0.0f;
        }
    }
}

} // namespace

int process_daily_weather(os::line_reader &wth, month_table &prec, month_table &tmin,
                          month_table &tmax, daily_error &err, const daily_options &how) {
    clear_tables(prec, tmin, tmax);
    daily_reading r(wth, prec, tmin, tmax, err, how);
    for (;;) {
        const long run = read_fast_run(r);
        if (run == reading_ended)
            return -1;
        if (run > 0)
            continue;
        // A line for the general parser, or the next block.
        std::string_view line;
        if (!os::next_line(r.reader, line))
            break;
        if (read_line(r, line) == reading_ended)
            return -1;
    }
    return finish_reading(r);
}
