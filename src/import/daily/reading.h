// What the readers of the daily formats share: the reading of a table of
// days by its header row. Included by the readers' own files only.
#pragma once

#include "failure.h"
#include "input.h"
#include "readers.h"

#include <string>
#include <string_view>
#include <vector>

namespace import {

// A header name without its unit: "prcp (mm/day)" is "prcp".
std::string column_key(std::string_view name);

// Values that stand for a missing one, by text or by number.
struct missing_codes {
    std::vector<std::string> texts;
    bool has(std::string_view text) const {
        if (text.empty())
            return true;
        double number = 0, code = 0;
        int decimals = 0;
        const bool numeric = plain_number(text, number, decimals);
        for (const std::string &t : texts)
            if (t == text || (numeric && plain_number(t, code, decimals) && code == number))
                return true;
        return false;
    }
};

// A table's columns and how its dates are given.
struct table {
    int date = -1, year = -1, month = -1, day = -1, day_of_year = -1;
    int value[quantities] = {-1, -1, -1};
    bool daymet_days = false; // days 1 to 365 in every year
    char delimiter = ',';
    bool blank_runs = false;   // runs of blanks and tabs separate fields
    bool missing_hint = false; // a word in a value column may be a missing code
    std::vector<std::string> header;
    temp_unit temp = temp_unit::celsius;
    prcp_unit prcp = prcp_unit::cm;
    missing_codes missing;
};

// The data rows of a table into the writer; or what failed, naming the line.
failure table_rows(input &in, const table &t, wth_writer &writer);

// A column the header row may hold (-1 for none); or why the name cannot tell.
failure may_column(const input &in, table &t, int &column, const std::string &name);
// Finds a named column, or says which is missing.
failure need_column(const input &in, table &t, int &column, const std::string &name);

// Latitude, longitude and elevation from a line of a preamble, where given.
void note_place(std::string_view line, station_row &row);

// The readers, each a row of the table of daily formats (formats.cpp):
// each reads its input's days into the writer, and what it learns of the
// station into row; or what failed, naming the line and the column.
failure read_daymet(input &in, const import_options &o, wth_writer &writer, station_row &row);
failure read_ghcn(input &in, const import_options &o, wth_writer &writer, station_row &row);
failure read_power(input &in, const import_options &o, wth_writer &writer, station_row &row);
failure read_csv(input &in, const import_options &o, wth_writer &writer, station_row &row);
// POWER's JSON, its text read whole (power_json.cpp), as read_power reads
// its CSV.
failure read_power_json(const std::string &path, const std::string &text, wth_writer &writer,
                        station_row &row);

} // namespace import
