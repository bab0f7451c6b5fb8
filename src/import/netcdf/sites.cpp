// The --sites file: a stations table when its first line is a CSV header
// with name, latitude and longitude, else a site list.
#include "sites.h"
#include "input.h"
#include "outputs.h"
#include "shown.h"
#include "tokens.h"

#include <algorithm>
#include <map>

namespace import::netcdf {

namespace {

// The column of a name in a header, case folded; -1 when none.
int column_of(const std::vector<std::string> &header, const char *name) {
    for (size_t i = 0; i < header.size(); ++i)
        if (lower(header[i]) == name)
            return static_cast<int>(i);
    return -1;
}

// A site's name and place from its fields' texts; or what is wrong.
failure take_site(const input &in, std::string_view name, std::string_view lat,
                  std::string_view lon, site &s) {
    float latitude = 0, longitude = 0;
    if (!parse_float(lat, latitude) || latitude < -90 || latitude > 90)
        return {
            at_line(in, "the latitude " + quote_token(lat) + " is not a number from -90 to 90")};
    if (!parse_float(lon, longitude) || longitude < -180 || longitude > 360)
        return {
            at_line(in, "the longitude " + quote_token(lon) + " is not a number from -180 to 360")};
    if (!site_list_can_name(std::string(name)))
        return {at_line(in, "the name " + quote_token(name) +
                                " is empty or holds white space or a control character")};
    s = {std::string(name), {latitude, longitude}, in.number};
    return {};
}

// A site list's line: NAME LATITUDE LONGITUDE, and whatever follows.
failure site_list_line(const input &in, site &s) {
    size_t at = 0;
    const std::string_view name = next_token(in.line, at);
    const std::string_view lat = next_token(in.line, at);
    const std::string_view lon = next_token(in.line, at);
    if (lon.empty())
        return {at_line(in, "a site needs a name, a latitude and a longitude")};
    return take_site(in, name, lat, lon, s);
}

struct table_columns {
    int name = -1, lat = -1, lon = -1;
};

bool is_stations_header(const std::string &line, table_columns &c) {
    if (line.find(',') == std::string::npos)
        return false;
    const std::vector<std::string> header = split_fields(line, ',');
    c = {column_of(header, "name"), column_of(header, "latitude"), column_of(header, "longitude")};
    return c.name >= 0 && c.lat >= 0 && c.lon >= 0;
}

failure table_line(const input &in, const table_columns &c, site &s) {
    const std::vector<std::string> fields = split_fields(in.line, ',');
    if (static_cast<int>(fields.size()) <= std::max({c.name, c.lat, c.lon}))
        return {at_line(in, "fewer fields than the header names")};
    return take_site(in, fields[static_cast<size_t>(c.name)], fields[static_cast<size_t>(c.lat)],
                     fields[static_cast<size_t>(c.lon)], s);
}

} // namespace

failure read_sites(const std::string &path, std::vector<site> &sites) {
    input in(path);
    if (!in.opened())
        return {read_failure(in)};
    bool table = false, first = true;
    table_columns columns;
    std::map<std::string, long> lines;
    while (in.next()) {
        if (is_blank(in.line))
            continue;
        if (first) {
            first = false;
            if ((table = is_stations_header(in.line, columns)))
                continue;
        }
        site s;
        if (failure why = table ? table_line(in, columns, s) : site_list_line(in, s); why.failed())
            return why;
        if (const auto [listed, fresh] = lines.emplace(s.name, s.line); !fresh)
            return {at_line(in, "the site " + quote_token(s.name) + " is listed on line " +
                                    std::to_string(listed->second) + " too")};
        sites.push_back(std::move(s));
    }
    if (in.err != 0)
        return {read_failure(in)};
    if (sites.empty())
        return {input_name(path) + " names no site"};
    return {};
}

} // namespace import::netcdf
