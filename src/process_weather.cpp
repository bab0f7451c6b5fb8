// Daily weather lines to year-by-month tables: monthly mean maximum and
// minimum temperature and monthly precipitation total.
#include "siteprep.h"

#include <cerrno>
#include <cstring>

parse_status parse_daily_line(std::string_view line, daily_record &day, std::string &why) {
    std::string_view fields[7];
    size_t pos = 0;
    int count = 0;
    while (count < 7) {
        std::string_view t = next_token(line, pos);
        if (t.empty())
            break;
        fields[count++] = t;
    }
    if (count == 0)
        return parse_status::blank;
    if (count < 7) {
        why = std::to_string(count) + (count == 1 ? " field" : " fields") + " found, 7 needed";
        return parse_status::bad;
    }
    // Fields 1, 3 and 4 are not used, but must still be whole numbers.
    int whole[4];
    for (int i = 0; i < 4; ++i) {
        if (!parse_int(fields[i], whole[i])) {
            why = "field " + std::to_string(i + 1) + " is not a whole number: \"" +
                  std::string(fields[i]) + "\"";
            return parse_status::bad;
        }
    }
    float *values[3] = {&day.tmax, &day.tmin, &day.prec};
    for (int i = 4; i < 7; ++i) {
        if (!parse_float(fields[i], *values[i - 4])) {
            why = "field " + std::to_string(i + 1) + " is not a number: \"" +
                  std::string(fields[i]) + "\"";
            return parse_status::bad;
        }
    }
    day.month = whole[1];
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

int process_daily_weather(FILE *wthfp, month_table &prec, month_table &tmin, month_table &tmax,
                          daily_error &err) {
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

    line_reader reader(wthfp);
    std::string_view line;
    long line_number = 0;
    while (next_line(reader, line)) {
        ++line_number;
        daily_record day;
        parse_status status = parse_daily_line(line, day, err.reason);
        if (status == parse_status::blank)
            continue;
        if (status == parse_status::bad) {
            err.line = line_number;
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
            return -1;
        }
        month = day.month;
        start_month(hot, day.tmax);
        start_month(cold, day.tmin);
        start_month(rain, day.prec);
    }
    if (reader.error != 0) {
        err.line = 0;
        err.reason = std::strerror(reader.error);
        return -1;
    }
    close_month();
    return year;
}
