// The source readers of an import. Each reads its input a line at a time
// and hands the days in date order to the daily file's writer; only GHCN,
// whose three elements of a day stand on lines far apart, holds its
// station's months until the file ends.
#include "import_readers.h"
#include "siteprep.h"
#include "utils.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/stat.h>

namespace import {

const char *source_name(source s) {
    switch (s) {
    case source::daymet:
        return "daymet";
    case source::ghcn:
        return "ghcn";
    case source::power:
        return "power";
    case source::csv:
        return "csv";
    }
    return "";
}

std::string input_name(const std::string &path) {
    return path == "-" ? "standard input" : shown_name(path);
}

namespace {

// An input read a line at a time, without the line's end: LF, CR LF or a
// lone CR. A UTF-8 byte-order mark before the first line is not part of it.
struct input {
    std::string path; // "-": standard input
    FILE *fp = nullptr;
    long number = 0;
    std::string line;
    int err = 0;

    explicit input(const std::string &p)
        : path(p), fp(p == "-" ? stdin : std::fopen(p.c_str(), "r")) {
        err = fp == nullptr ? errno : 0;
    }
    ~input() {
        if (fp != nullptr && fp != stdin)
            std::fclose(fp);
    }
    input(const input &) = delete;
    input &operator=(const input &) = delete;

    bool next() {
        line.clear();
        int c;
        while ((c = std::getc(fp)) != EOF && c != '\n' && c != '\r')
            line += static_cast<char>(c);
        if (c == '\r')
            if (const int after = std::getc(fp); after != '\n' && after != EOF)
                std::ungetc(after, fp);
        if (std::ferror(fp))
            err = errno ? errno : EIO;
        if (c == EOF && line.empty())
            return false;
        if (number == 0 && line.starts_with("\xEF\xBB\xBF"))
            line.erase(0, 3);
        ++number;
        return true;
    }
};

std::string at_line(const input &in, const std::string &what) {
    return input_name(in.path) + " line " + std::to_string(in.number) + ": " + what;
}

std::string at_column(const input &in, const std::string &column, const std::string &what) {
    return at_line(in, "column " + quote_token(column) + ": " + what);
}

std::string read_failure(const input &in) {
    return "Error reading " + input_name(in.path) + ": " + std::strerror(in.err);
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The fields of a CSV line (RFC 4180 quotes; no line breaks inside them),
// trimmed of blanks.
std::vector<std::string> split_fields(std::string_view line, char delimiter) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i <= line.size(); ++i) {
        const char c = i < line.size() ? line[i] : delimiter;
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                field += line[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"' && trimmed(field).empty()) {
            field.clear();
            quoted = true;
        } else if (c == delimiter) {
            fields.emplace_back(trimmed(field));
            field.clear();
        } else {
            field += c;
        }
    }
    return fields;
}

// The fields of a line whose fields runs of blanks and tabs separate, as
// awk reads them.
std::vector<std::string> split_blanks(std::string_view line) {
    std::vector<std::string> fields;
    size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == line.size())
            return fields;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        fields.emplace_back(line.substr(start, i - start));
    }
}

std::vector<std::string> split_line(std::string_view line, char delimiter, bool blank_runs) {
    return blank_runs ? split_blanks(line) : split_fields(line, delimiter);
}

// A header name without its unit: "prcp (mm/day)" is "prcp".
std::string column_key(std::string_view name) {
    const size_t paren = name.find('(');
    return lower(trimmed(name.substr(0, paren)));
}

// "\"tmax (C)\" (column 3) and \"tmax (F)\" (column 5)".
std::string columns_named(const std::vector<std::string> &header, const std::vector<int> &found) {
    std::string list;
    for (size_t k = 0; k < found.size(); ++k)
        list += std::string(k == 0                  ? ""
                            : k + 1 == found.size() ? " and "
                                                    : ", ") +
                quote_token(header[found[k]]) + format_message(" (column %d)", found[k] + 1);
    return list;
}

