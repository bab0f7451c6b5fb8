// The places a command is given, a table or a site list, read alike for
// every command.
#include "points.h"
#include "convert.h"
#include "input.h"
#include "outputs.h"
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
    p.elevation = named.column({"elevation_m"});
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
    std::string_view elevation;
    for (int field = 4; field <= 10; ++field)
        elevation = next_token(in.line, at);
    p.table.rows.push_back({std::string(name), std::string(lat), std::string(lon)});
    p.listed_elevation.emplace_back(elevation);
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

// A coordinate of a point as given: a plain number within its range.
bool coordinate(const std::string &text, double limit) {
    double v = 0;
    int decimals = 0;
    return plain_number(text, v, decimals) && v >= -limit && v <= limit;
}

} // namespace

std::string points::elevation_of(size_t row) const {
    if (site_list)
        return listed_elevation[row];
    return elevation == csv_table::none ? std::string() : table.rows[row][elevation];
}

std::string place_fault(const std::string &lat, const std::string &lon,
                        const std::string &elevation) {
    float v = 0;
    if (!parse_finite_float(trimmed(lat), v) || v < -90 || v > 90)
        return "the latitude " + quote_token(lat) + " is not a number from -90 to 90";
    if (!parse_finite_float(trimmed(lon), v) || v < -180 || v > 360)
        return "the longitude " + quote_token(lon) + " is not a number from -180 to 360";
    if (!elevation.empty() && !is_na(elevation) && !parse_finite_float(trimmed(elevation), v))
        return "the elevation " + quote_token(elevation) + " is not a number of metres";
    return {};
}

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

failure read_plan_points(const std::string &path, bool keep_going, std::vector<plan_point> &places,
                         std::vector<failure> &left_out) {
    points p;
    if (failure f = read_points(path, p); f.failed())
        return f;
    if (p.empty())
        return {input_name(path) + " is empty: a header row is needed"};
    for (size_t r = 0; r < p.table.rows.size(); ++r) {
        const std::string &name = p.name_of(r), &lat = p.lat_of(r), &lon = p.lon_of(r);
        if (!site_list_can_name(name))
            return {p.table.at(r) + ": the name " + quote_token(name) +
                    " holds white space or a control character, which no site list can name"};
        if (coordinate(lat, 90) && coordinate(lon, 180)) {
            places.push_back({name, lat, lon});
            continue;
        }
        const failure wrong = {p.table.at(r) + ": " + shown_name(name) +
                               ": the latitude and longitude must be numbers in degrees (-90 to "
                               "90, -180 to 180)"};
        if (!keep_going)
            return wrong;
        left_out.push_back(wrong);
    }
    return {};
}

} // namespace import
