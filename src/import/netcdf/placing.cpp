// The sites placed on cells before the pass, and the cells decided after
// it for the sites whose own cell lacked a value at the first step: a
// missing first day is a missing day, and only a cell without any value
// of a quantity over the period (or one a mask variable masks) is left
// for the nearest with data.
#include "placing.h"
#include "pass.h"
#include "reporter.h"
#include "shown.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace import::netcdf {

std::string site_named(const std::string &sites_path, const site &s) {
    return "site " + quote_token(s.name) + " (" + shown_name(sites_path) + " line " +
           std::to_string(s.line) + ")";
}

namespace {

std::string taken_line(const placing_request &r, const placement &p) {
    return site_named(r.sites_path, r.sites[p.site]) +
           ": its cell has no data; the nearest cell with data, " +
           format_message("%.3f km away, is taken", p.km);
}

// How far a site may be from the cell it takes: --max-distance, else one
// and a half widths of its nearest cell (a grid of one cell has no width:
// its cell is taken at any distance).
double distance_allowed(const placing_request &r, const geo::grid_cells &grid, size_t nearest) {
    const double width = grid.width_km(nearest);
    return r.max_distance_km > 0 ? r.max_distance_km
           : width > 0           ? 1.5 * width
                                 : std::numeric_limits<double>::infinity();
}

std::string no_cell_within(const placing_request &r, size_t i, double limit, double nearest_km,
                           bool nearest_has_data) {
    return site_named(r.sites_path, r.sites[i]) +
           format_message(": no cell with data within %.3f km (%s); the nearest cell, "
                          "%.3f km away, ",
                          limit, r.max_distance_km > 0 ? "--max-distance" : "1.5 cell widths",
                          nearest_km) +
           (nearest_has_data || nearest_km > limit ? "lies too far: is the site outside the grid?"
                                                   : "has no data (sea, or a masked cell)");
}

// Site i on its nearest cell, or on the nearest with data: at once where
// a mask variable says so, else after the pass; false, and why in failed,
// when it has none.
bool place_site(const sources &found, const placing_request &r, size_t i,
                const std::vector<uint8_t> &has_data, placement &p, std::vector<failure> &failed) {
    const geo::grid_cells &grid = found.grid;
    const geo::point at = r.sites[i].at;
    const size_t nearest = grid.nearest(at);
    const double nearest_km = geo::distance_km(at, grid.at(nearest));
    const double limit = distance_allowed(r, grid, nearest);
    p = placement{};
    p.site = i;
    p.cell = nearest;
    p.km = nearest_km;
    if (has_data[nearest] && nearest_km <= limit)
        return true;
    const size_t other = grid.nearest_with_data(at, limit, has_data);
    const bool undecided = !found.has_mask && nearest_km <= limit;
    if (other == geo::no_cell && !undecided) {
        failed.push_back({no_cell_within(r, i, limit, nearest_km, has_data[nearest] != 0)});
        return false;
    }
    if (!undecided) {
        p.cell = other;
        p.km = geo::distance_km(at, grid.at(other));
        say_line(taken_line(r, p));
        return true;
    }
    p.undecided = true;
    p.other = other;
    if (other != geo::no_cell)
        p.other_km = geo::distance_km(at, grid.at(other));
    else
        p.if_none = no_cell_within(r, i, limit, nearest_km, false);
    return true;
}

// The station a site takes: the one of its name, else the nearest, said,
// within --max-distance where given; false, and why in failed, when none.
bool place_at_station(const sources &found, const placing_request &r, size_t i, placement &p,
                      std::vector<failure> &failed) {
    const site &s = r.sites[i];
    const std::vector<std::string> &names = found.coords.names;
    const auto named = std::find(names.begin(), names.end(), s.name);
    p = placement{};
    p.site = i;
    p.cell = named != names.end() ? static_cast<size_t>(named - names.begin())
                                  : found.grid.nearest(s.at);
    p.km = geo::distance_km(s.at, found.grid.at(p.cell));
    if (named != names.end())
        return true;
    const std::string station = p.cell < names.size()
                                    ? quote_token(names[p.cell])
                                    : format_message("the station numbered %zu", p.cell + 1);
    if (r.max_distance_km > 0 && p.km > r.max_distance_km) {
        failed.push_back({site_named(r.sites_path, s) +
                          format_message(": no station of its name, and the nearest, %s, lies "
                                         "%.3f km away, farther than --max-distance (%.3f km)",
                                         station.c_str(), p.km, r.max_distance_km)});
        return false;
    }
    say_line(site_named(r.sites_path, s) + ": no station of its name; the nearest, " + station +
             format_message(", %.3f km away, is taken", p.km));
    return true;
}

} // namespace

failure place_sites(const sources &found, const std::vector<std::string> &files,
                    const placing_request &r, std::vector<placement> &placed,
                    std::vector<failure> &failed) {
    std::vector<uint8_t> has_data;
    if (!found.coords.stations)
        if (failure f = cells_with_data(found, files, has_data); f.failed())
            return f;
    for (size_t i = 0; i < r.sites.size(); ++i) {
        placement p;
        if (found.coords.stations ? place_at_station(found, r, i, p, failed)
                                  : place_site(found, r, i, has_data, p, failed))
            placed.push_back(std::move(p));
    }
    return {};
}

bool decide_cell(const placing_request &r, placement &p, bool own_has_data,
                 std::vector<failure> &failed) {
    p.undecided = false;
    if (own_has_data)
        return true;
    if (p.other == geo::no_cell) {
        failed.push_back({p.if_none});
        return false;
    }
    p.cell = p.other;
    p.km = p.other_km;
    say_line(taken_line(r, p));
    return true;
}

} // namespace import::netcdf
