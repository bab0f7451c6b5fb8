// A site's soil as the sources give it (the layers of one or more
// profiles, each with its share of the site), and its row of the soils
// table: the texture averaged down to the depth of its layer-count code.
#pragma once

#include "failure.h"
#include <limits>
#include <string>
#include <vector>

namespace import {

inline constexpr double no_value = std::numeric_limits<double>::quiet_NaN();

// One layer of a profile: its top and bottom in cm, its values as the
// source gives them converted (texture in percent, bulk density in g/cm3),
// no_value where the source has none.
struct soil_layer {
    double top = 0, bottom = 0;
    double sand = no_value, silt = no_value, clay = no_value;
    double bulk_density = no_value;
    double pass_through = no_value; // --pass-through-from
};

// A profile and its share of the site (a map unit's component, in
// percent); its depth to a restrictive layer in cm where known.
struct soil_profile {
    std::vector<soil_layer> layers;
    double share = 100;
    double restriction = no_value;
};

// A site's soil as read: its profiles, and where it was read, as messages
// name it.
struct site_soil {
    std::string name;
    std::string where;
    std::vector<soil_profile> profiles;
};

// How the layer-count code is chosen: given for every site (--layer-code),
// else from a restriction depth, else the default (--default-layer-code);
// 0: none.
struct code_rule {
    int given = 0, fallback = 0;
};

// A site's row of the soils table, or why there is none.
struct soil_row {
    std::string name;
    float sand = 0, silt = 0, clay = 0; // fractions, normalised
    float bulk_density = 0;
    bool has_bulk_density = false;
    int layer_code = 0;
    double top = 0, bottom = 0;     // the depths with texture data, within the code's depth
    double coverage = 0;            // the share of 0 to the code's depth with texture data
    double texture_sum = 0;         // sand + silt + clay in percent, before normalising
    float pass_through = 0;         // --pass-through, or the property's mean
    std::string source;             // where the texture and the code come from
    std::vector<std::string> notes; // warnings, each naming the site
};

// The row of a site: the code chosen by rule, the texture, bulk density
// and pass-through property averaged over 0 to the code's depth (each
// layer by the thickness it has there with data, the profiles by their
// shares among those with data); pass_through_value is --pass-through
// (no_value: the property is averaged); or why the site has no row (no
// texture at all, no code), naming the site.
failure soil_row_of(const site_soil &soil, const code_rule &rule, double pass_through_value,
                    const std::string &source, soil_row &row);

// The largest layer-count code whose soil depth is not below a restriction
// at that depth in cm; 1 for a restriction shallower than code 1's depth.
int code_above_restriction(double depth);

// The soils table's header, and a row's line (CR LF, as the stations table).
std::string soils_header();
std::string soils_line(const soil_row &row);

} // namespace import
