// The daily file of an import, written day by day in calendar order, and
// its row of the stations table.
#include "import.h"
#include "outputs.h"
#include "siteprep.h"
#include "utils.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace import {

bool is_leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int month_length(int year, int month) {
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : lengths[month - 1];
}

bool is_real_date(const date &d) {
    return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= month_length(d.year, d.month);
}

int day_of_year(const date &d) {
    int n = d.day;
    for (int m = 1; m < d.month; ++m)
        n += month_length(d.year, m);
    return n;
}

bool date_of_day(int year, int day, date &d) {
    if (year < 1 || year > 9999 || day < 1)
        return false;
    for (int m = 1; m <= 12; ++m) {
        if (day <= month_length(year, m)) {
            d = {year, m, day};
            return true;
        }
        day -= month_length(year, m);
    }
    return false;
}

namespace {

date next_day(date d) {
    if (++d.day > month_length(d.year, d.month)) {
        d.day = 1;
        if (++d.month > 12) {
            d.month = 1;
            ++d.year;
        }
    }
    return d;
}

// Each conversion's factor and offset, and how many decimals it adds to
// the source's: multiplying by 0.1 or 2.54 keeps a decimal exact with one
// or two more; Fahrenheit's 5/9 has no exact decimal, and two more are a
// start that value_text extends as the float needs.
struct conversion {
    double scale, offset;
    int more_decimals, least_decimals;
};

conversion of(temp_unit unit) {
    switch (unit) {
    case temp_unit::celsius:
        return {1.0, 0.0, 0, 0};
    case temp_unit::fahrenheit:
        return {5.0 / 9.0, -32.0, 2, 0};
    case temp_unit::kelvin:
        return {1.0, -273.15, 0, 2};
    case temp_unit::tenths_celsius:
        return {0.1, 0.0, 1, 0};
    }
    return {1.0, 0.0, 0, 0};
}

conversion of(prcp_unit unit) {
    switch (unit) {
    case prcp_unit::mm:
        return {0.1, 0.0, 1, 0};
    case prcp_unit::cm:
        return {1.0, 0.0, 0, 0};
    case prcp_unit::inches:
        return {2.54, 0.0, 2, 0};
    case prcp_unit::tenths_mm:
        return {0.01, 0.0, 2, 0};
    }
    return {1.0, 0.0, 0, 0};
}

bool converted(std::string_view text, const conversion &c, value &v) {
    double number = 0;
    int decimals = 0;
    if (!plain_number(text, number, decimals))
        return false;
    // The offset first: (F - 32) * 5/9, K - 273.15.
    v.number = (number + c.offset) * c.scale;
    if (v.number == 0)
        v.number = 0; // never "-0.0"
    v.decimals = std::max(decimals + c.more_decimals, c.least_decimals);
    v.valid = true;
    return true;
}

} // namespace

bool plain_number(std::string_view text, double &number, int &decimals) {
    size_t i = 0, digits = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    decimals = -1;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            ++digits;
            decimals += decimals >= 0;
        } else if (text[i] == '.' && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    decimals = std::max(decimals, 0);
    if (digits == 0 || digits > 30)
        return false;
    const std::string terminated(text);
    number = std::strtod(terminated.c_str(), nullptr);
    return std::isfinite(number);
}

bool temperature(std::string_view text, temp_unit unit, value &v) {
    return converted(text, of(unit), v);
}

bool precipitation(std::string_view text, prcp_unit unit, value &v) {
    return converted(text, of(unit), v);
}

std::string value_text(const value &v) {
    if (!v.valid)
        return "-99.99";
    const float wanted = static_cast<float>(v.number);
    const auto reads_back = [wanted](const std::string &text) {
        return std::strtof(text.c_str(), nullptr) == wanted;
    };
    // The source's decimals and the conversion's, or a few more.
    for (int decimals = v.decimals; decimals <= 12; ++decimals)
        if (std::string text = format_message("%.*f", decimals, v.number); reads_back(text))
            return text;
    // Otherwise (a source with more decimals than a float holds, or a value
    // far below 1) the fewest decimals that give the float back; a value
    // that is zero as a float is written unsigned.
    const double number = wanted == 0 ? 0.0 : v.number;
    std::string text;
    for (int decimals = 0; decimals <= 64; ++decimals)
        if (text = format_message("%.*f", decimals, number); reads_back(text))
            break;
    return text;
}

std::string stations_header() {
    return "name,format,latitude,longitude,elevation_m,first_date,last_date,days,"
           "missing_tmax,missing_tmin,missing_prcp,mean_annual_prcp_cm\r\n";
}

