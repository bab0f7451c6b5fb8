// The --sites file: a table of places or a site list (common/points).
#include "sites.h"
#include "input.h"
#include "outputs.h"
#include "points.h"
#include "shown.h"
#include "tokens.h"

#include <map>

namespace import::netcdf {

namespace {

// A site's name and place from its row; or what is wrong.
failure take_site(const points &p, size_t row, site &s) {
    const std::string at = p.table.at(row) + ": ";
    const std::string &name = p.name_of(row), &lat = p.lat_of(row), &lon = p.lon_of(row);
    float latitude = 0, longitude = 0;
    if (!parse_float(lat, latitude) || latitude < -90 || latitude > 90)
        return {at + "the latitude " + quote_token(lat) + " is not a number from -90 to 90"};
    if (!parse_float(lon, longitude) || longitude < -180 || longitude > 360)
        return {at + "the longitude " + quote_token(lon) + " is not a number from -180 to 360"};
    if (!site_list_can_name(name))
        return {at + "the name " + quote_token(name) +
                " is empty or holds white space or a control character"};
    s = {name, {latitude, longitude}, p.table.lines[row], lat, lon};
    return {};
}

} // namespace

failure read_sites(const std::string &path, std::vector<site> &sites) {
    points p;
    if (failure f = read_points(path, p); f.failed())
        return f;
    std::map<std::string, long> lines;
    for (size_t row = 0; row < p.table.rows.size(); ++row) {
        site s;
        if (failure why = take_site(p, row, s); why.failed())
            return why;
        if (const auto [listed, fresh] = lines.emplace(s.name, s.line); !fresh)
            return {p.table.at(row) + ": the site " + quote_token(s.name) + " is listed on line " +
                    std::to_string(listed->second) + " too"};
        sites.push_back(std::move(s));
    }
    if (sites.empty())
        return {input_name(path) + " names no site"};
    return {};
}

} // namespace import::netcdf
