// A site's soil row: the layer-count code chosen, the texture averaged
// down to its depth, thickness-weighted within a profile and share-weighted
// among the profiles.
#include "create_soil.h"
#include "csv.h"
#include "csv_table.h"
#include "shown.h"
#include "soil/soil.h"

#include <algorithm>
#include <cmath>

namespace import {

namespace {

// The sums of one profile over 0 to a depth: each value times the
// thickness of its layer within that depth, and those thicknesses (layers
// without the value are left out of both).
struct profile_sums {
    double texture = 0, sand = 0, silt = 0, clay = 0;
    double bulk = 0, bulk_density = 0;
    double pass = 0, pass_through = 0;
    double top = HUGE_VAL, bottom = -HUGE_VAL; // where the texture is
};

double within(const soil_layer &l, double depth) {
    return std::max(0.0, std::min(l.bottom, depth) - std::max(l.top, 0.0));
}

bool has(double v) {
    return !std::isnan(v);
}

profile_sums sums_of(const soil_profile &p, double depth) {
    profile_sums s;
    for (const soil_layer &l : p.layers) {
        const double t = within(l, depth);
        if (t <= 0)
            continue;
        if (has(l.sand) && has(l.silt) && has(l.clay)) {
            s.texture += t;
            s.sand += l.sand * t;
            s.silt += l.silt * t;
            s.clay += l.clay * t;
            s.top = std::min(s.top, std::max(l.top, 0.0));
            s.bottom = std::max(s.bottom, std::min(l.bottom, depth));
        }
        if (has(l.bulk_density)) {
            s.bulk += t;
            s.bulk_density += l.bulk_density * t;
        }
        if (has(l.pass_through)) {
            s.pass += t;
            s.pass_through += l.pass_through * t;
        }
    }
    return s;
}

// A share-weighted mean of the profiles' means, over those with the value.
struct share_mean {
    double weight = 0, sum = 0;
    void add(double share, double thickness, double value_sum) {
        if (thickness > 0 && share > 0) {
            weight += share;
            sum += share * (value_sum / thickness);
        }
    }
    double value() const { return weight > 0 ? sum / weight : no_value; }
};

// The profile with the largest share: the map unit's dominant component.
const soil_profile *dominant(const site_soil &soil) {
    const soil_profile *d = nullptr;
    for (const soil_profile &p : soil.profiles)
        if (d == nullptr || p.share > d->share)
            d = &p;
    return d;
}

// The code by the rule, and what the source column says of it; or why
// there is none.
failure choose_code(const site_soil &soil, const code_rule &rule, soil_row &row) {
    if (rule.given > 0) {
        row.layer_code = rule.given;
        row.source += "; layer code given";
        return {};
    }
    const soil_profile *d = dominant(soil);
    if (d != nullptr && has(d->restriction)) {
        row.layer_code = code_above_restriction(d->restriction);
        row.source += format_message("; layer code from a restriction at %g cm", d->restriction);
        if (d->restriction < static_cast<double>(soil_depth_of_code(1)))
            row.notes.push_back(format_message(
                "%s: a restriction at %g cm, above the %g cm of layer code 1: code 1 is used",
                shown_name(soil.name).c_str(), d->restriction,
                static_cast<double>(soil_depth_of_code(1))));
        return {};
    }
    if (rule.fallback > 0) {
        row.layer_code = rule.fallback;
        row.source += "; default layer code";
        return {};
    }
    return {shown_name(soil.name) +
            ": no restriction depth to choose a layer code from: give --default-layer-code N"};
}

} // namespace

int code_above_restriction(double depth) {
    int code = 1;
    for (int c = 2; c <= 9; ++c)
        if (static_cast<double>(soil_depth_of_code(c)) <= depth)
            code = c;
    return code;
}

failure soil_row_of(const site_soil &soil, const code_rule &rule, double pass_through_value,
                    const std::string &source, soil_row &row) {
    row = soil_row();
    row.name = soil.name;
    row.source = source;
    if (failure f = choose_code(soil, rule, row); f.failed())
        return f;
    const double depth = static_cast<double>(soil_depth_of_code(row.layer_code));
    share_mean sand, silt, clay, covered, bulk, pass;
    row.top = HUGE_VAL;
    row.bottom = -HUGE_VAL;
    for (const soil_profile &p : soil.profiles) {
        const profile_sums s = sums_of(p, depth);
        sand.add(p.share, s.texture, s.sand);
        silt.add(p.share, s.texture, s.silt);
        clay.add(p.share, s.texture, s.clay);
        covered.add(p.share, s.texture, s.texture * s.texture / depth);
        bulk.add(p.share, s.bulk, s.bulk_density);
        pass.add(p.share, s.pass, s.pass_through);
        if (s.texture > 0 && p.share > 0) {
            row.top = std::min(row.top, s.top);
            row.bottom = std::max(row.bottom, s.bottom);
        }
    }
    const std::string shown = shown_name(soil.name);
    if (sand.weight <= 0)
        return {format_message("%s: no sand, silt and clay within 0 to %g cm (%s)", shown.c_str(),
                               depth, soil.where.c_str())};
    const double sum = sand.value() + silt.value() + clay.value();
    row.texture_sum = sum;
    row.coverage = covered.value();
    if (!(sum >= 95 && sum <= 105))
        row.notes.push_back(format_message(
            "%s: sand, silt and clay sum to %.2f %%, outside 95 to 105 %%: normalised all the same",
            shown.c_str(), sum));
    row.sand = static_cast<float>(sand.value() / sum);
    row.silt = static_cast<float>(silt.value() / sum);
    row.clay = static_cast<float>(clay.value() / sum);
    row.has_bulk_density = bulk.weight > 0;
    if (row.has_bulk_density)
        row.bulk_density = static_cast<float>(bulk.value());
    else
        row.notes.push_back(format_message("%s: no bulk density within 0 to %g cm: written NA",
                                           shown.c_str(), depth));
    if (has(pass_through_value)) {
        row.pass_through = static_cast<float>(pass_through_value);
    } else if (pass.weight > 0) {
        row.pass_through = static_cast<float>(pass.value());
    } else {
        return {format_message("%s: no value of the --pass-through-from property within 0 to %g cm",
                               shown.c_str(), depth)};
    }
    return {};
}

std::string soils_header() {
    return "name,sand,silt,clay,bulk_density,layer_code,top_cm,bottom_cm,coverage,texture_sum,"
           "pass_through,source\r\n";
}

std::string soils_line(const soil_row &row) {
    return csv_field(row.name) + "," + float_text(row.sand) + "," + float_text(row.silt) + "," +
           float_text(row.clay) + "," +
           (row.has_bulk_density ? float_text(row.bulk_density) : std::string("NA")) + "," +
           std::to_string(row.layer_code) + "," +
           format_message("%g,%g,%.3f,%.2f", row.top, row.bottom, row.coverage, row.texture_sum) +
           "," + float_text(row.pass_through) + "," + csv_field(row.source) + "\r\n";
}

} // namespace import