// The column a name asks for: the one of that very name; else the one of
// that name case folded; else, for a name without a unit, the one whose
// name before its unit is it ("prcp" finds "prcp (mm/day)"). A name that
// finds several columns at the first of these that finds any is an error
// naming them; column is -1 when none is found.
std::string find_column(const std::vector<std::string> &header, std::string_view name,
                        int &column) {
    const std::string_view exact = trimmed(name);
    const std::string folded = lower(exact);
    const bool has_unit = name.find('(') != std::string_view::npos;
    const std::function<bool(const std::string &)> levels[] = {
        [&](const std::string &h) { return h == exact; },
        [&](const std::string &h) { return lower(h) == folded; },
        [&](const std::string &h) { return !has_unit && column_key(h) == folded; }};
    column = -1;
    for (const auto &matches : levels) {
        std::vector<int> found;
        for (size_t i = 0; i < header.size(); ++i)
            if (matches(header[i]))
                found.push_back(static_cast<int>(i));
        if (found.size() > 1)
            return quote_token(name) + " names " + std::to_string(found.size()) +
                   " columns of the header row: " + columns_named(header, found);
        if (found.size() == 1) {
            column = found[0];
            break;
        }
    }
    return std::string();
}

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

bool whole_number(std::string_view text, int &n) {
    double number = 0;
    int decimals = 0;
    if (!plain_number(text, number, decimals) || !(number > -1e9 && number < 1e9) ||
        number != static_cast<int>(number))
        return false;
    n = static_cast<int>(number);
    return true;
}

// YYYY-MM-DD.
bool iso_date(std::string_view text, date &d) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9')
            return false;
    d = {std::atoi(std::string(text.substr(0, 4)).c_str()),
         std::atoi(std::string(text.substr(5, 2)).c_str()),
         std::atoi(std::string(text.substr(8, 2)).c_str())};
    return true;
}

std::string row_date(const input &in, const table &t, const std::vector<std::string> &f, date &d) {
    if (t.date >= 0) {
        if (!iso_date(f[t.date], d))
            return at_column(in, t.header[t.date],
                             "not a date YYYY-MM-DD: " + quote_token(f[t.date]));
    } else {
        int parts[3] = {0, 0, 0};
        const int columns[3] = {t.year, t.day_of_year >= 0 ? t.day_of_year : t.month, t.day};
        for (int k = 0; k < 3; ++k)
            if (columns[k] >= 0 && !whole_number(f[columns[k]], parts[k]))
                return at_column(in, t.header[columns[k]],
                                 "not a whole number: " + quote_token(f[columns[k]]));
        if (t.day_of_year >= 0) {
            const bool past = t.daymet_days && parts[1] > 365;
            if (past || !date_of_day(parts[0], parts[1], d))
                return at_line(in,
                               format_message("day %d of %d does not exist", parts[1], parts[0]));
            return std::string();
        }
        d = {parts[0], parts[1], parts[2]};
    }
    if (!is_real_date(d))
        return at_line(
            in, format_message("the date %04d-%02d-%02d does not exist", d.year, d.month, d.day));
    return std::string();
}

std::string order_failure(const input &in, day_order order, const date &d) {
    const std::string day = format_message("%04d-%02d-%02d", d.year, d.month, d.day);
    if (order == day_order::too_many_years)
        return at_line(in, "the date " + day +
                               format_message(": more than %d years from the first, the most "
                                              "siteprep reads",
                                              max_years));
    return at_line(in, order == day_order::duplicate
                           ? "the date " + day + " again"
                           : "the date " + day + " before a date above it: days must be in order");
}

// What a word where a number should be may mean, where --missing can say so.
std::string missing_hint(const table &t, const std::string &text) {
    if (!t.missing_hint ||
        std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::string();
    return " (give --missing " + text + " if it means missing)";
}

// One data row of a table into the writer.
std::string table_row(const input &in, const table &t, wth_writer &writer) {
    const std::vector<std::string> f = split_line(in.line, t.delimiter, t.blank_runs);
    if (f.size() != t.header.size())
        return at_line(
            in, format_message("%zu fields, the header row has %zu", f.size(), t.header.size()));
    date d;
    if (std::string why = row_date(in, t, f, d); !why.empty())
        return why;
    value values[quantities];
    for (int q = 0; q < quantities; ++q) {
        const std::string &text = f[t.value[q]];
        if (t.missing.has(text))
            continue;
        if (!(q == prcp ? precipitation(text, t.prcp, values[q])
                        : temperature(text, t.temp, values[q])))
            return at_column(in, t.header[t.value[q]],
                             "not a number: " + quote_token(text) + missing_hint(t, text));
    }
    const day_order order = writer.add(d, values);
    return order == day_order::ok ? std::string() : order_failure(in, order, d);
}

std::string table_rows(input &in, const table &t, wth_writer &writer) {
    while (in.next()) {
        if (trimmed(in.line).empty())
            continue;
        if (std::string why = table_row(in, t, writer); !why.empty())
            return why;
    }
    return in.err != 0 ? read_failure(in) : std::string();
}

// A column the header row may hold; empty, or why the name cannot tell.
std::string may_column(const input &in, table &t, int &column, const std::string &name) {
    const std::string why = find_column(t.header, name, column);
    return why.empty() ? why : at_line(in, why);
}

// Finds a named column, or says which is missing.
std::string need_column(const input &in, table &t, int &column, const std::string &name) {
    if (std::string why = may_column(in, t, column, name); !why.empty())
        return why;
    return column >= 0 ? std::string()
                       : at_line(in, "no column " + quote_token(name) + " in the header row");
}

std::string number_after(std::string_view line, std::string_view word) {
    const std::string low = lower(line);
    const size_t at = low.find(lower(word));
    if (at == std::string::npos)
        return std::string();
    size_t i = at + word.size();
    while (i < line.size() && (line[i] == ' ' || line[i] == ':' || line[i] == '\t'))
        ++i;
    size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != ',')
        ++end;
    double number = 0;
    int decimals = 0;
    const std::string token(line.substr(i, end - i));
    return plain_number(token, number, decimals) ? token : std::string();
}

