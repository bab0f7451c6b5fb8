// The choice of each point's station and donors: the inventory read, the
// stations that qualify, and the nearest of them found by latitude bands.
#include "stations/choice.h"
#include "input.h"
#include "points.h"
#include "shown.h"
#include "tokens.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>

namespace import {

namespace {

constexpr double earth_radius_km = 6371.0;
constexpr double radians_a_degree = std::numbers::pi / 180;
constexpr const char *element_names[ghcn_elements] = {"PRCP", "TMAX", "TMIN"};

// The inventory's fixed columns (1-based, inclusive), as NOAA's readme
// gives them.
struct fixed_column {
    const char *name;
    size_t first, last;
};
constexpr fixed_column id_column = {"ID", 1, 11}, lat_column = {"LATITUDE", 13, 20},
                       lon_column = {"LONGITUDE", 22, 30}, element_column = {"ELEMENT", 32, 35},
                       first_column = {"FIRSTYEAR", 37, 40}, last_column = {"LASTYEAR", 42, 45};

std::string_view field_of(const std::string &line, const fixed_column &c) {
    return std::string_view(line).substr(c.first - 1, c.last - c.first + 1);
}

std::string columns_of(const fixed_column &c) {
    return format_message("columns %zu to %zu", c.first, c.last);
}

bool all_alnum(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)) != 0; });
}

// A coordinate's column: a decimal number within -limit to limit.
failure coordinate_field(const input &in, const fixed_column &c, double limit) {
    double v = 0;
    const std::string_view text = trimmed(field_of(in.line, c));
    if (parse_finite_double(text, v) && v >= -limit && v <= limit)
        return {};
    return {
        at_column(in, c.name,
                  format_message("%s in %s is not a number from %g to %g",
                                 quote_token(text).c_str(), columns_of(c).c_str(), -limit, limit))};
}

failure year_field(const input &in, const fixed_column &c, int &year) {
    const std::string_view text = trimmed(field_of(in.line, c));
    if (whole_number(text, year) && year >= 1)
        return {};
    return {at_column(in, c.name, quote_token(text) + " in " + columns_of(c) + " is not a year")};
}

// The line's fields checked: blanks between them, nothing after them.
failure inventory_layout(const input &in) {
    const std::string &l = in.line;
    if (l.size() < last_column.last)
        return {at_line(in, format_message("%zu characters, shorter than the %zu columns of ID, "
                                           "LATITUDE, LONGITUDE, ELEMENT, FIRSTYEAR and LASTYEAR",
                                           l.size(), last_column.last))};
    for (const size_t blank : {size_t{12}, size_t{21}, size_t{31}, size_t{36}, size_t{41}})
        if (l[blank - 1] != ' ')
            return {at_line(in, format_message("column %zu is not blank: the fields are in fixed "
                                               "columns",
                                               blank))};
    if (!is_blank(std::string_view(l).substr(last_column.last)))
        return {at_line(
            in, format_message("more after column %zu, the last of LASTYEAR", last_column.last))};
    if (!all_alnum(field_of(l, id_column)))
        return {at_column(in, id_column.name,
                          quote_token(field_of(l, id_column)) + " in " + columns_of(id_column) +
                              " is not a station ID of 11 letters and digits")};
    if (!all_alnum(field_of(l, element_column)))
        return {at_column(in, element_column.name,
                          quote_token(field_of(l, element_column)) + " in " +
                              columns_of(element_column) + " is not an element")};
    return {};
}

// One line into the inventory.
failure inventory_line(const input &in, ghcn_inventory &inventory) {
    int first = 0, last = 0;
    failure f = inventory_layout(in);
    if (!f.failed())
        f = coordinate_field(in, lat_column, 90);
    if (!f.failed())
        f = coordinate_field(in, lon_column, 180);
    if (!f.failed())
        f = year_field(in, first_column, first);
    if (!f.failed())
        f = year_field(in, last_column, last);
    if (!f.failed() && first > last)
        f = {at_column(in, last_column.name,
                       format_message("%d is before FIRSTYEAR %d", last, first))};
    if (f.failed())
        return f;
    const std::string_view element = field_of(in.line, element_column);
    const auto e = std::find(std::begin(element_names), std::end(element_names), element);
    if (e == std::end(element_names))
        return {};
    inventory_years &years = inventory[std::string(field_of(in.line, id_column))];
    const auto at = static_cast<size_t>(e - std::begin(element_names));
    if (years.line[at] != 0)
        return {at_line(in, format_message("%s of %s again (first on line %ld)", *e,
                                           std::string(field_of(in.line, id_column)).c_str(),
                                           years.line[at]))};
    years.first[at] = first;
    years.last[at] = last;
    years.line[at] = in.number;
    return {};
}

// The fewest years of the period that the elements asked cover; -1 when
// one of them covers less than the share.
int covered_years(const inventory_years &years, const choice_rule &rule) {
    const int period = rule.last_year - rule.first_year + 1;
    int fewest = period;
    for (int e = 0; e < (rule.temperatures ? ghcn_elements : 1); ++e) {
        const int in = years.first[e] == 0 ? 0
                                           : std::min(years.last[e], rule.last_year) -
                                                 std::max(years.first[e], rule.first_year) + 1;
        const int covered = std::max(in, 0);
        if (!(static_cast<double>(covered) / period >= rule.share) || years.first[e] == 0)
            return -1;
        fewest = std::min(fewest, covered);
    }
    return fewest;
}

