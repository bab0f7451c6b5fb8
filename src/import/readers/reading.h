// What the readers of an import share: an input read a line at a time,
// the messages that name its lines and columns, and the reading of a
// table of days by its header row. Included by the readers' own files only.
#pragma once

#include "fd.h"
#include "lines.h"
#include "readers.h"

#include <string>
#include <string_view>
#include <vector>

namespace import {

// An input read a line at a time, without the line's end: LF, CR LF or a
// lone CR. A UTF-8 byte-order mark before the first line is not part of it.
class input {
  public:
    explicit input(const std::string &path); // "-": standard input
    input(const input &) = delete;
    input &operator=(const input &) = delete;

    // Whether it opened; err says why not.
    bool opened() const { return path == "-" || file_.is_open(); }
    // The next line into line; false at the end or after a read error
    // (err then says why).
    bool next();

    std::string path;
    long number = 0;
    std::string line;
    int err = 0; // errno of a failed open or read

  private:
    os::fd file_; // none for standard input
    line_reader reader_;
    std::string_view rest_; // what follows a lone CR of the reader's line
    bool more_ = false;     // rest_ holds a line still to come
};

// "NAME line N: what", and the same naming a column of the line.
std::string at_line(const input &in, const std::string &what);
std::string at_column(const input &in, const std::string &column, const std::string &what);
// "Error reading NAME: why".
std::string read_failure(const input &in);

// A field without the blanks and tabs around it; a text in lower case.
std::string_view trimmed(std::string_view s);
std::string lower(std::string_view s);

// The fields of a CSV line (RFC 4180 quotes; no line breaks inside them),
// trimmed of blanks.
std::vector<std::string> split_fields(std::string_view line, char delimiter);
// The fields of a line, as split_fields splits them or (blank_runs) as
// runs of blanks and tabs separate them.
std::vector<std::string> split_line(std::string_view line, char delimiter, bool blank_runs);

// A header name without its unit: "prcp (mm/day)" is "prcp".
std::string column_key(std::string_view name);

// A plain decimal number that is a whole one, within an int.
bool whole_number(std::string_view text, int &n);

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

// The data rows of a table into the writer; empty, or what failed.
std::string table_rows(input &in, const table &t, wth_writer &writer);

// A column the header row may hold; empty, or why the name cannot tell.
std::string may_column(const input &in, table &t, int &column, const std::string &name);
// Finds a named column, or says which is missing.
std::string need_column(const input &in, table &t, int &column, const std::string &name);

// Latitude, longitude and elevation from a line of a preamble, where given.
void note_place(std::string_view line, station_row &row);

// The readers: each reads its input's days into the writer, and what it
// learns of the station into row; empty, or what failed.
std::string read_daymet(input &in, wth_writer &writer, station_row &row);
std::string read_ghcn(input &in, const import_options &o, wth_writer &writer, station_row &row);
std::string read_power(input &in, wth_writer &writer, station_row &row);
std::string read_csv(input &in, const import_options &o, wth_writer &writer);

} // namespace import
