// The places a command is given, a table or a site list, read alike for
// every command.
#include "points.h"
#include "input.h"
#include "shown.h"
#include "tokens.h"

namespace import {

namespace {

// The columns of the place in a table's header; false when one is missing.
bool place_columns(const std::vector<std::string> &header, points &p) {
    csv_table named;
    named.header = header;
    p.name = named.column({"name"});
    p.lat = named.column({"lat", "latitude"});
    p.lon = named.column({"lon", "long", "longitude"});
    return p.name != csv_table::none && p.lat != csv_table::none && p.lon != csv_table::none;
}

// The number of words of a line, up to three.
int words(std::string_view line) {
    size_t at = 0;
    int n = 0;
    while (n < 3 && !next_token(line, at).empty())
        ++n;
    return n;
}

// A site list's line: NAME LATITUDE LONGITUDE, and whatever follows.
failure site_list_row(const input &in, points &p) {
    size_t at = 0;
    const std::string_view name = next_token(in.line, at);
    const std::string_view lat = next_token(in.line, at);
    const std::string_view lon = next_token(in.line, at);
    if (lon.empty())
        return {at_line(in, "a site needs a name, a latitude and a longitude")};
    p.table.rows.push_back({std::string(name), std::string(lat), std::string(lon)});
    p.table.lines.push_back(in.number);
    return {};
}

// A table's row, of as many fields as its header.
failure table_row(const input &in, points &p) {
    std::vector<std::string> fields = split_fields(in.line, ',');
    if (fields.size() != p.table.header.size())
        return {at_line(in, format_message("%zu fields, the header has %zu", fields.size(),
                                           p.table.header.size()))};
    p.table.rows.push_back(std::move(fields));
    p.table.lines.push_back(in.number);
    return {};
}

// The first line: a table's header, or the site list's first row.
failure first_row(const input &in, points &p) {
    std::vector<std::string> header = split_fields(in.line, ',');
    if (in.line.find(',') != std::string::npos && place_columns(header, p)) {
        p.table.header = std::move(header);
        return {};
    }
    if (in.line.find(',') != std::string::npos && words(in.line) < 3)
        return {at_line(in, "a table of places needs the columns name, lat (or latitude) and "
                            "lon (or long, longitude)")};
    p.site_list = true;
    p.name = 0, p.lat = 1, p.lon = 2;
    p.table.header = {"name", "latitude", "longitude"};
    return site_list_row(in, p);
}

} // namespace

failure read_points(const std::string &path, points &p) {
    p = points();
    p.table.path = path;
    input in(path);
    if (!in.opened())
        return {read_failure(in)};
    bool first = true;
    while (in.next()) {
        if (is_blank(in.line))
            continue;
        failure f = first         ? first_row(in, p)
                    : p.site_list ? site_list_row(in, p)
                                  : table_row(in, p);
        first = false;
        if (f.failed())
            return f;
    }
    if (in.err != 0)
        return {read_failure(in)};
    return {};
}

} // namespace import
