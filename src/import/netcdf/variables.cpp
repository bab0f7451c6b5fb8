// A variable of the files found through the CF conventions: its
// coordinates (coordinate variables in degrees_north and degrees_east, or
// the auxiliary ones its coordinates attribute names), its time coordinate
// ("UNIT since DATE" in its calendar, at the middle of its bounds when it
// has them), how its values decode (decoding.cpp), and its units.
#include "input.h"
#include "shown.h"
#include "sources.h"

#include <algorithm>
#include <cmath>

namespace import::netcdf {

const char *const option_of[quantities] = {"--tmax", "--tmin", "--prcp"};

namespace {

std::string text_or_empty(const nc::file &f, int varid, const char *name, std::string &why) {
    std::string value;
    if (!text_attribute(f, varid, name, value, why))
        value.clear();
    return value;
}

// What a coordinate variable is by its units and standard name.
enum class axis_kind { other, time, latitude, longitude };

axis_kind kind_of(const nc::file &f, const nc::variable &c, std::string &why) {
    const std::string units = text_or_empty(f, c.id, "units", why);
    const std::string standard = text_or_empty(f, c.id, "standard_name", why);
    if (cf::is_latitude_unit(units) || standard == "latitude")
        return axis_kind::latitude;
    if (cf::is_longitude_unit(units) || standard == "longitude")
        return axis_kind::longitude;
    std::string lowered = units;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    if (lowered.find(" since ") != std::string::npos || standard == "time")
        return axis_kind::time;
    return axis_kind::other;
}

// The coordinate variable of a dimension (a variable of its name, on it
// alone), if any.
bool coordinate_of(const nc::file &f, int dim, nc::variable &c, std::string &why) {
    nc::dimension d;
    if (failure failed = dimension_of(f, dim, d); failed.failed()) {
        why = failed.message;
        return false;
    }
    return find_variable(f, d.name, c, why) && c.dims.size() == 1 && c.dims[0] == dim;
}

failure read_all(const nc::file &f, const nc::variable &c, std::vector<double> &values) {
    std::vector<size_t> start(c.dims.size(), 0), count;
    for (int dim : c.dims) {
        nc::dimension d;
        if (failure why = dimension_of(f, dim, d); why.failed())
            return why;
        count.push_back(d.length);
    }
    return read_doubles(f, c, start, count, values);
}

// The first latitude and the first longitude among the variables seen.
struct latitude_longitude {
    nc::variable lat, lon;
    bool have_lat = false, have_lon = false;

