// The cells of a grid where they lie on the Earth, and the cell nearest a
// site by great-circle distance: on a grid of latitudes and longitudes (the
// CF coordinate variables of one dimension each), or on a projected grid
// that gives each cell's latitude and longitude (two-dimensional auxiliary
// coordinates).
#pragma once

#include "failure.h"
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace import::geo {

// A place, in degrees north and east.
struct point {
    double lat = 0, lon = 0;
};

// The mean radius of the Earth, the sphere distances are measured on.
inline constexpr double earth_radius_km = 6371.0;

// The great-circle distance between two places (haversine).
double distance_km(const point &a, const point &b);

inline constexpr size_t no_cell = SIZE_MAX;

class grid_cells {
  public:
    // Latitudes by row and longitudes by column, each strictly monotonic
    // (either way; longitudes 0 to 360 or -180 to 180); or why not.
    static failure rectilinear(std::vector<double> lat, std::vector<double> lon, grid_cells &grid);
    // A latitude and a longitude for each cell, row by row.
    static grid_cells curvilinear(std::vector<double> lat, std::vector<double> lon, size_t rows,
                                  size_t cols);

    size_t rows() const { return rows_; }
    size_t cols() const { return cols_; }
    size_t cells() const { return rows_ * cols_; }
    point at(size_t cell) const;

    // The cell nearest p.
    size_t nearest(const point &p) const;
    // The cell nearest p among those with data (has_data[cell] != 0)
    // within max_km of it; no_cell when there is none.
    size_t nearest_with_data(const point &p, double max_km,
                             const std::vector<uint8_t> &has_data) const;
    // The width of a cell: its greatest distance to a neighbouring cell
    // along a row or a column; 0 for a grid of one cell.
    double width_km(size_t cell) const;

  private:
    size_t nearest_rectilinear(const point &p) const;
    size_t search_tree(const point &p, double max_km, const std::vector<uint8_t> *has_data) const;
    void build_tree(size_t begin, size_t end, int depth);

    size_t rows_ = 0, cols_ = 0;
    bool two_dimensional_ = false;
    std::vector<double> lat_, lon_; // by row and column, or by cell
    bool global_ = false;           // longitudes all around the Earth (rectilinear)
    // Two-dimensional: the cells as points of the unit sphere, in a k-d tree
    // (the median of each range at its middle, axes in turn).
    std::vector<uint32_t> tree_;
    std::vector<double> xyz_;
};

} // namespace import::geo
