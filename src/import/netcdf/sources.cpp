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
#include <map>
#include <sys/stat.h>

namespace import::netcdf {

namespace {

failure check_regular(const std::string &path) {
    const os::result<struct stat> st = os::status_of(path);
    if (!st)
        return {"Error reading " + shown_name(path) + ": " + st.error().reason()};
    if (!S_ISREG(st.value().st_mode))
        return {"Error reading " + shown_name(path) + ": not a regular file"};
    return {};
}

// The variable of name in f described into p, its grid checked against
// the one found first (taken); not taken when f has no such variable; or
// what failed.
failure take_part(const nc::file &f, const std::string &name, bool timed, sources &found,
                  bool &first_grid, part &p, bool &taken) {
    taken = false;
    coordinates grid;
    bool there = false;
    if (failure why = describe(f, name, timed, p, grid, there); why.failed() || !there)
        return why;
    if (first_grid) {
        found.coords = std::move(grid);
        first_grid = false;
    } else if (!(grid == found.coords)) {
        return {of_variable(f, name, "lies on another grid than the files before")};
    }
    taken = true;
    return {};
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
    return cf::time_method(p.cell_methods, p.time_names) != (q == tmax ? "minimum" : "maximum");
}

// A variable of the cells, not of time (an elevation, a mask), from the
// first file that holds it, on the grid of the others.
failure take_fixed(const nc::file &f, size_t index, const std::string &name, sources &found,
                   bool &first_grid, part &into, bool &has, bool &any) {
    if (name.empty() || has)
        return {};
    part p;
    p.file = index;
    bool taken = false;
    failure why = take_part(f, name, false, found, first_grid, p, taken);
    if (taken) {
        into = std::move(p);
        has = any = true;
    }
    return why;
}

// One file's variables into found.
failure inspect_file(const source_request &r, size_t index, sources &found, bool &first_grid) {
    const std::string &path = r.files[index];
    if (failure why = check_regular(path); why.failed())
        return why;
    nc::file f;
    if (failure why = f.open_path(path); why.failed())
        return {"Error reading " + why.message};
    bool any = false;
    failure why;
    for (int q = 0; q < quantities && !why.failed(); ++q) {
        part p;
        p.file = index;
        bool taken = false;
        if ((why = take_part(f, r.variable[q], true, found, first_grid, p, taken)).failed() ||
            !taken || (why = read_units(f, q, p)).failed())
            continue;
        if (belongs(r, q, p)) {
            found.of[q].parts.push_back(std::move(p));
            any = true;
        }
    }
    if (!why.failed())
        why = take_fixed(f, index, r.elevation, found, first_grid, found.elevation,
                         found.has_elevation, any);
    if (!why.failed() && found.has_elevation && found.elevation.file == index &&
        !cf::parse_length_unit(found.elevation.units, found.elevation.metres))
        return {of_variable(f, r.elevation,
                            "has units " + quote_token(found.elevation.units) +
                                ", which are not a length (m, km) an elevation is in")};
    if (!why.failed())
        why = take_fixed(f, index, r.mask, found, first_grid, found.mask, found.has_mask, any);
    if (why.failed())
        return why;
    if (!any)
        return {shown_name(path) + " holds none of the variables named (" + r.variable[tmax] +
                ", " + r.variable[tmin] + ", " + r.variable[prcp] +
                (r.elevation.empty() ? "" : ", " + r.elevation) +
                (r.mask.empty() ? "" : ", " + r.mask) + ")"};
    if (failure closed = f.close_file(); closed.failed())
        return {"Error reading " + closed.message};
    return {};
}

bool before(const cf::moment &a, const cf::moment &b) {
    return a.day < b.day || (a.day == b.day && a.seconds < b.seconds);
}

double seconds_between(const cf::moment &a, const cf::moment &b) {
    return static_cast<double>(b.day - a.day) * 86400.0 + (b.seconds - a.seconds);
}

// The parts in time order, none overlapping another.
failure order_parts(const source_request &r, int q, series &s) {
    s.variable = r.variable[q];
    if (s.parts.empty())
        return {"No file holds the variable " + quote_token(s.variable) + " (" + option_of[q] +
                ")"};
    for (const part &p : s.parts)
        if (p.steps.empty())
            return {shown_name(r.files[p.file]) + ": variable " + quote_token(s.variable) +
                    " has no time steps"};
    std::sort(s.parts.begin(), s.parts.end(),
              [](const part &a, const part &b) { return before(a.steps[0], b.steps[0]); });
    for (size_t k = 1; k < s.parts.size(); ++k) {
        const part &a = s.parts[k - 1], &b = s.parts[k];
        if (a.calendar != b.calendar)
            return {"The variable " + quote_token(s.variable) + " has one calendar in " +
                    shown_name(r.files[a.file]) + " and another in " + shown_name(r.files[b.file])};
        if (!before(a.steps.back(), b.steps.front()))
            return {"The times of " + quote_token(s.variable) + " in " +
                    shown_name(r.files[b.file]) + " overlap those in " +
                    shown_name(r.files[a.file])};
    }
    return {};
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

// Each step's day as the day its period ends in: the day of its start,
// so that a value stamped 00 UTC is the day before's.
void to_days_ended(double step_seconds, part &p) {
    for (size_t i = 0; i < p.steps.size(); ++i) {
        cf::moment start = p.steps[i];
        start.seconds -= step_seconds;
        for (; start.seconds < 0; start.seconds += 86400)
            --start.day;
        long long real = 0;
        p.day[i] = cf::real_day(p.calendar, start.day, real) ? real : no_day;
    }
}

// How sub-daily precipitation is taken: as --accumulation says; else, of
// time bounds that all start at 00 UTC, accumulated since then; else each
// day's steps by the times they are stamped with. A value over the step ending at
// its time, or accumulated to it, belongs to the day its step ends: the
// value at 00 UTC is the day before's (a step in the middle of its bounds
// is in its day already). Values that say they are accumulations but
// not over what are refused without the option.
failure take_accumulation(const source_request &r, const std::string &step, series &s) {
    accumulation kind = r.accumulated;
    const bool by_bounds = kind == accumulation::unsaid &&
                           std::all_of(s.parts.begin(), s.parts.end(),
                                       [](const part &p) { return p.accumulated_since_midnight; });
    if (by_bounds)
        kind = accumulation::day;
    // Accumulations without bounds: over the step ending at its time, or
    // since 00 UTC, the files of ERA5 and ERA5-Land alike.
    const auto unbounded = [](const part &p) {
        return p.step_type == "accum" && p.bounds_seconds == 0;
    };
    if (kind == accumulation::unsaid && std::any_of(s.parts.begin(), s.parts.end(), unbounded))
        return {
            "The variable " + quote_token(s.variable) +
            " holds accumulations (GRIB_stepType \"accum\") without time bounds that say "
            "over what: give --accumulation step (each value the amount of the step ending at its "
            "time, as ERA5's) or --accumulation day (the amount since 00 UTC, as ERA5-Land's)"};
    if (kind == accumulation::unsaid)
        return {};
    s.step_ends = true;
    for (part &p : s.parts)
        if (p.bounds_seconds == 0)
            to_days_ended(s.step_seconds, p);
    const std::string said = by_bounds                   ? "its time bounds"
                             : kind == accumulation::day ? "--accumulation day"
                                                         : "--accumulation step";
    if (kind == accumulation::day) {
        s.take = daily_value::last;
        s.how = "a value every " + step + ", accumulated since 00 UTC (" + said +
                "): each UTC day's value at 24:00, 00 UTC of the next day (--daily)";
    } else {
        s.how = "a value every " + step + ", each the amount of the step ending at its time (" +
                said + "): each UTC day's sum of the " + std::to_string(s.steps_a_day) +
                " values ending in it, to 24:00 (--daily)";
    }
    return {};
}

const char *const wanted_method[quantities] = {"maximum", "minimum", "sum or mean"};
const char *const day_of_steps[quantities] = {"maximum", "minimum", "sum"};

// How the quantity's day is taken, checked against its steps, the request
// and its cell methods.
failure daily_taking(const source_request &r, int q, series &s) {
    s.step_seconds = step_of(s);
    const std::string step = describe_step(s.step_seconds);
    const std::string name = quote_token(s.variable);
    const bool daily = std::fabs(s.step_seconds - 86400) < 1e-3;
    if (!daily && s.step_seconds > 86400)
        return {"The variable " + name + " has a value every " + step + ": not daily values"};
    if (!daily && !r.daily)
        return {"The variable " + name + " has a value every " + step +
                ": give --daily to take each UTC day's " + day_of_steps[q]};
    if (!daily && std::fmod(86400.0, s.step_seconds) != 0)
        return {"The variable " + name + " has a value every " + step +
                ", which does not divide a day"};
    for (const part &p : s.parts) {
        const std::string method = cf::time_method(p.cell_methods, p.time_names);
        if (daily && q != prcp && one_temperature(r) && method != wanted_method[q])
            return {shown_name(r.files[p.file]) + ": variable " + name +
                    ", named by --tmax and --tmin, has daily values without cell_methods "
                    "time: maximum or time: minimum, which tell the one from the other"};
        if (!method_fits(q, method, daily))
            return {shown_name(r.files[p.file]) + ": variable " + name + " has cell_methods " +
                    quote_token(p.cell_methods) + ": " + (daily ? "daily values" : "values") +
                    " of time: " + method + ", not the " + wanted_method[q] + " that " +
                    option_of[q] + " takes"};
    }
    const std::string method = cf::time_method(s.parts[0].cell_methods, s.parts[0].time_names);
    if (daily && q == prcp && r.accumulated != accumulation::unsaid)
        return {"The variable " + name +
                " has daily values: --accumulation is for sub-daily precipitation"};
    if (daily) {
        s.how = "daily values" + (method.empty() ? std::string(" (no cell_methods for time)")
                                                 : " (cell_methods time: " + method + ")");
        return {};
    }
    s.take = q == tmax ? daily_value::maximum : q == tmin ? daily_value::minimum : daily_value::sum;
    s.steps_a_day = static_cast<int>(std::lround(86400.0 / s.step_seconds));
    s.how = "a value every " + step + ": each UTC day's " + day_of_steps[q] + " of its " +
            std::to_string(s.steps_a_day) + " values (--daily)";
    if (q == prcp)
        return take_accumulation(r, step, s);
    return {};
}

} // namespace

failure inspect(const source_request &r, sources &found) {
    bool first_grid = true;
    for (size_t i = 0; i < r.files.size(); ++i)
        if (failure why = inspect_file(r, i, found, first_grid); why.failed())
            return why;
    for (int q = 0; q < quantities; ++q) {
        if (failure why = order_parts(r, q, found.of[q]); why.failed())
            return why;
        if (failure why = daily_taking(r, q, found.of[q]); why.failed())
            return why;
    }
    if (!r.elevation.empty() && !found.has_elevation)
        return {"No file holds the variable " + quote_token(r.elevation) + " (--elevation)"};
    if (!r.mask.empty() && !found.has_mask)
        return {"No file holds the variable " + quote_token(r.mask) + " (--mask)"};
    if (found.has_mask && found.coords.stations)
        return {"--mask is for grids: the stations of " + quote_token(r.variable[tmax]) +
                " are each taken by name or place"};
    if (!found.coords.two_dimensional) {
        if (failure why =
                geo::grid_cells::rectilinear(found.coords.lat, found.coords.lon, found.grid);
            why.failed())
            return {"The grid of " + quote_token(r.variable[tmax]) +
                    " cannot be read: " + why.message};
    } else {
        found.grid = geo::grid_cells::curvilinear(found.coords.lat, found.coords.lon,
                                                  found.coords.rows, found.coords.cols);
    }
    return {};
}

namespace {

// The days of a series whose steps end their periods that have all their
// steps, over the files: the first step of a download at 00 UTC ends a
// day that the files do not otherwise hold.
std::map<long long, int> steps_of_days(const series &s) {
    std::map<long long, int> steps;
    for (const part &p : s.parts)
        for (long long d : p.day)
            if (d != no_day)
                ++steps[d];
    return steps;
}

} // namespace

void day_span(const sources &found, long long &first, long long &last) {
    first = std::numeric_limits<long long>::max();
    last = std::numeric_limits<long long>::min();
    const auto take = [&](long long d) {
        first = std::min(first, d);
        last = std::max(last, d);
    };
    for (const series &s : found.of) {
        if (s.step_ends) {
            for (const auto &[d, steps] : steps_of_days(s))
                if (steps == s.steps_a_day)
                    take(d);
            continue;
        }
        for (const part &p : s.parts)
            for (long long d : p.day)
                if (d != no_day)
                    take(d);
    }
}

} // namespace import::netcdf