std::string number_before(std::string_view line, std::string_view word) {
    const size_t at = lower(line).find(lower(word));
    if (at == std::string::npos)
        return std::string();
    std::string_view before = trimmed(line.substr(0, at));
    const size_t blank = before.find_last_of(" \t=:");
    const std::string token(blank == std::string_view::npos ? before : before.substr(blank + 1));
    double number = 0;
    int decimals = 0;
    return plain_number(token, number, decimals) ? token : std::string();
}

// Latitude, longitude and elevation from a line of a preamble, where given.
void note_place(std::string_view line, station_row &row) {
    if (std::string v = number_after(line, "latitude"); !v.empty() && row.latitude.empty())
        row.latitude = v;
    if (std::string v = number_after(line, "longitude"); !v.empty() && row.longitude.empty())
        row.longitude = v;
    if (lower(line).find("elevation") != std::string::npos && row.elevation.empty())
        row.elevation = number_before(line, "meters");
}

std::string read_daymet(input &in, wth_writer &writer, station_row &row) {
    table t;
    t.daymet_days = true;
    t.temp = temp_unit::celsius;
    t.prcp = prcp_unit::mm;
    t.missing.texts = {"-9999"};
    while (t.header.empty() && in.next()) {
        const std::vector<std::string> f = split_fields(in.line, ',');
        if (!f.empty() && column_key(f[0]) == "year")
            t.header = f;
        else
            note_place(in.line, row);
    }
    if (t.header.empty())
        return in.err != 0 ? read_failure(in)
                           : input_name(in.path) +
                                 ": no header row starting with year,yday: not a Daymet file";
    for (auto [column, name] :
         {std::pair{&t.year, "year"}, std::pair{&t.day_of_year, "yday"},
          std::pair{&t.value[tmax], "tmax"}, std::pair{&t.value[tmin], "tmin"},
          std::pair{&t.value[prcp], "prcp"}})
        if (std::string why = need_column(in, t, *column, name); !why.empty())
            return why;
    return table_rows(in, t, writer);
}

// POWER's header block: the place and the missing value.
std::string power_header(input &in, table &t, station_row &row) {
    while (in.next()) {
        if (trimmed(in.line) == "-END HEADER-")
            return std::string();
        const std::string low = lower(in.line);
        if (low.find("missing") != std::string::npos && in.line.rfind(':') != std::string::npos) {
            const std::string code(
                trimmed(std::string_view(in.line).substr(in.line.rfind(':') + 1)));
            if (!code.empty())
                t.missing.texts.push_back(code);
        }
        note_place(in.line, row);
    }
    return in.err != 0 ? read_failure(in)
                       : input_name(in.path) + ": the header block has no -END HEADER- line";
}

std::string read_power(input &in, wth_writer &writer, station_row &row) {
    table t;
    t.temp = temp_unit::celsius;
    t.prcp = prcp_unit::mm;
    t.missing.texts = {"-999"};
    while (t.header.empty() && in.next()) {
        if (trimmed(in.line).empty())
            continue;
        if (trimmed(in.line) == "-BEGIN HEADER-") {
            if (std::string why = power_header(in, t, row); !why.empty())
                return why;
            continue;
        }
        t.header = split_fields(in.line, ',');
    }
    if (t.header.empty())
        return in.err != 0 ? read_failure(in) : input_name(in.path) + ": no header row";
    std::string why = may_column(in, t, t.day_of_year, "DOY");
    if (why.empty())
        why = need_column(in, t, t.year, "YEAR");
    if (why.empty() && t.day_of_year < 0)
        why = need_column(in, t, t.month, "MO");
    if (why.empty() && t.day_of_year < 0)
        why = need_column(in, t, t.day, "DY");
    if (why.empty())
        why = need_column(in, t, t.value[tmax], "T2M_MAX");
    if (why.empty())
        why = need_column(in, t, t.value[tmin], "T2M_MIN");
    if (why.empty())
        why = may_column(in, t, t.value[prcp], "PRECTOTCORR");
    if (why.empty() && t.value[prcp] < 0)
        why = need_column(in, t, t.value[prcp], "PRECTOT");
    return why.empty() ? table_rows(in, t, writer) : why;
}

