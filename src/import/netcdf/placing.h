// Each site on the cell its values come from: the cell nearest it, or
// the nearest with data when the files say its own has none (a mask
// variable, or no value of a quantity over the whole period), or a
// station of a station file, by name or by place.
#pragma once

#include "failure.h"
#include "sites.h"
#include "sources.h"

#include <string>
#include <vector>

namespace import::netcdf {

// "site "NAME" (FILE line N)".
std::string site_named(const std::string &sites_path, const site &s);

// A site's cell, and for a cell without a value at the first step (a sea
// cell, or a first day missing) the nearest cell with one too: the pass
// reads both, and the period's values tell which is taken.
struct placement {
    size_t site = 0;
    size_t cell = geo::no_cell; // its own, until decided
    double km = 0;
    size_t other = geo::no_cell; // the nearest with data at the first step
    double other_km = 0;
    bool undecided = false;
    std::string if_none; // why it fails when its cell has no data and there is no other
};

struct placing_request {
    const std::vector<site> &sites;
    const std::string &sites_path;
    double max_distance_km = 0; // 0: one and a half cell widths
};

// The sites' placements, in the sites' order; a site without a cell
// failed (its failure in failed); or what failed reading the files.
failure place_sites(const sources &found, const std::vector<std::string> &files,
                    const placing_request &r, std::vector<placement> &placed,
                    std::vector<failure> &failed);

// The cell an undecided site takes once the pass has counted its values:
// its own when it has a value of every quantity (own_has_data), else the
// other, said on standard output; false, and why in failed, when there is
// none.
bool decide_cell(const placing_request &r, placement &p, bool own_has_data,
                 std::vector<failure> &failed);

} // namespace import::netcdf
