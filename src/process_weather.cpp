// Daily weather lines to year-by-month tables: monthly mean maximum and
// minimum temperature and monthly precipitation total.
#include "siteprep.h"

#include <cerrno>
#include <cstring>

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// White space between fields: every blank but the line end.
bool is_separator(char c) {
    return c != '\n' && is_blank_char(c);
}

// The fast paths below take only the common spellings ("-12", "3.25") and
// give exactly what the general token parsers give; anything else is left
// to those. They need the line to end in '\n', which stops every scan
// without a bounds check.

bool quick_int(const char *&p, int &value) {
    const char *q = p;
    const bool negative = *q == '-';
    q += negative;
    const char *first = q;
    unsigned v = 0;
    while (is_digit(*q))
        v = v * 10 + static_cast<unsigned>(*q++ - '0');
    // Nine digits cannot overflow.
    if (q == first || q - first > 9 || !is_blank_char(*q))
        return false;
    value = negative ? -static_cast<int>(v) : static_cast<int>(v);
    p = q;
    return true;
}

// Powers of ten that a float holds exactly.
const float exact_powers_of_ten[8] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};

bool quick_float(const char *&p, float &value) {
    const char *q = p;
    const bool negative = *q == '-';
    q += negative;
    const char *first = q;
    unsigned digits = 0;
    while (is_digit(*q))
        digits = digits * 10 + static_cast<unsigned>(*q++ - '0');
    long count = q - first;
    long scale = 0;
    if (*q == '.') {
        const char *fraction = ++q;
        while (is_digit(*q))
            digits = digits * 10 + static_cast<unsigned>(*q++ - '0');
        scale = q - fraction;
        count += scale;
    }
    if (count == 0 || count > 7 || !is_blank_char(*q))
        return false;
    // Seven digits stay below 2^24 and the scale is an exact power of ten:
    // one float division is then correctly rounded, as strtof would be.
    const float magnitude = static_cast<float>(digits) / exact_powers_of_ten[scale];
    value = negative ? -magnitude : magnitude;
    p = q;
    return true;
}

} // namespace

parse_status parse_daily_line(std::string_view line, daily_record &day, std::string &why) {
    if (line.empty() || line.back() != '\n') {
        // Only a file's last line can lack its end: give it one.
        const std::string ended = std::string(line) + '\n';
        return parse_daily_line(ended, day, why);
    }
    const char *p = line.data();
    const char *const end = p + line.size();
    int whole[4];
    float real[3];
    for (int i = 0; i < 7; ++i) {
        // A line holds one '\n', its last byte, which ends the scan.
        while (is_separator(*p))
            ++p;
        if (*p == '\n') {
            if (i == 0)
                return parse_status::blank;
            why = std::to_string(i) + (i == 1 ? " field" : " fields") + " found, 7 needed";
            return parse_status::bad;
        }
        if (i < 4 ? quick_int(p, whole[i]) : quick_float(p, real[i - 4]))
            continue;
        const char *start = p;
        while (p < end && !is_blank_char(*p))
            ++p;
        const std::string_view token(start, static_cast<size_t>(p - start));
        if (i < 4 ? !parse_int(token, whole[i]) : !parse_float(token, real[i - 4])) {
            why = "field " + std::to_string(i + 1) + " is not " +
                  (i < 4 ? "a whole number" : "a number") + ": " + quote_token(token);
            return parse_status::bad;
        }
    }
    day.month = whole[1];
    day.tmax = real[0];
    day.tmin = real[1];
    day.prec = real[2];
    if (day.month < 1 || day.month > 12) {
        why = "month " + std::to_string(day.month) + " is outside 1 to 12";
        return parse_status::bad;
    }
    return parse_status::ok;
}

namespace {

// Valid days of one quantity in the current month.
struct accumulator {
    int count = 0;
    float sum = 0.0f;
};

// Values below -98 mark a missing day; so does not-a-number, which fails
// the comparison.
bool is_valid(float value) {
    return value >= -98.0f;
}

void add_day(accumulator &acc, float value) {
    if (is_valid(value)) {
        acc.count = acc.count + 1;
        acc.sum = acc.sum + value;
    }
}

void start_month(accumulator &acc, float value) {
    acc.count = 0;
    acc.sum = 0.0f;
    add_day(acc, value);
}

// A temperature mean needs two valid days.
float monthly_mean(const accumulator &acc) {
    return acc.count > 1 ? acc.sum / static_cast<float>(acc.count) : missing_value;
}

// A precipitation total needs one.
float monthly_total(const accumulator &acc) {
    return acc.count > 0 ? acc.sum : missing_value;
}

} // namespace

// Counts a bad line and keeps the first few.
static void note_problem(daily_problems &problems, const daily_error &err) {
    if (++problems.count <= daily_problems::kept)
        problems.first.push_back(err);
}

int process_daily_weather(FILE *wthfp, month_table &prec, month_table &tmin, month_table &tmax,
                          daily_error &err) {
    return read_daily_weather(wthfp, prec, tmin, tmax, err, nullptr);
}

int read_daily_weather(FILE *wthfp, month_table &prec, month_table &tmin, month_table &tmax,
                       daily_error &err, daily_problems *all_bad, daily_audit *audit) {
    for (int y = 0; y < max_years; ++y) {
        for (int m = 0; m < months; ++m) {
            prec[y][m] = 0.0f;
            tmin[y][m] = 0.0f;
            tmax[y][m] = 0.0f;
        }
    }
    int month = 1;
    int year = 0;
    accumulator hot, cold, rain;
    auto close_month = [&] {
        tmax[year][month - 1] = monthly_mean(hot);
        tmin[year][month - 1] = monthly_mean(cold);
        prec[year][month - 1] = monthly_total(rain);
    };

    line_reader reader(wthfp, max_daily_line);
    fast_daily_parser parser;
    std::string_view line;
    long line_number = 0;
    while (next_daily_line(reader, parser, line)) {
        ++line_number;
        daily_record day;
        parse_status status = parse_daily_line_fast(parser, line, reader.padded, day, err.reason);
        if (status == parse_status::blank)
            continue;
        if (audit != nullptr)
            audit_daily_line(*audit, line, status == parse_status::ok ? &day : nullptr,
                             line_number);
        if (status == parse_status::bad) {
            err.line = line_number;
            if (all_bad != nullptr) {
                note_problem(*all_bad, err);
                continue;
            }
            return -1;
        }
        // The month field alone drives the grouping; years pass with December.
        if (day.month == month) {
            add_day(hot, day.tmax);
            add_day(cold, day.tmin);
            add_day(rain, day.prec);
            continue;
        }
        close_month();
        if (month == 12)
            ++year;
        if (year >= max_years) {
            err.line = line_number;
            err.reason = "more than " + std::to_string(max_years) + " years of data";
            if (all_bad != nullptr)
                note_problem(*all_bad, err);
            return -1;
        }
        month = day.month;
        start_month(hot, day.tmax);
        start_month(cold, day.tmin);
        start_month(rain, day.prec);
    }
    if (reader.too_long || reader.error != 0) {
        err.line = reader.too_long ? line_number + 1 : 0;
        err.reason =
            reader.too_long ? too_long_reason(max_daily_line) : std::strerror(reader.error);
        if (all_bad != nullptr)
            note_problem(*all_bad, err);
        return -1;
    }
    close_month();
    return year;
}