    void consider(const nc::file &f, const nc::variable &c, std::string &why) {
        const axis_kind kind = kind_of(f, c, why);
        if (kind == axis_kind::latitude && !have_lat)
            have_lat = true, lat = c;
        else if (kind == axis_kind::longitude && !have_lon)
            have_lon = true, lon = c;
    }
    bool both() const { return have_lat && have_lon; }
};

bool is_station_file(const nc::file &f, std::string &why) {
    return lower(text_or_empty(f, -1 /* NC_GLOBAL */, "featureType", why)) == "timeseries";
}

// In a station file, the places of a variable that names none (CF's
// altitude of the stations, say): the latitude and longitude on one of
// its dimensions.
failure station_coordinates(const nc::file &f, const nc::variable &v, nc::variable &lat,
                            nc::variable &lon, bool &found) {
    found = false;
    std::string why;
    std::vector<nc::variable> all;
    if (!is_station_file(f, why))
        return {why};
    if (failure failed = variables_of(f, all); failed.failed())
        return failed;
    latitude_longitude seen;
    for (const nc::variable &c : all)
        if (c.dims.size() == 1 &&
            std::find(v.dims.begin(), v.dims.end(), c.dims[0]) != v.dims.end())
            seen.consider(f, c, why);
    lat = seen.lat;
    lon = seen.lon;
    found = why.empty() && seen.both() && lat.dims == lon.dims;
    return {why};
}

// The auxiliary latitude and longitude named by the coordinates attribute,
// two-dimensional on two of the variable's dimensions, or of one (a
// station file's) on one of them; in a station file, those of the
// stations where it names none.
failure auxiliary_coordinates(const nc::file &f, const nc::variable &v, nc::variable &lat,
                              nc::variable &lon, bool &found) {
    found = false;
    std::string why;
    const std::string names = text_or_empty(f, v.id, "coordinates", why);
    latitude_longitude seen;
    for (size_t at = 0; why.empty() && at < names.size();) {
        const size_t end = std::min(names.find(' ', at), names.size());
        const std::string name = names.substr(at, end - at);
        at = end + 1;
        nc::variable c;
        if (!name.empty() && find_variable(f, name, c, why) && !c.dims.empty() &&
            c.dims.size() <= 2)
            seen.consider(f, c, why);
    }
    if (!why.empty())
        return {why};
    if (!seen.both())
        return station_coordinates(f, v, lat, lon, found);
    lat = seen.lat;
    lon = seen.lon;
    const auto on_variable = [&v](int dim) {
        return std::find(v.dims.begin(), v.dims.end(), dim) != v.dims.end();
    };
    if (lat.dims != lon.dims || !std::all_of(lat.dims.begin(), lat.dims.end(), on_variable))
        return {of_variable(f, v.name,
                            "has latitude and longitude (" + lat.name + ", " + lon.name +
                                ") that are not on its dimensions")};
    found = true;
    return {};
}

int position_of(const nc::variable &v, int dim) {
    return static_cast<int>(std::find(v.dims.begin(), v.dims.end(), dim) - v.dims.begin());
}

// The stations' names: the variable on their dimension whose cf_role is
// timeseries_id; none without one.
failure station_names(const nc::file &f, int dim, std::vector<std::string> &names) {
    std::vector<nc::variable> all;
    if (failure failed = variables_of(f, all); failed.failed())
        return failed;
    for (const nc::variable &v : all) {
        std::string why;
        const bool names_them = !v.dims.empty() && v.dims[0] == dim &&
                                text_or_empty(f, v.id, "cf_role", why) == "timeseries_id";
        if (!why.empty())
            return {why};
        if (names_them)
            return nc::read_texts(f, v, names);
    }
    return {};
}

// A station file's places (CF's timeSeries, one time coordinate for all
// the stations): a row of cells along the stations' dimension.
failure station_grid(const nc::file &f, const nc::variable &v, const nc::variable &lat,
                     const nc::variable &lon, axes &a, coordinates &grid) {
    std::string why;
    const bool stations = is_station_file(f, why);
    if (!why.empty())
        return {why};
    if (!stations)
        return {of_variable(f, v.name,
                            "has a latitude and a longitude (" + lat.name + ", " + lon.name +
                                ") of one dimension, which are read only in a file of "
                                "featureType timeSeries")};
    a.row = -1;
    a.col = position_of(v, lat.dims[0]);
    grid.two_dimensional = grid.stations = true;
    if (failure failed = read_all(f, lat, grid.lat); failed.failed())
        return failed;
    if (failure failed = read_all(f, lon, grid.lon); failed.failed())
        return failed;
    grid.rows = 1;
    grid.cols = grid.lat.size();
    return station_names(f, lat.dims[0], grid.names);
}

// The grid of a variable: its axes and its coordinates.
failure find_grid(const nc::file &f, const nc::variable &v, axes &a, coordinates &grid,
                  nc::variable &time) {
    std::string why;
    nc::variable lat1, lon1;
    a = axes{};
    a.rank = v.dims.size();
    for (size_t i = 0; i < v.dims.size(); ++i) {
        nc::variable c;
        if (!coordinate_of(f, v.dims[i], c, why)) {
            if (!why.empty())
                return {why};
            continue;
        }
        const axis_kind kind = kind_of(f, c, why);
        const int at = static_cast<int>(i);
        if (kind == axis_kind::time && a.time < 0)
            a.time = at, time = c;
        else if (kind == axis_kind::latitude && a.row < 0)
            a.row = at, lat1 = c;
        else if (kind == axis_kind::longitude && a.col < 0)
            a.col = at, lon1 = c;
    }
    grid = coordinates{};
    if (a.row >= 0 && a.col >= 0) {
        if (failure failed = read_all(f, lat1, grid.lat); failed.failed())
            return failed;
        if (failure failed = read_all(f, lon1, grid.lon); failed.failed())
            return failed;
        grid.rows = grid.lat.size();
        grid.cols = grid.lon.size();
        return {};
    }
    nc::variable lat2, lon2;
    bool found = false;
    if (failure failed = auxiliary_coordinates(f, v, lat2, lon2, found); failed.failed())
        return failed;
    if (!found)
        return {of_variable(f, v.name,
                            "has no latitude and longitude: neither coordinate variables in "
                            "degrees_north and degrees_east nor a coordinates attribute naming "
                            "them")};
    if (lat2.dims.size() == 1)
        return station_grid(f, v, lat2, lon2, a, grid);
    a.row = position_of(v, lat2.dims[0]);
    a.col = position_of(v, lat2.dims[1]);
    grid.two_dimensional = true;
    if (failure failed = read_all(f, lat2, grid.lat); failed.failed())
        return failed;
    if (failure failed = read_all(f, lon2, grid.lon); failed.failed())
        return failed;
    nc::dimension rows, cols;
    failure failed = dimension_of(f, lat2.dims[0], rows);
    if (!failed.failed())
        failed = dimension_of(f, lat2.dims[1], cols);
    grid.rows = rows.length;
    grid.cols = cols.length;
    return failed;
}

// Any dimension besides time and the grid's must hold one value.
failure check_other_dimensions(const nc::file &f, const nc::variable &v, const axes &a) {
    for (size_t i = 0; i < v.dims.size(); ++i) {
        const int at = static_cast<int>(i);
        if (at == a.time || at == a.row || at == a.col)
            continue;
        nc::dimension d;
        if (failure why = dimension_of(f, v.dims[i], d); why.failed())
            return why;
        if (d.length != 1)
            return {of_variable(f, v.name,
                                "has a dimension " + quote_token(d.name) + " of " +
                                    std::to_string(d.length) +
                                    " values besides time, latitude and longitude: a single "
                                    "level is read")};
    }
    return {};
}

// The steps' times from their bounds: the middle of each; or, where all
// start at 00 UTC and differ in width (values accumulated since 00 UTC,
// as ERA5-Land's), the end of each, the time the value is reached.
void times_from_bounds(const cf::time_axis &axis, const std::vector<double> &edges,
                       std::vector<double> &values, part &p) {
    bool from_midnight = true, widths_differ = false;
    for (size_t i = 0; i < values.size(); ++i) {
        from_midnight = from_midnight && cf::moment_of(axis, edges[2 * i]).seconds == 0;
        widths_differ = widths_differ || edges[2 * i + 1] - edges[2 * i] != edges[1] - edges[0];
    }
    p.accumulated_since_midnight = from_midnight && widths_differ;
    for (size_t i = 0; i < values.size(); ++i)
        values[i] =
            p.accumulated_since_midnight ? edges[2 * i + 1] : (edges[2 * i] + edges[2 * i + 1]) / 2;
    if (!p.accumulated_since_midnight)
        p.bounds_seconds = std::fabs(edges[1] - edges[0]) * axis.unit_seconds;
}

// The time steps: the coordinate's values (or the middles of its bounds)
// in its units and calendar, and their real days.
failure read_time(const nc::file &f, const nc::variable &time, part &p) {
    std::string why;
    const std::string units = text_or_empty(f, time.id, "units", why);
    const std::string calendar = text_or_empty(f, time.id, "calendar", why);
    if (!why.empty())
        return {why};
    cf::time_axis axis;
    failure refused = cf::parse_calendar(calendar, p.calendar);
    if (!refused.failed())
        refused = cf::parse_time_units(units, p.calendar, axis);
    if (refused.failed())
        return {of_variable(f, time.name,
                            "(the time of " + quote_token(p.var.name) + "): " + refused.message)};
    std::vector<double> values;
    if (failure failed = read_all(f, time, values); failed.failed())
        return failed;
    nc::variable bounds;
    const std::string bounds_name = text_or_empty(f, time.id, "bounds", why);
    if (!bounds_name.empty() && find_variable(f, bounds_name, bounds, why) &&
        bounds.dims.size() == 2) {
        std::vector<double> edges;
        if (failure failed = read_all(f, bounds, edges); failed.failed())
            return failed;
        if (edges.size() == 2 * values.size() && !values.empty())
            times_from_bounds(axis, edges, values, p);
    }
    if (!why.empty())
        return {why};
    p.time_names = {time.name};
    if (std::string standard = text_or_empty(f, time.id, "standard_name", why); !standard.empty())
        p.time_names.push_back(standard);
    if (nc::dimension d; !time.dims.empty() && !dimension_of(f, time.dims.back(), d).failed())
        p.time_names.push_back(d.name);
    if (!why.empty())
        return {why};
    for (double value : values) {
        const cf::moment m = cf::moment_of(axis, value);
        if (!p.steps.empty() &&
            !(p.steps.back().day < m.day ||
              (p.steps.back().day == m.day && p.steps.back().seconds < m.seconds)))
            return {of_variable(f, p.var.name, "has times that do not increase")};
        p.steps.push_back(m);
        long long real = 0;
        p.day.push_back(cf::real_day(p.calendar, m.day, real) ? real : no_day);
    }
    return {};
}

} // namespace

failure describe(const nc::file &f, const std::string &name, bool timed, part &p, coordinates &grid,
                 bool &found) {
    std::string why;
    found = find_variable(f, name, p.var, why);
    if (!found)
        return {why};
    nc::variable time;
    if (failure failed = find_grid(f, p.var, p.dims, grid, time); failed.failed())
        return failed;
    if (timed && p.dims.time < 0 && grid.stations)
        return {of_variable(f, name,
                            "has no time coordinate (UNIT since DATE) of all its stations: times "
                            "by station are not read")};
    if (failure failed = check_other_dimensions(f, p.var, p.dims); failed.failed())
        return failed;
    if (timed && p.dims.time < 0)
        return {of_variable(f, name, "has no time coordinate (UNIT since DATE)")};
    if (p.dims.time >= 0)
        if (failure failed = read_time(f, time, p); failed.failed())
            return failed;
    if (failure failed = read_decoding(f, p.var, p.values); failed.failed())
        return failed;
    p.units = text_or_empty(f, p.var.id, "units", why);
    if (why.empty())
        p.cell_methods = text_or_empty(f, p.var.id, "cell_methods", why);
    if (why.empty())
        p.step_type = text_or_empty(f, p.var.id, "GRIB_stepType", why);
    return {why};
}

// The units of a part, as its quantity needs them.
failure read_units(const nc::file &f, int q, part &p) {
    if (p.units.empty())
        return {of_variable(f, p.var.name, "has no units attribute")};
    const std::string said = "has units " + quote_token(p.units) + ", which ";
    if (q == prcp && !cf::parse_precipitation_unit(p.units, p.precipitation))
        return {of_variable(f, p.var.name,
                            said +
                                "is not a precipitation unit this tool knows: a flux (kg m-2 "
                                "s-1, mm s-1), an amount (mm, m, cm, kg m-2) or a rate (mm/day)")};
    if (q != prcp && !cf::parse_temperature_unit(p.units, p.temperature))
        return {of_variable(f, p.var.name,
                            said + "is not a temperature unit this tool knows (K, degC, degF)")};
    p.values.zero_within_a_step = q == prcp;
    return {};
}

} // namespace import::netcdf
