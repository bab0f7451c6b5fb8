// The one pass over the files: a window of days at a time, each file's
// steps of the window read in slabs that cover the rows of the sites'
// cells, every site's day taken from them, and the window's values kept in
// an unnamed scratch file; then the values read back a group of sites at a
// time, for their daily files. Memory holds a window and a slab, never a
// site's whole series: it does not grow with the number of days.
#pragma once

#include "failure.h"
#include "fd.h"
#include "sources.h"

#include <cstdint>
#include <string>
#include <vector>

namespace import::netcdf {

// The most memory each of the pass's buffers takes: the window's values,
// a slab of a file, a group of sites read back.
inline constexpr size_t buffer_budget = size_t{64} << 20;

// The cells with data (has_data[cell] != 0): where the mask variable is
// neither missing nor 0, or without one where every quantity has a value
// at its first step; or what failed.
failure cells_with_data(const sources &found, const std::vector<std::string> &files,
                        std::vector<uint8_t> &has_data);

// The elevation of each cell, in metres (NaN where it is missing); or
// what failed.
failure elevations(const sources &found, const std::vector<std::string> &files,
                   const std::vector<size_t> &cells, std::vector<double> &metres);

class daily_values {
  public:
    // The sites' cells, and the real days written (from first_day).
    daily_values(const sources &found, const std::vector<std::string> &files,
                 std::vector<size_t> cells, long long first_day, size_t days);

    // Reads the files into a scratch file in dir; or what failed.
    failure fill(const std::string &dir);

    // The days with a value of a quantity at a site.
    long valid(size_t site, int q) const {
        return valid_[site * quantities + static_cast<size_t>(q)];
    }

    // How many sites a group holds; a group's values, [site][day][quantity],
    // NaN where missing.
    size_t group_size() const;
    failure read_group(size_t first, size_t count, std::vector<float> &values) const;

  private:
    // Rows of the grid read together, and the sites whose cells are in them
    // (their rows and columns counted from the band's first).
    struct band {
        size_t row0 = 0, rows = 0, col0 = 0, cols = 0;
        struct member {
            size_t site, row, col;
        };
        std::vector<member> sites;
    };
    // Days [first, first + days), counted from the first day written.
    struct window {
        size_t first = 0, days = 0;
    };
    failure read_window(const window &w, std::vector<nc::file> &opened);
    failure read_steps(const window &w, int q, const part &p, nc::file &f, size_t from, size_t to);
    void finish_window(const window &w, std::vector<float> &out);

    const sources &found_;
    const std::vector<std::string> &files_;
    std::vector<size_t> cells_;
    long long first_day_;
    size_t days_, window_days_;
    std::vector<band> bands_;
    std::vector<double> stage_[quantities];
    std::vector<uint16_t> count_[quantities];
    size_t next_part_[quantities] = {0, 0, 0}, next_step_[quantities] = {0, 0, 0};
    std::vector<long> valid_;
    std::vector<unsigned char> slab_; // the values of a slab of a file
    os::fd scratch_;
};

} // namespace import::netcdf