std::string read_csv(input &in, const import_options &o, wth_writer &writer) {
    table t;
    t.temp = o.temp;
    t.prcp = o.prcp;
    t.missing.texts = o.missing;
    t.delimiter = o.delimiter;
    t.blank_runs = o.blank_runs;
    t.missing_hint = true;
    while (t.header.empty() && in.next())
        if (!trimmed(in.line).empty())
            t.header = split_line(in.line, o.delimiter, o.blank_runs);
    if (t.header.empty())
        return in.err != 0 ? read_failure(in) : input_name(in.path) + ": no header row";
    const csv_columns &c = o.columns;
    std::vector<std::pair<int *, std::string>> wanted;
    if (!c.date.empty())
        wanted = {{&t.date, c.date}};
    else
        wanted = {{&t.year, c.year}, {&t.month, c.month}, {&t.day, c.day}};
    for (int q = 0; q < quantities; ++q)
        wanted.emplace_back(&t.value[q], c.value[q]);
    for (auto &[column, name] : wanted)
        if (std::string why = need_column(in, t, *column, name); !why.empty())
            return why;
    return table_rows(in, t, writer);
}

// ---- GHCN-Daily ----

constexpr size_t dly_line_length = 269; // 21 + 31 day slots of 8

// One station's month: the three elements' values of each day.
using dly_month = std::array<std::array<value, 31>, quantities>;

struct dly_station {
    std::string id;
    std::map<int, dly_month> months;           // by year * 12 + month - 1
    int last_month[quantities] = {-1, -1, -1}; // the last month of each element's lines
};

int element_of(std::string_view element) {
    return element == "TMAX" ? tmax : element == "TMIN" ? tmin : element == "PRCP" ? prcp : -1;
}

// A day slot: the value, unless missing or flagged by a quality check.
std::string dly_value(const input &in, int q, std::string_view slot, int days, int d, value &v) {
    const std::string_view number = trimmed(slot.substr(0, 5));
    if (number == "-9999")
        return std::string();
    if (d > days)
        return at_line(in, format_message("a value for day %d of a month of %d days", d, days));
    const bool flagged = slot[6] != ' ';
    const bool ok = q == prcp ? precipitation(number, prcp_unit::tenths_mm, v)
                              : temperature(number, temp_unit::tenths_celsius, v);
    if (!ok)
        return at_line(in,
                       format_message("day %d: not a number: %s", d, quote_token(number).c_str()));
    if (flagged)
        v = value();
    return std::string();
}

std::string dly_line(const input &in, dly_station &station) {
    const std::string &l = in.line;
    if (l.size() != dly_line_length)
        return at_line(
            in, format_message("%zu characters; a .dly line has %zu", l.size(), dly_line_length));
    const std::string id = l.substr(0, 11);
    if (station.id.empty())
        station.id = id;
    else if (id != station.id)
        return at_line(in, "a second station, " + quote_token(id) + ": one station a file");
    const int q = element_of(std::string_view(l).substr(17, 4));
    if (q < 0)
        return std::string();
    int year = 0, month = 0;
    if (!whole_number(l.substr(11, 4), year) || !whole_number(l.substr(15, 2), month) || year < 1 ||
        month < 1 || month > 12)
        return at_line(in, "no year and month in columns 12 to 17");
    const int key = year * 12 + month - 1;
    if (key <= station.last_month[q])
        return at_line(in,
                       format_message("%s of %04d-%02d %s", l.substr(17, 4).c_str(), year, month,
                                      key == station.last_month[q]
                                          ? "again"
                                          : "before a month above it: out of order"));
    station.last_month[q] = key;
    dly_month &m = station.months[key];
    for (int d = 1; d <= 31; ++d) {
        const std::string_view slot = std::string_view(l).substr(21 + 8 * (d - 1), 8);
        if (std::string why = dly_value(in, q, slot, month_length(year, month), d, m[q][d - 1]);
            !why.empty())
            return why;
    }
    return std::string();
}

