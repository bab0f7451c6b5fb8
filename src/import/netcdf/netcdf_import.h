// The import of gridded daily weather from netCDF files: a daily file for
// each site of a site list or stations table, from the grid cell nearest
// it, every file read once for all sites.
#pragma once

#include "accumulation.h"
#include "convert.h"

#include <string>
#include <vector>

namespace import {

struct netcdf_request {
    std::vector<std::string> inputs;  // the netCDF files
    std::string sites;                // --sites
    std::string variable[quantities]; // --tmax, --tmin, --prcp
    std::string elevation;            // --elevation; empty: none
    std::string mask;                 // --mask; empty: none
    double max_distance_km = 0;       // --max-distance; 0: one and a half cell widths
    bool daily = false;               // --daily: sub-daily values to UTC days
    accumulation accumulated = accumulation::unsaid; // --accumulation
    std::string output_dir = ".";
    std::string stations; // --stations; empty: none
    bool force = false, keep_going = false;
    int first_year = 0, last_year = 0; // --years; 0: the files' own
};

// Runs the import: 0 when every site got its daily file, 1 otherwise.
int run_netcdf_import(const netcdf_request &request);

} // namespace import
