// Elevations from digital elevation models in degrees of longitude and
// latitude: SRTM or Copernicus .hgt tiles and ESRI ASCII grids. A point's
// elevation is bilinear between the four samples around it, or the
// nearest valid sample where one of them is void.
#pragma once

#include "failure.h"

#include <string>
#include <vector>

namespace import {

class dem {
  public:
    // Opens a DEM by its name and header: a tile named by its south-west
    // corner (N47W123.hgt) holding n x n big-endian 16-bit samples, rows
    // north to south (1201 or 3601; any n from 2 is read alike), else an
    // ESRI ASCII grid; its values are read by load. Or why not.
    failure open_path(const std::string &path);
    // Whether a point lies in its area (edges included).
    bool covers(double latitude, double longitude) const;
    // Reads its samples (or why not), and lets them go again.
    failure load();
    void unload();
    // The elevation of a point it covers; false when no sample has a
    // value.
    bool elevation_at(double latitude, double longitude, double &elevation) const;
    const std::string &path() const { return path_; }

  private:
    failure open_tile(const std::string &name);
    failure open_grid();
    failure load_tile();
    failure load_grid();
    float sample(long row, long column) const;
    bool nearest_valid(double fx, double fy, double latitude, double &elevation) const;

    std::string path_;
    bool tile_ = false;
    long columns_ = 0, rows_ = 0;
    double x0_ = 0, y0_ = 0; // longitude of column 0's samples, latitude of row 0's
    double step_ = 0;        // degrees between samples
    double west_ = 0, east_ = 0, south_ = 0, north_ = 0;
    double nodata_ = -9999;
    std::vector<float> values_; // row by row, north first; NaN where void
};

} // namespace import
