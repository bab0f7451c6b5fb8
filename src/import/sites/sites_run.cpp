// The sites command: every station of the stations table, in its order,
// joined by name with its soils row and given its elevation (from a DEM
// where one is given), as a line of the site list; a site that lacks a
// value is an error naming it, or is left out (--skip-incomplete).
#include "sites/sites_run.h"
#include "csv_table.h"
#include "dem.h"
#include "guard.h"
#include "input.h"
#include "outputs.h"
#include "points.h"
#include "reporter.h"
#include "shown.h"
#include "tokens.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>

namespace import {

namespace {

// The site list's fields after the name, from the tables' columns.
enum field {
    latitude,
    longitude,
    sand,
    silt,
    clay,
    bulk_density,
    pass_through,
    layer_code,
    elevation,
    fields
};
constexpr const char *field_columns[fields] = {"latitude",     "longitude",  "sand",
                                               "silt",         "clay",       "bulk_density",
                                               "pass_through", "layer_code", "elevation_m"};

// A site list line being made.
struct site_entry {
    std::string name;
    float value[fields] = {};
    double source_elevation = NAN; // the weather source's elevation_m, where known
    failure problem;               // the first value it lacks (none: it has each)
};

// A table's column; none, with why (where it holds no failure yet), when
// there is none.
size_t need(const csv_table &t, const char *name, failure &why) {
    const size_t at = t.column({name});
    if (at == t.none && !why.failed())
        why = {input_name(t.path) + ": no column " + name};
    return at;
}

// One value of a site's row into its entry, or its problem: a decimal
// number (no nan, inf, hexadecimal or overflow), the texture's fractions
// within 0 to 1, the layer code whole.
void take(site_entry &e, field f, const csv_table &t, size_t row, size_t column) {
    const std::string &text = t.rows[row][column];
    if (e.problem.failed())
        return;
    const std::string where = " in " + input_name(t.path);
    const std::string value = ": " + std::string(field_columns[f]) + " " + quote_token(text);
    float v = 0;
    if (is_na(text))
        e.problem = {shown_name(e.name) + ": " + field_columns[f] + " is NA" + where};
    else if (!parse_finite_float(trimmed(text), v))
        e.problem = {shown_name(e.name) + value + " in " + t.at(row) + " is not a number"};
    else if (f >= sand && f <= clay && !(v >= 0 && v <= 1))
        e.problem = {shown_name(e.name) + value + " in " + t.at(row) +
                     " is not a fraction from 0 to 1"};
    else if (f == layer_code && v != std::floor(v))
        e.problem = {shown_name(e.name) + ": layer_code " + quote_token(text) + where +
                     " is not a whole number"};
    e.value[f] = v;
}

// The soils table's texture is normalised: its fractions sum to 1 but for
// rounding (a float's, or two decimals': 0.005 each).
constexpr double texture_sum_tolerance = 0.02;

// The problem of an entry whose texture does not sum to 1.
void check_texture_sum(site_entry &e, const csv_table &t, size_t row) {
    if (e.problem.failed())
        return;
    const double sum = static_cast<double>(e.value[sand]) + static_cast<double>(e.value[silt]) +
                       static_cast<double>(e.value[clay]);
    if (std::fabs(sum - 1) > texture_sum_tolerance)
        e.problem = {format_message("%s: sand, silt and clay %s, %s and %s in %s sum to %g, not 1 "
                                    "(within %g)",
                                    shown_name(e.name).c_str(), float_text(e.value[sand]).c_str(),
                                    float_text(e.value[silt]).c_str(),
                                    float_text(e.value[clay]).c_str(), t.at(row).c_str(), sum,
                                    texture_sum_tolerance)};
}

// The tables, and the entries made of them in the stations' order;
// or what is wrong with a table.
failure join_tables(const sites_request &r, std::vector<site_entry> &entries) {
    points places;
    csv_table so;
    if (failure f = read_points(r.stations, places); f.failed())
        return f;
    if (places.empty())
        return {input_name(r.stations) + " is empty: a header row is needed"};
    if (failure f = read_csv_table(r.soils, so); f.failed())
        return f;
    const csv_table &st = places.table;
    failure why;
    const size_t st_name = places.name, so_name = need(so, "name", why);
    size_t at[fields];
    for (int f = 0; f < fields; ++f)
        at[f] = f == latitude    ? places.lat
                : f == longitude ? places.lon
                : f == elevation && !r.dems.empty()
                    ? st.column({field_columns[f]})
                    : need(f == elevation ? st : so, field_columns[f], why);
    if (why.failed())
        return why;
    std::map<std::string, size_t> soils;
    for (size_t i = 0; i < so.rows.size(); ++i)
        if (!soils.emplace(so.rows[i][so_name], i).second)
            return {so.at(i) + ": " + shown_name(so.rows[i][so_name]) + " is named again"};
    for (size_t i = 0; i < st.rows.size(); ++i) {
        site_entry e;
        e.name = st.rows[i][st_name];
        if (!site_list_can_name(e.name))
            e.problem = {st.at(i) + ": the name " + quote_token(e.name) +
                         " holds white space or a control character, which no site list can name"};
        const auto soil = soils.find(e.name);
        if (soil == soils.end() && !e.problem.failed())
            e.problem = {shown_name(e.name) + ": not in the soils table " + input_name(so.path)};
        for (int f = 0; f < fields; ++f) {
            const bool from_stations = f <= longitude || f == elevation;
            if (f == elevation && !r.dems.empty()) {
                float v = 0;
                if (at[f] != st.none && parse_finite_float(trimmed(st.rows[i][at[f]]), v))
                    e.source_elevation = v;
                continue;
            }
            if (from_stations)
                take(e, static_cast<field>(f), st, i, at[f]);
            else if (soil != soils.end())
                take(e, static_cast<field>(f), so, soil->second, at[f]);
        }
        if (soil != soils.end())
            check_texture_sum(e, so, soil->second);
        entries.push_back(std::move(e));
    }
    return {};
}

// Warns of a DEM elevation far from the weather source's: its temperatures
// then stand for another height.
void compare_elevations(const site_entry &e, double dem_elevation) {
    const double difference = dem_elevation - e.source_elevation;
    if (!(std::fabs(difference) > 350))
        return;
    say_error(format_message("warning: %s: the DEM gives %.1f m, %.0f m %s the weather "
                             "source's elevation_m of %g m: its temperatures may be "
                             "%.1f degrees C too %s for the site (6.5 degrees C a km)",
                             shown_name(e.name).c_str(), dem_elevation, std::fabs(difference),
                             difference > 0 ? "above" : "below", e.source_elevation,
                             std::fabs(difference) * 6.5 / 1000, difference > 0 ? "warm" : "cold"));
}

// The elevations of the complete entries from the DEMs, each DEM read only
// when a site needs it and let go after; the first DEM that covers a site
// gives its elevation; or what is wrong with a DEM.
failure add_elevations(const sites_request &r, std::vector<site_entry> &entries) {
    std::vector<bool> done(entries.size(), false);
    for (const std::string &path : r.dems) {
        dem d;
        if (failure f = d.open_path(path); f.failed())
            return f;
        bool loaded = false;
        for (size_t i = 0; i < entries.size(); ++i) {
            site_entry &e = entries[i];
            const double lat = e.value[latitude], lon = e.value[longitude];
            if (done[i] || e.problem.failed() || !d.covers(lat, lon))
                continue;
            if (!loaded)
                if (failure f = d.load(); f.failed())
                    return f;
            loaded = true;
            done[i] = true;
            double v = 0;
            if (!d.elevation_at(lat, lon, v)) {
                e.problem = {shown_name(e.name) + ": " + shown_name(path) + " has no valid sample"};
                continue;
            }
            v = std::round(v * 10) / 10; // to a tenth of a metre
            e.value[elevation] = static_cast<float>(v);
            if (!std::isnan(e.source_elevation))
                compare_elevations(e, v);
        }
        d.unload();
    }
    for (size_t i = 0; i < entries.size(); ++i)
        if (!done[i] && !entries[i].problem.failed())
            entries[i].problem = {shown_name(entries[i].name) + ": outside every --dem file"};
    return {};
}

std::string list_line(const site_entry &e) {
    std::string line = e.name;
    for (int f = 0; f < fields; ++f)
        line += " " + (f == layer_code ? std::to_string(static_cast<long>(e.value[f]))
                                       : float_text(e.value[f]));
    return line + "\n";
}

// Nothing is read from a file that standard output has emptied.
std::vector<failure> sites_collisions(const sites_request &r) {
    std::vector<os::guarded_file> files = {{r.stations, "the --stations file", false},
                                           {r.soils, "the --soils file", false}};
    for (const std::string &path : r.dems)
        files.push_back({path, "the --dem file " + shown_name(path), false});
    os::guarded_file out{"standard output", "the site list", true};
    out.open_fd = 1;
    files.push_back(out);
    return guard_failures(files);
}

int sites_all(const sites_request &r) {
    std::vector<site_entry> entries;
    std::vector<failure> wrong = sites_collisions(r);
    if (wrong.empty())
        if (failure f = join_tables(r, entries); f.failed())
            wrong.push_back(f);
    if (wrong.empty() && !r.dems.empty())
        if (failure f = add_elevations(r, entries); f.failed())
            wrong.push_back(f);
    for (const failure &f : wrong)
        say_error(f.message);
    if (!wrong.empty())
        return 1;
    std::string list;
    long left = 0;
    for (const site_entry &e : entries) {
        if (!e.problem.failed()) {
            list += list_line(e);
            continue;
        }
        ++left;
        say_error((r.skip_incomplete ? "left out: " : "") + e.problem.message);
    }
    if (left > 0 && !r.skip_incomplete) {
        say_error(counted(left, "site") + " without every value: no site list was written "
                                          "(--skip-incomplete leaves them out)");
        return 1;
    }
    say_text(list);
    return 0;
}

} // namespace

int run_sites(const sites_request &request) {
    return run_reported([&] { return sites_all(request); });
}

} // namespace import
