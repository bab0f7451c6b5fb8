// What the files hold, found through the CF conventions: each variable's
// coordinates (coordinate variables in degrees_north and degrees_east, or
// the auxiliary ones its coordinates attribute names), its time coordinate
// ("UNIT since DATE" in its calendar, at the middle of its bounds when it
// has them), its packing, fill values and valid range, its units and its
// cell methods.
#include "sources.h"
#include "file_paths.h"
#include "shown.h"

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace import::netcdf {

bool decoding::number(const unsigned char *values, size_t index, double &v) const {
    const double stored = load(values, index);
    if (std::isnan(stored))
        return false;
    for (double m : missing)
        if (stored == m)
            return false;
    const double unpacked = stored * scale + offset;
    const double ranged = range_unpacked ? unpacked : stored;
    if (ranged < valid_min || ranged > valid_max)
        return false;
    v = unpacked;
    return true;
}

namespace {

const char *const option_of[quantities] = {"--tmax", "--tmin", "--prcp"};

// "FILE: variable "VAR" what".
std::string of_variable(const nc::file &f, const std::string &var, const std::string &what) {
    return shown_name(f.path()) + ": variable " + quote_token(var) + " " + what;
}

bool is_float_type(int type) {
    return type == 5 /* NC_FLOAT */ || type == 6 /* NC_DOUBLE */;
}

std::string text_or_empty(const nc::file &f, int varid, const char *name, std::string &why) {
    std::string value;
    if (!text_attribute(f, varid, name, value, why))
        value.clear();
    return value;
}

// The first value of a numeric attribute, where given.
bool first_number(const nc::file &f, int varid, const char *name, double &value, int &type,
                  std::string &why) {
    std::vector<double> values;
    if (!number_attribute(f, varid, name, values, type, why))
        return false;
    value = values[0];
    return true;
}

std::string read_decoding(const nc::file &f, const nc::variable &v, decoding &d) {
    d = decoding{};
    d.load = nc::loader_of(v.type);
    d.size = nc::number_size(v.type);
    if (d.load == nullptr)
        return of_variable(f, v.name, "does not hold numbers");
    std::string why;
    int type = 0;
    const bool scaled = first_number(f, v.id, "scale_factor", d.scale, type, why);
    const bool offset = why.empty() && first_number(f, v.id, "add_offset", d.offset, type, why);
    std::vector<double> values;
    // Missing: the fill value (the type's default where none is given, but
    // for bytes), and each missing_value.
    if (why.empty() && number_attribute(f, v.id, "_FillValue", values, type, why))
        d.missing.push_back(values[0]);
    else if (double fill = 0;
             why.empty() && nc::number_size(v.type) > 1 && fill_value(f, v, fill, why))
        d.missing.push_back(fill);
    if (why.empty() && number_attribute(f, v.id, "missing_value", values, type, why))
        d.missing.insert(d.missing.end(), values.begin(), values.end());
    // The valid range, of the stored values; one given as floats for
    // packed integers is of the unpacked ones.
    const bool packed = scaled || offset;
    if (why.empty() && number_attribute(f, v.id, "valid_range", values, type, why) &&
        values.size() >= 2) {
        d.valid_min = values[0];
        d.valid_max = values[1];
        d.range_unpacked = packed && is_float_type(type) && !is_float_type(v.type);
    }
    double bound = 0;
    if (why.empty() && first_number(f, v.id, "valid_min", bound, type, why)) {
        d.valid_min = bound;
        d.range_unpacked = packed && is_float_type(type) && !is_float_type(v.type);
    }
    if (why.empty() && first_number(f, v.id, "valid_max", bound, type, why)) {
        d.valid_max = bound;
        d.range_unpacked = packed && is_float_type(type) && !is_float_type(v.type);
    }
    return why;
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
    if (why = dimension_of(f, dim, d); !why.empty())
        return false;
    return find_variable(f, d.name, c, why) && c.dims.size() == 1 && c.dims[0] == dim;
}

std::string read_all(const nc::file &f, const nc::variable &c, std::vector<double> &values) {
    std::vector<size_t> start(c.dims.size(), 0), count;
    for (int dim : c.dims) {
        nc::dimension d;
        if (std::string why = dimension_of(f, dim, d); !why.empty())
            return why;
        count.push_back(d.length);
    }
    return read_doubles(f, c, start, count, values);
}

// The auxiliary latitude and longitude named by the coordinates attribute,
// two-dimensional on two of the variable's dimensions.
std::string auxiliary_coordinates(const nc::file &f, const nc::variable &v, nc::variable &lat,
                                  nc::variable &lon, bool &found) {
    found = false;
    std::string why;
    const std::string names = text_or_empty(f, v.id, "coordinates", why);
    bool have_lat = false, have_lon = false;
    for (size_t at = 0; why.empty() && at < names.size();) {
        const size_t end = std::min(names.find(' ', at), names.size());
        const std::string name = names.substr(at, end - at);
        at = end + 1;
        nc::variable c;
        if (name.empty() || !find_variable(f, name, c, why) || c.dims.size() != 2)
            continue;
        const axis_kind kind = kind_of(f, c, why);
        if (kind == axis_kind::latitude && !have_lat)
            have_lat = true, lat = c;
        else if (kind == axis_kind::longitude && !have_lon)
            have_lon = true, lon = c;
    }
    if (!why.empty() || !have_lat || !have_lon)
        return why;
    const auto on_variable = [&v](int dim) {
        return std::find(v.dims.begin(), v.dims.end(), dim) != v.dims.end();
    };
    if (lat.dims != lon.dims || !on_variable(lat.dims[0]) || !on_variable(lat.dims[1]))
        return of_variable(f, v.name,
                           "has latitude and longitude (" + lat.name + ", " + lon.name +
                               ") that are not on two of its dimensions");
    found = true;
    return std::string();
}

int position_of(const nc::variable &v, int dim) {
    return static_cast<int>(std::find(v.dims.begin(), v.dims.end(), dim) - v.dims.begin());
}

// The grid of a variable: its axes and its coordinates.
std::string find_grid(const nc::file &f, const nc::variable &v, axes &a, coordinates &grid,
                      nc::variable &time) {
    std::string why;
    nc::variable lat1, lon1;
    a = axes{};
    a.rank = v.dims.size();
    for (size_t i = 0; i < v.dims.size(); ++i) {
        nc::variable c;
        if (!coordinate_of(f, v.dims[i], c, why)) {
            if (!why.empty())
                return why;
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
        if (std::string failed = read_all(f, lat1, grid.lat); !failed.empty())
            return failed;
        if (std::string failed = read_all(f, lon1, grid.lon); !failed.empty())
            return failed;
        grid.rows = grid.lat.size();
        grid.cols = grid.lon.size();
        return std::string();
    }
    nc::variable lat2, lon2;
    bool found = false;
    if (why = auxiliary_coordinates(f, v, lat2, lon2, found); !why.empty())
        return why;
    if (!found)
        return of_variable(f, v.name,
                           "has no latitude and longitude: neither coordinate variables in "
                           "degrees_north and degrees_east nor a coordinates attribute naming "
                           "them");
    a.row = position_of(v, lat2.dims[0]);
    a.col = position_of(v, lat2.dims[1]);
    grid.two_dimensional = true;
    if (std::string failed = read_all(f, lat2, grid.lat); !failed.empty())
        return failed;
    if (std::string failed = read_all(f, lon2, grid.lon); !failed.empty())
        return failed;
    nc::dimension rows, cols;
    if (why = dimension_of(f, lat2.dims[0], rows); why.empty())
        why = dimension_of(f, lat2.dims[1], cols);
    grid.rows = rows.length;
    grid.cols = cols.length;
    return why;
}

// Any dimension besides time and the grid's must hold one value.
std::string check_other_dimensions(const nc::file &f, const nc::variable &v, const axes &a) {
    for (size_t i = 0; i < v.dims.size(); ++i) {
        const int at = static_cast<int>(i);
        if (at == a.time || at == a.row || at == a.col)
            continue;
        nc::dimension d;
        if (std::string why = dimension_of(f, v.dims[i], d); !why.empty())
            return why;
        if (d.length != 1)
            return of_variable(f, v.name,
                               "has a dimension " + quote_token(d.name) + " of " +
                                   std::to_string(d.length) +
                                   " values besides time, latitude and longitude: a single "
                                   "level is read");
    }
    return std::string();
}

// The time steps: the coordinate's values (or the middles of its bounds)
// in its units and calendar, and their real days.
std::string read_time(const nc::file &f, const nc::variable &time, part &p) {
    std::string why;
    const std::string units = text_or_empty(f, time.id, "units", why);
    const std::string calendar = text_or_empty(f, time.id, "calendar", why);
    if (!why.empty())
        return why;
    cf::time_axis axis;
    if (!cf::parse_calendar(calendar, p.calendar, why) ||
        !cf::parse_time_units(units, p.calendar, axis, why))
        return of_variable(f, time.name, "(the time of " + quote_token(p.var.name) + "): " + why);
    std::vector<double> values;
    if (why = read_all(f, time, values); !why.empty())
        return why;
    nc::variable bounds;
    const std::string bounds_name = text_or_empty(f, time.id, "bounds", why);
    if (!bounds_name.empty() && find_variable(f, bounds_name, bounds, why) &&
        bounds.dims.size() == 2) {
        std::vector<double> edges;
        if (why = read_all(f, bounds, edges); !why.empty())
            return why;
        if (edges.size() == 2 * values.size() && !values.empty()) {
            for (size_t i = 0; i < values.size(); ++i)
                values[i] = (edges[2 * i] + edges[2 * i + 1]) / 2;
            p.bounds_seconds = std::fabs(edges[1] - edges[0]) * axis.unit_seconds;
        }
    }
    if (!why.empty())
        return why;
    p.time_name = time.name;
    for (double value : values) {
        const cf::moment m = cf::moment_of(axis, value);
        if (!p.steps.empty() &&
            !(p.steps.back().day < m.day ||
              (p.steps.back().day == m.day && p.steps.back().seconds < m.seconds)))
            return of_variable(f, p.var.name, "has times that do not increase");
        p.steps.push_back(m);
        long long real = 0;
        p.day.push_back(cf::real_day(p.calendar, m.day, real) ? real : no_day);
    }
    return std::string();
}

// Describes the variable of name in f into p, with its grid; false with
// why empty when f has no such variable.
bool describe(const nc::file &f, const std::string &name, bool timed, part &p, coordinates &grid,
              std::string &why) {
    if (!find_variable(f, name, p.var, why))
        return false;
    nc::variable time;
    if (why = find_grid(f, p.var, p.dims, grid, time); why.empty())
        why = check_other_dimensions(f, p.var, p.dims);
    if (why.empty() && timed && p.dims.time < 0)
        why = of_variable(f, name, "has no time coordinate (UNIT since DATE)");
    if (why.empty() && p.dims.time >= 0)
        why = read_time(f, time, p);
    if (why.empty())
        why = read_decoding(f, p.var, p.values);
    if (why.empty())
        p.units = text_or_empty(f, p.var.id, "units", why);
    if (why.empty())
        p.cell_methods = text_or_empty(f, p.var.id, "cell_methods", why);
    return true;
}

// The units of a part, as its quantity needs them.
std::string read_units(const nc::file &f, int q, part &p) {
    if (p.units.empty())
        return of_variable(f, p.var.name, "has no units attribute");
    const std::string said = "has units " + quote_token(p.units) + ", which ";
    if (q == prcp && !cf::parse_precipitation_unit(p.units, p.precipitation))
        return of_variable(f, p.var.name,
                           said + "is not a precipitation unit this tool knows: a flux (kg m-2 "
                                  "s-1, mm s-1), an amount (mm, m, cm, kg m-2) or a rate (mm/day)");
    if (q != prcp && !cf::parse_temperature_unit(p.units, p.temperature))
        return of_variable(f, p.var.name,
                           said + "is not a temperature unit this tool knows (K, degC, degF)");
    return std::string();
}

std::string check_regular(const std::string &path) {
    const os::result<struct stat> st = os::status_of(path);
    if (!st)
        return "Error reading " + shown_name(path) + ": " + st.error().reason();
    if (!S_ISREG(st.value().st_mode))
        return "Error reading " + shown_name(path) + ": not a regular file";
    return std::string();
}

// The variable of name in f described into p, its grid checked against
// the one found first; false when f has no such variable or on a failure
// (why says).
bool take_part(const nc::file &f, const std::string &name, bool timed, sources &found,
               bool &first_grid, part &p, std::string &why) {
    coordinates grid;
    if (!describe(f, name, timed, p, grid, why) || !why.empty())
        return false;
    if (first_grid) {
        found.coords = std::move(grid);
        first_grid = false;
    } else if (!(grid == found.coords)) {
        why = of_variable(f, name, "lies on another grid than the files before");
        return false;
    }
    return true;
}

// Whether Tmax and Tmin are named as one variable: each file's daily
// values of it are the one or the other by its cell_methods, and
// sub-daily values give both.
bool one_temperature(const source_request &r) {
    return r.variable[tmax] == r.variable[tmin];
}

// Whether a part goes to quantity q: a daily maximum of the one
// temperature variable is no Tmin, nor its minimum a Tmax.
bool belongs(const source_request &r, int q, const part &p) {
    if (q == prcp || !one_temperature(r))
        return true;
    return cf::time_method(p.cell_methods, p.time_name) != (q == tmax ? "minimum" : "maximum");
}

// One file's variables into found.
std::string inspect_file(const source_request &r, size_t index, sources &found, bool &first_grid) {
    const std::string &path = r.files[index];
    if (std::string why = check_regular(path); !why.empty())
        return why;
    nc::file f;
    if (std::string why = f.open_path(path); !why.empty())
        return "Error reading " + why;
    bool any = false;
    std::string why;
    for (int q = 0; q < quantities && why.empty(); ++q) {
        part p;
        p.file = index;
        if (take_part(f, r.variable[q], true, found, first_grid, p, why) &&
            (why = read_units(f, q, p)).empty() && belongs(r, q, p)) {
            found.of[q].parts.push_back(std::move(p));
            any = true;
        }
    }
    if (why.empty() && !r.elevation.empty() && !found.has_elevation) {
        part p;
        p.file = index;
        if (take_part(f, r.elevation, false, found, first_grid, p, why)) {
            if (!cf::parse_length_unit(p.units, p.metres))
                return of_variable(f, r.elevation,
                                   "has units " + quote_token(p.units) +
                                       ", which are not a length (m, km) an elevation is in");
            found.elevation = std::move(p);
            found.has_elevation = any = true;
        }
    }
    if (!why.empty())
        return why;
    if (!any)
        return shown_name(path) + " holds none of the variables named (" + r.variable[tmax] + ", " +
               r.variable[tmin] + ", " + r.variable[prcp] +
               (r.elevation.empty() ? "" : ", " + r.elevation) + ")";
    if (why = f.close_file(); !why.empty())
        return "Error reading " + why;
    return std::string();
}

bool before(const cf::moment &a, const cf::moment &b) {
    return a.day < b.day || (a.day == b.day && a.seconds < b.seconds);
}

double seconds_between(const cf::moment &a, const cf::moment &b) {
    return static_cast<double>(b.day - a.day) * 86400.0 + (b.seconds - a.seconds);
}

// The parts in time order, none overlapping another.
std::string order_parts(const source_request &r, int q, series &s) {
    s.variable = r.variable[q];
    if (s.parts.empty())
        return "No file holds the variable " + quote_token(s.variable) + " (" + option_of[q] + ")";
    for (const part &p : s.parts)
        if (p.steps.empty())
            return shown_name(r.files[p.file]) + ": variable " + quote_token(s.variable) +
                   " has no time steps";
    std::sort(s.parts.begin(), s.parts.end(),
              [](const part &a, const part &b) { return before(a.steps[0], b.steps[0]); });
    for (size_t k = 1; k < s.parts.size(); ++k) {
        const part &a = s.parts[k - 1], &b = s.parts[k];
        if (a.calendar != b.calendar)
            return "The variable " + quote_token(s.variable) + " has one calendar in " +
                   shown_name(r.files[a.file]) + " and another in " + shown_name(r.files[b.file]);
        if (!before(a.steps.back(), b.steps.front()))
            return "The times of " + quote_token(s.variable) + " in " +
                   shown_name(r.files[b.file]) + " overlap those in " + shown_name(r.files[a.file]);
    }
    return std::string();
}

// The step of a series: its bounds' width, else the shortest time between
// two steps of a file, else a day. The time between files is no step: a
// file may hold a single day, and files may leave out a period.
double step_of(const series &s) {
    if (s.parts[0].bounds_seconds > 0)
        return s.parts[0].bounds_seconds;
    double step = 0;
    for (const part &p : s.parts)
        for (size_t i = 1; i < p.steps.size(); ++i) {
            const double gap = seconds_between(p.steps[i - 1], p.steps[i]);
            step = step == 0 ? gap : std::min(step, gap);
        }
    return step == 0 ? 86400 : step;
}

std::string describe_step(double seconds) {
    if (std::fmod(seconds, 3600) == 0)
        return counted(static_cast<long>(seconds / 3600), "hour");
    if (std::fmod(seconds, 60) == 0)
        return counted(static_cast<long>(seconds / 60), "minute");
    return format_message("%g seconds", seconds);
}

// The methods a quantity's cell_methods may state over time.
bool method_fits(int q, const std::string &method, bool daily) {
    if (method.empty())
        return true;
    if (q == tmax)
        return method == "maximum" || (!daily && method != "minimum");
    if (q == tmin)
        return method == "minimum" || (!daily && method != "maximum");
    return method == "sum" || method == "mean" || (!daily && method == "point");
}

const char *const wanted_method[quantities] = {"maximum", "minimum", "sum or mean"};
const char *const day_of_steps[quantities] = {"maximum", "minimum", "sum"};

// How the quantity's day is taken, checked against its steps, the request
// and its cell methods.
std::string daily_taking(const source_request &r, int q, series &s) {
    s.step_seconds = step_of(s);
    const std::string step = describe_step(s.step_seconds);
    const std::string name = quote_token(s.variable);
    const bool daily = std::fabs(s.step_seconds - 86400) < 1e-3;
    if (!daily && s.step_seconds > 86400)
        return "The variable " + name + " has a value every " + step + ": not daily values";
    if (!daily && !r.daily)
        return "The variable " + name + " has a value every " + step +
               ": give --daily to take each UTC day's " + day_of_steps[q];
    if (!daily && std::fmod(86400.0, s.step_seconds) != 0)
        return "The variable " + name + " has a value every " + step +
               ", which does not divide a day";
    for (const part &p : s.parts) {
        const std::string method = cf::time_method(p.cell_methods, p.time_name);
        if (daily && q != prcp && one_temperature(r) && method != wanted_method[q])
            return shown_name(r.files[p.file]) + ": variable " + name +
                   ", named by --tmax and --tmin, has daily values without cell_methods "
                   "time: maximum or time: minimum, which tell the one from the other";
        if (!method_fits(q, method, daily))
            return shown_name(r.files[p.file]) + ": variable " + name + " has cell_methods " +
                   quote_token(p.cell_methods) + ": " + (daily ? "daily values" : "values") +
                   " of time: " + method + ", not the " + wanted_method[q] + " that " +
                   option_of[q] + " takes";
    }
    const std::string method = cf::time_method(s.parts[0].cell_methods, s.parts[0].time_name);
    if (daily) {
        s.how = "daily values" + (method.empty() ? std::string(" (no cell_methods for time)")
                                                 : " (cell_methods time: " + method + ")");
        return std::string();
    }
    s.take = q == tmax ? daily_value::maximum : q == tmin ? daily_value::minimum : daily_value::sum;
    s.steps_a_day = static_cast<int>(std::lround(86400.0 / s.step_seconds));
    s.how = "a value every " + step + ": each UTC day's " + day_of_steps[q] + " of its " +
            std::to_string(s.steps_a_day) + " values (--daily)";
    return std::string();
}

} // namespace

std::string inspect(const source_request &r, sources &found) {
    bool first_grid = true;
    for (size_t i = 0; i < r.files.size(); ++i)
        if (std::string why = inspect_file(r, i, found, first_grid); !why.empty())
            return why;
    for (int q = 0; q < quantities; ++q) {
        if (std::string why = order_parts(r, q, found.of[q]); !why.empty())
            return why;
        if (std::string why = daily_taking(r, q, found.of[q]); !why.empty())
            return why;
    }
    if (!r.elevation.empty() && !found.has_elevation)
        return "No file holds the variable " + quote_token(r.elevation) + " (--elevation)";
    std::string why;
    if (!found.coords.two_dimensional) {
        if (!geo::grid_cells::rectilinear(found.coords.lat, found.coords.lon, found.grid, why))
            return "The grid of " + quote_token(r.variable[tmax]) + " cannot be read: " + why;
    } else {
        found.grid = geo::grid_cells::curvilinear(found.coords.lat, found.coords.lon,
                                                  found.coords.rows, found.coords.cols);
    }
    return std::string();
}

void day_span(const sources &found, long long &first, long long &last) {
    first = std::numeric_limits<long long>::max();
    last = std::numeric_limits<long long>::min();
    for (const series &s : found.of)
        for (const part &p : s.parts)
            for (long long d : p.day)
                if (d != no_day) {
                    first = std::min(first, d);
                    last = std::max(last, d);
                }
}

} // namespace import::netcdf
