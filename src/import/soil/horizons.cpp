// Horizon tables: a CSV of a row a horizon (name, top_cm, bottom_cm, the
// texture in percent or as fractions, bulk_density, and optionally each
// profile's share of the site).
#include "csv_table.h"
#include "input.h"
#include "outputs.h"
#include "shown.h"
#include "soil/soil_readers.h"

#include <cmath>
#include <map>

namespace import {

namespace {

// The table's columns: the texture in percent or as fractions.
struct horizon_columns {
    static constexpr size_t none = csv_table::none;
    size_t name = none, top = none, bottom = none, texture[3] = {none, none, none}, bulk = none,
           share = none;
    double scale = 1; // to percent
};

failure find_columns(const csv_table &t, horizon_columns &c) {
    c.name = t.column({"name"});
    c.top = t.column({"top_cm"});
    c.bottom = t.column({"bottom_cm"});
    c.bulk = t.column({"bulk_density"});
    c.share = t.column({"share"});
    const char *const parts[3] = {"sand", "silt", "clay"};
    int percent = 0, fraction = 0;
    for (int k = 0; k < 3; ++k) {
        const size_t pct = t.column({(std::string(parts[k]) + "_pct").c_str()});
        const size_t frac = t.column({(std::string(parts[k]) + "_frac").c_str()});
        c.texture[k] = pct != c.none ? pct : frac;
        percent += pct != c.none;
        fraction += pct == c.none && frac != c.none;
    }
    if (c.name == c.none || c.top == c.none || c.bottom == c.none || c.bulk == c.none ||
        percent + fraction < 3)
        return {input_name(t.path) +
                ": a horizon table's columns are name,top_cm,bottom_cm,sand_pct,silt_pct,"
                "clay_pct,bulk_density[,share] (or sand_frac,silt_frac,clay_frac)"};
    if (percent != 0 && fraction != 0)
        return {input_name(t.path) +
                ": the texture is all in percent (_pct) or all fractions (_frac)"};
    c.scale = fraction == 3 ? 100 : 1;
    return {};
}

// A value of a row: no_value for NA or empty; false when it is no number.
bool value_of(const std::string &field, double &v) {
    int decimals = 0;
    if (is_na(field)) {
        v = no_value;
        return true;
    }
    return plain_number(field, v, decimals);
}

// A row's horizon; or what is wrong with it.
failure horizon_of(const csv_table &t, size_t r, const horizon_columns &c, soil_layer &l,
                   double &share) {
    const std::vector<std::string> &f = t.rows[r];
    double *const into[] = {&l.top, &l.bottom, &l.sand, &l.silt, &l.clay, &l.bulk_density, &share};
    const size_t from[] = {c.top,        c.bottom, c.texture[0], c.texture[1],
                           c.texture[2], c.bulk,   c.share};
    for (size_t k = 0; k < std::size(into); ++k)
        if (from[k] != c.none && !value_of(f[from[k]], *into[k]))
            return {t.at(r) + ": column " + quote_token(t.header[from[k]]) +
                    ": not a number: " + quote_token(f[from[k]])};
    if (std::isnan(l.top) || std::isnan(l.bottom) || !(l.bottom > l.top) || l.top < 0)
        return {t.at(r) + ": top_cm and bottom_cm must be depths with the bottom below the top"};
    for (size_t k = 0; k < 3; ++k) {
        double &v = *into[2 + k];
        v *= c.scale;
        if (v < 0 || v > 100)
            return {t.at(r) + ": column " + quote_token(t.header[from[2 + k]]) + ": " +
                    quote_token(f[from[2 + k]]) +
                    (c.scale == 1 ? " is outside 0 to 100 %" : " is outside 0 to 1")};
    }
    if (l.bulk_density < 0)
        return {t.at(r) + ": column \"bulk_density\": " + quote_token(f[c.bulk]) + " is below 0"};
    if (c.share != c.none && !(share >= 0 && share <= 100))
        return {t.at(r) + ": column \"share\": " + quote_token(f[c.share]) +
                " is not a share from 0 to 100 %"};
    return {};
}

// A site's rows into its profiles: a row whose top lies above the bottom
// of the row before starts the next profile (with a share column), or is
// an overlap (without); or what is wrong.
failure add_horizon(const csv_table &t, size_t r, const horizon_columns &c, site_soil &site) {
    soil_layer l;
    double share = 100;
    if (failure f = horizon_of(t, r, c, l, share); f.failed())
        return f;
    const bool starts_over =
        site.profiles.empty() || l.top < site.profiles.back().layers.back().bottom;
    if (starts_over && !site.profiles.empty() && c.share == c.none)
        return {t.at(r) + ": this horizon overlaps the one above it (give a share column for "
                          "profiles of several components)"};
    if (starts_over) {
        site.profiles.emplace_back();
        site.profiles.back().share = share;
    } else if (!(share == site.profiles.back().share)) {
        return {t.at(r) + ": its share differs from the share of the horizons above it"};
    }
    site.profiles.back().layers.push_back(l);
    return {};
}

} // namespace

failure read_horizons(const std::string &path, const soil_reading &, soil_read &read) {
    csv_table t;
    if (failure f = read_csv_table(path, t); f.failed())
        return f;
    horizon_columns c;
    if (failure f = find_columns(t, c); f.failed())
        return f;
    std::vector<site_soil> sites;
    std::map<std::string, size_t> index;
    std::map<std::string, failure> failed;
    for (size_t r = 0; r < t.rows.size(); ++r) {
        const std::string &name = t.rows[r][c.name];
        if (!site_list_can_name(name))
            return {t.at(r) + ": the name " + quote_token(name) +
                    " holds white space or a control character, which no site list can name"};
        auto [at, fresh] = index.try_emplace(name, sites.size());
        if (fresh) {
            sites.emplace_back();
            sites.back().name = name;
            sites.back().where = input_name(path);
        }
        if (failed.count(name) == 0)
            if (failure f = add_horizon(t, r, c, sites[at->second]); f.failed())
                failed[name] = {shown_name(name) + ": " + f.message};
    }
    for (site_soil &s : sites) {
        if (const auto f = failed.find(s.name); f != failed.end())
            read.failures.push_back(f->second);
        else
            read.sites.push_back(std::move(s));
    }
    return {};
}

} // namespace import
