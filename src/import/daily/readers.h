// The readers of the sources daily files are made from: Daymet's
// single-pixel CSV, GHCN-Daily's .dly, NASA POWER's daily point CSV, and a
// plain CSV whose columns and units the user names.
#pragma once

#include "convert.h"
#include "failure.h"
#include "ghcn_stations.h"
#include "wth_writer.h"

#include <string>
#include <vector>

namespace import {

struct daily_format;

// A plain CSV's columns, by their names in its header row.
struct csv_columns {
    std::string date; // YYYY-MM-DD; or the three below
    std::string year, month, day;
    std::string value[quantities]; // tmax, tmin, prcp
};

struct import_options {
    const daily_format *format = nullptr; // a row of the table of formats (formats.h)
    int first_year = 0, last_year = 0;    // 0: the source's own years
    temp_unit temp = temp_unit::celsius;
    prcp_unit prcp = prcp_unit::cm;
    csv_columns columns;
    std::vector<std::string> missing; // further values that mean missing
    char delimiter = ',';
    bool blank_runs = false;                // --delimiter space: runs of blanks and tabs separate
    const station_places *places = nullptr; // GHCN station metadata, if given
    bool allow_lacking = false;             // a quantity with no value at all is left to a fill
};

// Reads one input ("-": standard input) and writes its daily file to out, filling its row of the
// stations table; or what failed, naming the file, the line and the column.
failure import_file(const std::string &path, const import_options &options, os::out_stream &out,
                    station_row &row);

// The station an input holds: GHCN's ID from its first line, into id; or
// why the file cannot tell.
failure ghcn_station_of(const std::string &path, std::string &id);

} // namespace import
