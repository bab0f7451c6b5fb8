// The daily file of an import, written day by day in calendar order, and
// its row of the stations table.
#include "wth_writer.h"
#include "csv.h"
#include "fd.h"
#include "layout.h"
#include "outputs.h"
#include "shown.h"

#include <algorithm>
#include <charconv>

namespace import {

namespace {

// The columns of a grid's rows; a table written before the cell's place
// was kept has the first alone.
constexpr const char *grid_columns[] = {",cell_distance_km", ",cell_latitude", ",cell_longitude"};
constexpr size_t grid_column_count = std::size(grid_columns);

// The header with the first n of the grid's columns, without its line end.
std::string header_with(size_t n) {
    std::string h = "name,format,latitude,longitude,elevation_m,first_date,last_date,days,"
                    "missing_tmax,missing_tmin,missing_prcp,mean_annual_prcp_cm";
    for (size_t i = 0; i < n; ++i)
        h += grid_columns[i];
    return h;
}

} // namespace

std::string stations_header(bool with_distance) {
    return header_with(with_distance ? grid_column_count : 0) + "\r\n";
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

// The NA of each of n columns a row lacks.
std::string na_columns(size_t n) {
    std::string na;
    for (size_t i = 0; i < n; ++i)
        na += ",NA";
    return na;
}

} // namespace

std::string stations_line(const station_row &row, bool with_distance) {
    // Mean daily precipitation of the valid days over a mean year.
    const std::string annual =
        row.prcp_days > 0
            ? format_message("%.2f", row.prcp_sum / static_cast<double>(row.prcp_days) * 365.25)
            : "NA";
    return csv_field(row.name) + "," + row.format + "," + or_na(row.latitude) + "," +
           or_na(row.longitude) + "," + or_na(row.elevation) + "," + date_text(row.first) + "," +
           date_text(row.last) + "," + std::to_string(row.days) + "," +
           std::to_string(row.missing[tmax]) + "," + std::to_string(row.missing[tmin]) + "," +
           std::to_string(row.missing[prcp]) + "," + annual +
           (with_distance ? "," + or_na(row.distance_km) + "," + or_na(row.cell_latitude) + "," +
                                or_na(row.cell_longitude)
                          : std::string()) +
           "\r\n";
}

bool merge_stations(std::string_view table, const std::vector<station_row> &rows,
                    std::string &text) {
    // The header the table has, or none yet.
    const std::string_view first_line = table.substr(0, table.find('\n'));
    const std::string_view header = first_line.substr(0, first_line.find_last_not_of('\r') + 1);
    // How many of the grid's columns it has.
    size_t had = grid_column_count + 1; // none: not a stations table
    for (const size_t n : {size_t{0}, size_t{1}, grid_column_count})
        if (header == header_with(n))
            had = n;
    if (!table.empty() && had > grid_column_count)
        return false;
    const bool had_distance = !table.empty() && had == grid_column_count;
    const bool with_distance =
        had_distance || std::any_of(rows.begin(), rows.end(),
                                    [](const station_row &r) { return !r.distance_km.empty(); });
    text = stations_header(with_distance);
    std::vector<bool> placed(rows.size(), false);
    for (size_t at = first_line.size() + 1; at < table.size();) {
        const size_t end = std::min(table.find('\n', at), table.size() - 1) + 1;
        const std::string_view row = table.substr(at, end - at);
        at = end;
        std::string_view bare = row.substr(0, row.find_last_not_of("\r\n") + 1);
        const std::string name = first_field(bare);
        const auto same = [&name](const station_row &r) { return r.name == name; };
        const size_t k =
            static_cast<size_t>(std::find_if(rows.begin(), rows.end(), same) - rows.begin());
        if (k == rows.size()) {
            text += with_distance && !had_distance
                        ? std::string(bare) + na_columns(grid_column_count - had) + "\r\n"
                        : std::string(row) + (row.back() == '\n' ? "" : "\r\n");
        } else if (!placed[k]) {
            text += stations_line(rows[k], with_distance);
            placed[k] = true;
        }
    }
    for (size_t k = 0; k < rows.size(); ++k)
        if (!placed[k])
            text += stations_line(rows[k], with_distance);
    return true;
}

wth_writer::wth_writer(os::out_stream &out, station_row &row, int first_year, int last_year)
    : out_(out), row_(row), first_year_(first_year), last_year_(last_year) {}

wth_writer::~wth_writer() {
    flush();
}

void wth_writer::flush() {
    out_.put(lines_);
    lines_.clear();
}

void wth_writer::put_day(const date &d, const value (&values)[quantities]) {
    // "%d %d %d %d %s %s %s\n", put together without printf and given to
    // the stream a block of lines at a time: a grid's import writes a line
    // for every day of every site.
    char line[256];
    char *at = line, *const end = line + sizeof line;
    for (const int field : {d.day, d.month, d.year, day_of_year(d)}) {
        at = std::to_chars(at, end, field).ptr;
        *at++ = ' ';
    }
    for (int q = 0; q < quantities; ++q) {
        const value &v = values[q];
        if (v.valid && v.shortest && v.decimals < 16) {
            at = shortest_chars(at, end - 1, static_cast<float>(v.number), v.decimals);
        } else {
            lines_.append(line, at);
            lines_ += value_text(v);
            at = line;
        }
        *at++ = q + 1 < quantities ? ' ' : '\n';
    }
    lines_.append(line, at);
    if (lines_.size() >= 32768)
        flush();
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
    value possible[quantities] = {values[tmax], values[tmin], values[prcp]};
    for (int q = 0; q < quantities; ++q)
        if (possible[q].valid && !physically_possible(q, possible[q].number)) {
            possible[q].valid = false;
            row_.outside.note(q, d);
        }
    put_day(d, possible);
    if (possible[tmax].valid || possible[tmin].valid || possible[prcp].valid) {
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
    flush();
    return true;
}

} // namespace import
