// The source readers of an import. Each reads its input a line at a time
// and hands the days in date order to the daily file's writer; only GHCN,
// whose three elements of a day stand on lines far apart, holds its
// station's months until the file ends. Here: what they share, the reading
// of a table of days by its header row, and the import of one input.
#include "reading.h"
#include "formats.h"
#include "layout.h"
#include "open.h"
#include "shown.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unistd.h>

namespace import {

std::string column_key(std::string_view name) {
    const size_t paren = name.find('(');
    return lower(trimmed(name.substr(0, paren)));
}

namespace {

// The field of a row (or the header) in a column found, counted from 0.
const std::string &column_of(const std::vector<std::string> &fields, int column) {
    return fields[static_cast<size_t>(column)];
}

// "\"tmax (C)\" (column 3) and \"tmax (F)\" (column 5)".
std::string columns_named(const std::vector<std::string> &header, const std::vector<int> &found) {
    std::string list;
    for (size_t k = 0; k < found.size(); ++k)
        list += std::string(k == 0                  ? ""
                            : k + 1 == found.size() ? " and "
                                                    : ", ") +
                quote_token(column_of(header, found[k])) +
                format_message(" (column %d)", found[k] + 1);
    return list;
}

// The column a name asks for: the one of that very name; else the one of
// that name case folded; else, for a name without a unit, the one whose
// name before its unit is it ("prcp" finds "prcp (mm/day)"). A name that
// finds several columns at the first of these that finds any is an error
// naming them; column is -1 when none is found.
failure find_column(const std::vector<std::string> &header, std::string_view name, int &column) {
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
            return {quote_token(name) + " names " + std::to_string(found.size()) +
                    " columns of the header row: " + columns_named(header, found)};
        if (found.size() == 1) {
            column = found[0];
            break;
        }
    }
    return {};
}

} // namespace

namespace {

// YYYY-MM-DD.
bool iso_date(std::string_view text, date &d) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    static constexpr size_t digits[] = {0, 1, 2, 3, 5, 6, 8, 9};
    for (const size_t i : digits)
        if (text[i] < '0' || text[i] > '9')
            return false;
    d = {std::atoi(std::string(text.substr(0, 4)).c_str()),
         std::atoi(std::string(text.substr(5, 2)).c_str()),
         std::atoi(std::string(text.substr(8, 2)).c_str())};
    return true;
}

failure row_date(const input &in, const table &t, const std::vector<std::string> &f, date &d) {
    if (t.date >= 0) {
        if (!iso_date(column_of(f, t.date), d))
            return {at_column(in, column_of(t.header, t.date),
                              "not a date YYYY-MM-DD: " + quote_token(column_of(f, t.date)))};
    } else {
        int parts[3] = {0, 0, 0};
        const int columns[3] = {t.year, t.day_of_year >= 0 ? t.day_of_year : t.month, t.day};
        for (int k = 0; k < 3; ++k)
            if (columns[k] >= 0 && !whole_number(column_of(f, columns[k]), parts[k]))
                return {at_column(in, column_of(t.header, columns[k]),
                                  "not a whole number: " + quote_token(column_of(f, columns[k])))};
        if (t.day_of_year >= 0) {
            const bool past = t.daymet_days && parts[1] > 365;
            if (past || !date_of_day(parts[0], parts[1], d))
                return {
                    at_line(in, format_message("day %d of %d does not exist", parts[1], parts[0]))};
            return {};
        }
        d = {parts[0], parts[1], parts[2]};
    }
    if (!is_real_date(d))
        return {at_line(
            in, format_message("the date %04d-%02d-%02d does not exist", d.year, d.month, d.day))};
    return {};
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
failure table_row(const input &in, const table &t, wth_writer &writer) {
    const std::vector<std::string> fields = split_line(in.line, t.delimiter, t.blank_runs);
    if (fields.size() != t.header.size())
        return {at_line(in, format_message("%zu fields, the header row has %zu", fields.size(),
                                           t.header.size()))};
    date d;
    if (failure f = row_date(in, t, fields, d); f.failed())
        return f;
    value values[quantities];
    for (int q = 0; q < quantities; ++q) {
        const std::string &text = column_of(fields, t.value[q]);
        if (t.missing.has(text))
            continue;
        if (!(q == prcp ? precipitation(text, t.prcp, values[q])
                        : temperature(text, t.temp, values[q])))
            return {at_column(in, column_of(t.header, t.value[q]),
                              "not a number: " + quote_token(text) + missing_hint(t, text))};
    }
    const day_order order = writer.add(d, values);
    if (order != day_order::ok)
        return {order_failure(in, order, d)};
    return {};
}

} // namespace

failure table_rows(input &in, const table &t, wth_writer &writer) {
    while (in.next()) {
        if (trimmed(in.line).empty())
            continue;
        if (failure f = table_row(in, t, writer); f.failed())
            return f;
    }
    if (in.err != 0)
        return {read_failure(in)};
    return {};
}

failure may_column(const input &in, table &t, int &column, const std::string &name) {
    if (failure f = find_column(t.header, name, column); f.failed())
        return {at_line(in, f.message)};
    return {};
}

failure need_column(const input &in, table &t, int &column, const std::string &name) {
    if (failure f = may_column(in, t, column, name); f.failed())
        return f;
    if (column < 0)
        return {at_line(in, "no column " + quote_token(name) + " in the header row")};
    return {};
}

namespace {

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

// A quantity missing on every day written: its statistics could only be
// "nan"; empty when each has a value.
// A station's format says how to fill it from a nearby station's file.
failure lacking_quantity(const std::string &path, const station_row &row, bool fillable) {
    static const char *const names[quantities] = {"tmax", "tmin", "prcp"};
    for (int q = 0; q < quantities; ++q)
        if (row.missing[q] == row.days)
            return {input_name(path) +
                    format_message(": no %s value on any of the %ld days "
                                   "written: its statistics could only be nan",
                                   names[q], row.days) +
                    (fillable ? "; --fill-from NEAR.wth fills what it lacks from a nearby "
                                "station's daily file"
                              : "")};
    return {};
}

} // namespace

void note_place(std::string_view line, station_row &row) {
    if (std::string v = number_after(line, "latitude"); !v.empty() && row.latitude.empty())
        row.latitude = v;
    if (std::string v = number_after(line, "longitude"); !v.empty() && row.longitude.empty())
        row.longitude = v;
    if (lower(line).find("elevation") != std::string::npos && row.elevation.empty())
        row.elevation = number_before(line, "meters");
}

failure import_file(const std::string &path, const import_options &options, os::out_stream &out,
                    station_row &row) {
    input in(path);
    if (!in.opened())
        return {"Error opening " + input_name(path) + ": " + std::strerror(in.err)};
    wth_writer writer(out, row, options.first_year, options.last_year);
    if (failure f = options.format->read(in, options, writer, row); f.failed())
        return f;
    if (!writer.finish())
        return {input_name(path) +
                (options.first_year != 0
                     ? format_message(": no day in %d-%d", options.first_year, options.last_year)
                     : std::string(": no day"))};
    return options.allow_lacking
               ? failure{}
               : lacking_quantity(path, row,
                                  options.format != nullptr && options.format->station_extras);
}

} // namespace import
