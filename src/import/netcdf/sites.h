// The sites a netCDF import writes daily files for: a site list (name,
// latitude and longitude first, white space between), or a table of
// places (CSV with name, lat and lon columns: common/points).
#pragma once

#include "failure.h"
#include "grid_cells.h"

#include <string>
#include <vector>

namespace import::netcdf {

struct site {
    std::string name;
    geo::point at;
    long line = 0;                   // of the --sites file
    std::string latitude, longitude; // as the file gives them
};

// Reads the sites; or what is wrong, naming the line.
failure read_sites(const std::string &path, std::vector<site> &sites);

} // namespace import::netcdf
