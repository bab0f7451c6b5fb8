// The sites a netCDF import writes daily files for: a site list (name,
// latitude and longitude first, white space between), or a stations table
// (CSV with name, latitude and longitude columns).
#pragma once

#include "failure.h"
#include "grid_cells.h"

#include <string>
#include <vector>

namespace import::netcdf {

struct site {
    std::string name;
    geo::point at;
    long line = 0; // of the --sites file
};

// Reads the sites; or what is wrong, naming the line.
failure read_sites(const std::string &path, std::vector<site> &sites);

} // namespace import::netcdf