namespace {

std::string or_na(const std::string &text) {
    return text.empty() ? "NA" : csv_field(text);
}

std::string date_text(const date &d) {
    if (d.year == 0)
        return "NA"; // no day with a value
    return format_message("%04d-%02d-%02d", d.year, d.month, d.day);
}

} // namespace

std::string stations_line(const station_row &row) {
    // Mean daily precipitation of the valid days over a mean year.
    const std::string annual =
        row.prcp_days > 0
            ? format_message("%.2f", row.prcp_sum / static_cast<double>(row.prcp_days) * 365.25)
            : "NA";
    return csv_field(row.name) + "," + row.format + "," + or_na(row.latitude) + "," +
           or_na(row.longitude) + "," + or_na(row.elevation) + "," + date_text(row.first) + "," +
           date_text(row.last) + "," + std::to_string(row.days) + "," +
           std::to_string(row.missing[tmax]) + "," + std::to_string(row.missing[tmin]) + "," +
           std::to_string(row.missing[prcp]) + "," + annual + "\r\n";
}

namespace {

// The first field of a CSV row, unquoted.
std::string first_field(std::string_view row) {
    if (row.empty() || row[0] != '"')
        return std::string(row.substr(0, row.find(',')));
    std::string field;
    for (size_t i = 1; i < row.size(); ++i) {
        if (row[i] != '"')
            field += row[i];
        else if (i + 1 < row.size() && row[i + 1] == '"')
            field += row[++i];
        else
            break;
    }
    return field;
}

} // namespace

bool merge_stations(std::string_view table, const std::vector<station_row> &rows,
                    std::string &text) {
    const std::string header = stations_header();
    text = header;
    std::vector<bool> placed(rows.size(), false);
    for (size_t at = 0, line = 0; at < table.size(); ++line) {
        const size_t end = std::min(table.find('\n', at), table.size() - 1) + 1;
        const std::string_view row = table.substr(at, end - at);
        at = end;
        std::string_view bare = row.substr(0, row.find_last_not_of("\r\n") + 1);
        if (line == 0) {
            if (bare != std::string_view(header).substr(0, header.size() - 2))
                return false;
            continue;
        }
        const std::string name = first_field(bare);
        const auto same = [&name](const station_row &r) { return r.name == name; };
        const size_t k =
            static_cast<size_t>(std::find_if(rows.begin(), rows.end(), same) - rows.begin());
        if (k == rows.size()) {
            text += std::string(row) + (row.back() == '\n' ? "" : "\r\n");
        } else if (!placed[k]) {
            text += stations_line(rows[k]);
            placed[k] = true;
        }
    }
    for (size_t k = 0; k < rows.size(); ++k)
        if (!placed[k])
            text += stations_line(rows[k]);
    return true;
}

wth_writer::wth_writer(FILE *out, station_row &row, int first_year, int last_year)
    : out_(out), row_(row), first_year_(first_year), last_year_(last_year) {}

void wth_writer::put_day(const date &d, const value (&values)[quantities]) {
    put_format(out_, "%d %d %d %d %s %s %s\n", d.day, d.month, d.year, day_of_year(d),
               value_text(values[tmax]).c_str(), value_text(values[tmin]).c_str(),
               value_text(values[prcp]).c_str());
    ++row_.days;
    for (int q = 0; q < quantities; ++q)
        row_.missing[q] += !values[q].valid;
    if (values[prcp].valid) {
        row_.prcp_sum += values[prcp].number;
        ++row_.prcp_days;
    }
    next_ = next_day(d);
}

void wth_writer::fill_until(const date &end) {
    static const value none[quantities];
    while (next_ < end)
        put_day(next_, none);
}

day_order wth_writer::add(const date &d, const value (&values)[quantities]) {
    if (any_ && !(last_ < d))
        return d == last_ ? day_order::duplicate : day_order::out_of_order;
    any_ = true;
    last_ = d;
    if ((first_year_ != 0 && d.year < first_year_) || (last_year_ != 0 && d.year > last_year_))
        return day_order::ok;
    if (!in_range_) {
        in_range_ = true;
        next_ = {first_year_ != 0 ? first_year_ : d.year, 1, 1};
        start_year_ = next_.year;
    }
    // The tool reads at most so many years: a longer file is refused here.
    if (d.year - start_year_ >= max_years)
        return day_order::too_many_years;
    fill_until(d);
    put_day(d, values);
    if (values[tmax].valid || values[tmin].valid || values[prcp].valid) {
        if (row_.first.year == 0)
            row_.first = d;
        row_.last = d;
    }
    return day_order::ok;
}

bool wth_writer::finish() {
    if (!in_range_)
        return false;
    fill_until({(last_year_ != 0 ? last_year_ : last_.year) + 1, 1, 1});
    return true;
}

} // namespace import