// The order of the ranking: distance, then the difference of heights
// (known first), then the ID.
bool ranks_before(const ranked_station &a, const ranked_station &b) {
    if (a.distance_tenths != b.distance_tenths)
        return a.distance_tenths < b.distance_tenths;
    if (a.has_difference != b.has_difference)
        return a.has_difference;
    if (a.has_difference && std::llabs(a.difference_tenths) != std::llabs(b.difference_tenths))
        return std::llabs(a.difference_tenths) < std::llabs(b.difference_tenths);
    return a.station->id < b.station->id;
}

} // namespace

failure read_inventory(const std::string &path, ghcn_inventory &inventory) {
    input in(path);
    if (!in.opened())
        return {"Error opening " + input_name(path) + ": " + std::strerror(in.err)};
    while (in.next())
        if (!is_blank(in.line))
            if (failure f = inventory_line(in, inventory); f.failed())
                return f;
    if (in.err != 0)
        return {read_failure(in)};
    return {};
}

failure qualifying_stations(const ghcn_inventory &inventory, const station_places &places,
                            const std::string &places_path, const choice_rule &rule,
                            std::vector<candidate> &stations, std::vector<std::string> &unplaced) {
    for (const auto &[id, years] : inventory) {
        const int covered = covered_years(years, rule);
        if (covered < 0)
            continue;
        const auto place = places.find(id);
        if (place == places.end()) {
            unplaced.push_back(id);
            continue;
        }
        const station_place &p = place->second;
        if (std::string fault = place_fault(p.latitude, p.longitude, p.elevation); !fault.empty())
            return {input_name(places_path) + " line " + std::to_string(p.line) + ": " + id + ": " +
                    fault};
        candidate c;
        c.id = id;
        c.years = covered;
        c.elevation = NAN;
        if (!parse_finite_double(p.latitude, c.latitude) ||
            !parse_finite_double(p.longitude, c.longitude) ||
            (!p.elevation.empty() && !parse_finite_double(p.elevation, c.elevation)))
            return {input_name(places_path) + " line " + std::to_string(p.line) + ": " + id +
                    ": not a place"};
        stations.push_back(std::move(c));
    }
    std::stable_sort(stations.begin(), stations.end(), [](const candidate &a, const candidate &b) {
        return a.latitude < b.latitude;
    });
    return {};
}

double great_circle_km(double lat1, double lon1, double lat2, double lon2) {
    const double half_dlat = (lat2 - lat1) * radians_a_degree / 2;
    const double half_dlon = (lon2 - lon1) * radians_a_degree / 2;
    const double s = std::sin(half_dlat), t = std::sin(half_dlon);
    const double h =
        s * s + std::cos(lat1 * radians_a_degree) * std::cos(lat2 * radians_a_degree) * (t * t);
    return 2 * earth_radius_km * std::asin(std::sqrt(std::min(h, 1.0)));
}

namespace {

// The stations nearest a point, kept ranked while the bands are searched.
struct nearest {
    const choice_rule &rule;
    double latitude, longitude, elevation;
    std::vector<ranked_station> best;

    size_t wanted() const { return static_cast<size_t>(rule.donors) + 1; }

    // Whether a station of this latitude, or one farther in latitude,
    // could still enter: the distance is at least the arc of latitude
    // between them (less a metre, for rounding).
    bool may_enter(double station_latitude) const {
        const double least =
            earth_radius_km * std::fabs(station_latitude - latitude) * radians_a_degree - 0.001;
        if (least > rule.max_distance_km)
            return false;
        return best.size() < wanted() || std::llround(least * 10) <= best.back().distance_tenths;
    }

    void consider(const candidate &c) {
        const double d = great_circle_km(latitude, longitude, c.latitude, c.longitude);
        if (!(d <= rule.max_distance_km))
            return;
        ranked_station r;
        r.station = &c;
        r.distance_tenths = std::llround(d * 10);
        r.has_difference = !std::isnan(elevation) && !std::isnan(c.elevation);
        if (r.has_difference)
            r.difference_tenths = std::llround((c.elevation - elevation) * 10);
        best.insert(std::upper_bound(best.begin(), best.end(), r, ranks_before), r);
        if (best.size() > wanted())
            best.pop_back();
    }
};

} // namespace

std::vector<ranked_station> choose_stations(const std::vector<candidate> &stations, double latitude,
                                            double longitude, double elevation,
                                            const choice_rule &rule) {
    nearest n{rule, latitude, longitude, elevation, {}};
    const auto from =
        std::lower_bound(stations.begin(), stations.end(), latitude,
                         [](const candidate &c, double lat) { return c.latitude < lat; });
    for (auto at = from; at != stations.end() && n.may_enter(at->latitude); ++at)
        n.consider(*at);
    for (auto at = from; at != stations.begin() && n.may_enter((at - 1)->latitude); --at)
        n.consider(*(at - 1));
    return n.best;
}

} // namespace import