std::string read_ghcn(input &in, const import_options &o, wth_writer &writer, station_row &row) {
    dly_station station;
    while (in.next())
        if (!trimmed(in.line).empty())
            if (std::string why = dly_line(in, station); !why.empty())
                return why;
    if (in.err != 0)
        return read_failure(in);
    if (o.places != nullptr)
        if (auto p = o.places->find(station.id); p != o.places->end()) {
            row.latitude = p->second.latitude;
            row.longitude = p->second.longitude;
            row.elevation = p->second.elevation;
        }
    for (const auto &[key, m] : station.months) {
        const int year = key / 12, month = key % 12 + 1;
        for (int d = 1; d <= month_length(year, month); ++d) {
            const value day[quantities] = {m[tmax][d - 1], m[tmin][d - 1], m[prcp][d - 1]};
            // In date order by the map's: only the span can be refused.
            if (writer.add({year, month, d}, day) == day_order::too_many_years)
                return input_name(in.path) +
                       format_message(": %04d-%02d is more than %d years from the first "
                                      "month, the most siteprep reads",
                                      year, month, max_years);
        }
    }
    return std::string();
}

// A quantity missing on every day written: its statistics could only be
// "nan"; empty when each has a value.
std::string lacking_quantity(const std::string &path, const station_row &row) {
    static const char *const names[quantities] = {"tmax", "tmin", "prcp"};
    for (int q = 0; q < quantities; ++q)
        if (row.missing[q] == row.days)
            return input_name(path) + format_message(": no %s value on any of the %ld days "
                                                     "written: its statistics could only be nan",
                                                     names[q], row.days);
    return std::string();
}

} // namespace

std::string import_file(const std::string &path, const import_options &options, FILE *out,
                        station_row &row) {
    input in(path);
    if (in.fp == nullptr)
        return "Error opening " + input_name(path) + ": " + std::strerror(in.err);
    wth_writer writer(out, row, options.first_year, options.last_year);
    std::string why;
    switch (options.format) {
    case source::daymet:
        why = read_daymet(in, writer, row);
        break;
    case source::ghcn:
        why = read_ghcn(in, options, writer, row);
        break;
    case source::power:
        why = read_power(in, writer, row);
        break;
    case source::csv:
        why = read_csv(in, options, writer);
        break;
    }
    if (why.empty() && !writer.finish())
        why = input_name(path) +
              (options.first_year != 0
                   ? format_message(": no day in %d-%d", options.first_year, options.last_year)
                   : std::string(": no day"));
    return why.empty() ? lacking_quantity(path, row) : why;
}

std::string ghcn_station_of(const std::string &path, std::string &why) {
    // Read ahead, a pipe would lose its first line to the look.
    if (struct stat st; stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        why = input_name(path) + ": not a regular file, whose station can be read ahead: give "
                                 "--name";
        return std::string();
    }
    input in(path);
    if (in.fp == nullptr) {
        why = "Error opening " + input_name(path) + ": " + std::strerror(in.err);
        return std::string();
    }
    while (in.next())
        if (!trimmed(in.line).empty()) {
            const std::string id(trimmed(std::string_view(in.line).substr(0, 11)));
            if (id.size() == 11 && std::all_of(id.begin(), id.end(), [](char c) {
                    return std::isalnum(static_cast<unsigned char>(c));
                }))
                return id;
            why = at_line(in, "no station ID in columns 1 to 11");
            return std::string();
        }
    why = in.err != 0 ? read_failure(in) : input_name(path) + ": no station line";
    return std::string();
}

std::string read_station_places(const std::string &path, station_places &places) {
    input in(path);
    if (in.fp == nullptr)
        return "Error opening " + input_name(path) + ": " + std::strerror(in.err);
    while (in.next()) {
        if (trimmed(in.line).empty())
            continue;
        if (in.line.size() < 37)
            return at_line(in, "shorter than the 37 columns of ID, latitude, longitude and "
                               "elevation");
        station_place &p = places[std::string(trimmed(in.line.substr(0, 11)))];
        p.latitude = trimmed(in.line.substr(12, 8));
        p.longitude = trimmed(in.line.substr(21, 9));
        p.elevation = trimmed(in.line.substr(31, 6));
        if (p.elevation == "-999.9")
            p.elevation.clear(); // unknown
    }
    return in.err != 0 ? read_failure(in) : std::string();
}

} // namespace import
