// The daily file of an import, written day by day in calendar order, and
// its row of the stations table.
#include "wth_writer.h"
#include "csv.h"
#include "fd.h"
#include "layout.h"
#include "named_rows.h"
#include "shown.h"

#include <algorithm>

namespace import {

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

bool merge_stations(std::string_view table, const std::vector<station_row> &rows,
                    std::string &text) {
    std::vector<named_row> lines;
    for (const station_row &row : rows)
        lines.emplace_back(row.name, stations_line(row));
    return merge_named_rows(table, stations_header(), lines, text);
}

wth_writer::wth_writer(os::out_stream &out, station_row &row, int first_year, int last_year)
    : out_(out), row_(row), first_year_(first_year), last_year_(last_year) {}

void wth_writer::put_day(const date &d, const value (&values)[quantities]) {
    out_.print("%d %d %d %d %s %s %s\n", d.day, d.month, d.year, day_of_year(d),
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
