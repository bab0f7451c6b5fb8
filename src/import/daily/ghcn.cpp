// GHCN-Daily's .dly: one station a file, a line per element (TMAX, TMIN,
// PRCP) and month with 31 day slots.
#include "file_paths.h"
#include "layout.h"
#include "reading.h"
#include "shown.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>

namespace import {

namespace {

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
failure dly_value(const input &in, int q, std::string_view slot, int days, int d, value &v) {
    const std::string_view number = trimmed(slot.substr(0, 5));
    if (number == "-9999")
        return {};
    if (d > days)
        return {at_line(in, format_message("a value for day %d of a month of %d days", d, days))};
    const bool flagged = slot[6] != ' ';
    const bool ok = q == prcp ? precipitation(number, prcp_unit::tenths_mm, v)
                              : temperature(number, temp_unit::tenths_celsius, v);
    if (!ok)
        return {at_line(
            in, format_message("day %d: not a number: %s", d, quote_token(number).c_str()))};
    if (flagged)
        v = value();
    return {};
}

failure dly_line(const input &in, dly_station &station) {
    const std::string &l = in.line;
    if (l.size() != dly_line_length)
        return {at_line(
            in, format_message("%zu characters; a .dly line has %zu", l.size(), dly_line_length))};
    const std::string id = l.substr(0, 11);
    if (station.id.empty())
        station.id = id;
    else if (id != station.id)
        return {at_line(in, "a second station, " + quote_token(id) + ": one station a file")};
    const int q = element_of(std::string_view(l).substr(17, 4));
    if (q < 0)
        return {};
    int year = 0, month = 0;
    if (!whole_number(l.substr(11, 4), year) || !whole_number(l.substr(15, 2), month) || year < 1 ||
        month < 1 || month > 12)
        return {at_line(in, "no year and month in columns 12 to 17")};
    const int key = year * 12 + month - 1;
    if (key <= station.last_month[q])
        return {
            at_line(in, format_message("%s of %04d-%02d %s", l.substr(17, 4).c_str(), year, month,
                                       key == station.last_month[q]
                                           ? "again"
                                           : "before a month above it: out of order"))};
    station.last_month[q] = key;
    dly_month &m = station.months[key];
    for (int d = 1; d <= 31; ++d) {
        const auto i = static_cast<size_t>(d - 1);
        const std::string_view slot = std::string_view(l).substr(21 + 8 * i, 8);
        if (failure f =
                dly_value(in, q, slot, month_length(year, month), d, m[static_cast<size_t>(q)][i]);
            f.failed())
            return f;
    }
    return {};
}

} // namespace

failure read_ghcn(input &in, const import_options &o, wth_writer &writer, station_row &row) {
    dly_station station;
    while (in.next())
        if (!trimmed(in.line).empty())
            if (failure f = dly_line(in, station); f.failed())
                return f;
    if (in.err != 0)
        return {read_failure(in)};
    if (o.places != nullptr)
        if (auto p = o.places->find(station.id); p != o.places->end()) {
            row.latitude = p->second.latitude;
            row.longitude = p->second.longitude;
            row.elevation = p->second.elevation;
        }
    for (const auto &[key, m] : station.months) {
        const int year = key / 12, month = key % 12 + 1;
        for (int d = 1; d <= month_length(year, month); ++d) {
            const auto i = static_cast<size_t>(d - 1);
            const value day[quantities] = {m[tmax][i], m[tmin][i], m[prcp][i]};
            // In date order by the map's: only the span can be refused.
            if (writer.add({year, month, d}, day) == day_order::too_many_years)
                return {input_name(in.path) +
                        format_message(": %04d-%02d is more than %d years from the first "
                                       "month, the most siteprep reads",
                                       year, month, max_years)};
        }
    }
    return {};
}

failure ghcn_station_of(const std::string &path, std::string &id) {
    id.clear();
    // Read ahead, a pipe would lose its first line to the look.
    if (os::result<struct stat> st = os::status_of(path); st && !S_ISREG(st->st_mode))
        return {input_name(path) + ": not a regular file, whose station can be read ahead: give "
                                   "--name"};
    input in(path);
    if (!in.opened())
        return {"Error opening " + input_name(path) + ": " + std::strerror(in.err)};
    while (in.next())
        if (!trimmed(in.line).empty()) {
            std::string first(trimmed(std::string_view(in.line).substr(0, 11)));
            if (first.size() == 11 && std::all_of(first.begin(), first.end(), [](char c) {
                    return std::isalnum(static_cast<unsigned char>(c));
                })) {
                id = std::move(first);
                return {};
            }
            return {at_line(in, "no station ID in columns 1 to 11")};
        }
    if (in.err != 0)
        return {read_failure(in)};
    return {input_name(path) + ": no station line"};
}

} // namespace import
