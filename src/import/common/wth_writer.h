// The daily file an import writes: every calendar day of whole years, in
// order, values converted to degrees C and cm a day with the decimals that
// keep what the source gave, -99.99 where a value is missing; and what the
// stations table says of it.
#pragma once

#include "calendar.h"
#include "convert.h"
#include "fd.h"

#include <string>
#include <string_view>
#include <vector>

namespace import {

using date = calendar_date;

// What the stations table says of one import.
struct station_row {
    std::string name, format;
    std::string latitude, longitude, elevation; // as the source gives them; empty: NA
    date first, last;                           // the first and last day with a value; year 0: none
    long days = 0, missing[quantities] = {0, 0, 0};
    double prcp_sum = 0;
    long prcp_days = 0;
    // From a grid: the distance from the site to the cell its values come
    // from, in km, and the cell's place; empty for a station.
    std::string distance_km, cell_latitude, cell_longitude;
    // The values no weather can have, written as missing (and counted so).
    outside_range outside;
};

// The table's header and a row's line; with_distance, with the columns
// cell_distance_km, cell_latitude and cell_longitude that a table gets once
// it holds a row from a grid.
std::string stations_header(bool with_distance = false);
std::string stations_line(const station_row &row, bool with_distance = false);

// The stations table after an import of rows, from the table as it was
// (empty: none): a row of a name imported now in place of the first of
// that name (the others go), a new name's row at the end, every other row
// kept as it was (NA in the cell's columns when the table gets them).
// False when the table's first line is not a header of the table.
bool merge_stations(std::string_view table, const std::vector<station_row> &rows,
                    std::string &text);

// Why adding a day failed.
enum class day_order { ok, duplicate, out_of_order, too_many_years };

// Writes a daily file from days given in order: the missing days before,
// between and after them filled in to whole years (or to the years given),
// and a value no weather can have as missing.
class wth_writer {
  public:
    wth_writer(os::out_stream &out, station_row &row, int first_year = 0, int last_year = 0);
    ~wth_writer();
    wth_writer(const wth_writer &) = delete;
    wth_writer &operator=(const wth_writer &) = delete;
    day_order add(const date &d, const value (&values)[quantities]);
    // Fills the last year; false when no day fell in the years.
    bool finish();

  private:
    void flush(); // the lines put together so far, to the stream
    void put_day(const date &d, const value (&values)[quantities]);
    void fill_until(const date &end); // the missing days up to, not including, end

    os::out_stream &out_;
    station_row &row_;
    int first_year_, last_year_; // 0: the source's own
    bool any_ = false, in_range_ = false;
    date last_{}, next_{}; // the last day given, the next day to write
    int start_year_ = 0;   // the first year written
    std::string lines_;    // put together, not yet given to the stream
};

} // namespace import
