// The readers of soil sources: SoilGrids' properties/query responses and
// Soil Data Access results (JSON, where the build has the JSON library),
// and horizon tables (CSV). Each makes the sites of one input.
#pragma once

#include "failure.h"
#include "soil/soil.h"

#include <map>
#include <string>
#include <vector>

namespace import {

// What the readers are told.
struct soil_reading {
    std::string quantile = "mean"; // soilgrids: the value read of each depth
    std::string pass_property;     // soilgrids: --pass-through-from; empty: none
    std::string name;              // --name, for a single soilgrids input
    // sda --points: the sites, each a name and its map unit key, in order;
    // empty: the result's own name column names them.
    std::vector<std::pair<std::string, std::string>> points;
};

// Whether the build reads JSON (the soilgrids and sda formats).
bool json_formats_built();

// What an input gave: its sites, and the failures of sites it names but
// cannot give, each naming the site.
struct soil_read {
    std::vector<site_soil> sites;
    std::vector<failure> failures;
};

// Each reads one input ("-": standard input) into read; or what is
// wrong with the input as a whole, naming the file (and the line, the
// layer or the column).
failure read_soilgrids(const std::string &path, const soil_reading &how, soil_read &read);
failure read_sda(const std::string &path, const soil_reading &how, soil_read &read);
failure read_horizons(const std::string &path, const soil_reading &how, soil_read &read);

// The whole text of an input ("-": standard input); or why not.
failure read_whole_input(const std::string &path, std::string &text);

} // namespace import
