// How a variable's stored values become numbers, as the netCDF
// conventions and CF define it: _FillValue (or the type's default fill),
// missing_value and valid_min/valid_max/valid_range, each taken in the
// variable's own type, _Unsigned, and scale_factor/add_offset of either
// type.
#pragma once

#include "failure.h"
#include "nc_file.h"

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace import::netcdf {

// How a stored value becomes a number: missing when it is not a number,
// equals a fill or missing value or lies outside the valid range (each
// compared with the stored value, in its own type); else value * scale +
// offset, in float where the packing attributes are floats.
struct decoding {
    nc::loader load = nullptr; // of the values' own type (unsigned under _Unsigned)
    size_t size = 0;           // of a stored value, in bytes
    std::vector<double> missing;
    double valid_min = -std::numeric_limits<double>::infinity();
    double valid_max = std::numeric_limits<double>::infinity();
    double scale = 1, offset = 0;
    bool unpacked_in_float = false;
    // Precipitation: a packed value below zero by no more than a step of
    // the packing is zero (an integer with an offset seldom holds zero
    // exactly, and a day of no rain must not read as an impossible one).
    bool zero_within_a_step = false;

    // The number at index of stored values; false when it is missing.
    bool number(const unsigned char *values, size_t index, double &v) const;
};

// "FILE: variable "VAR" what".
std::string of_variable(const nc::file &f, const std::string &var, const std::string &what);

// How the values of v decode, from its attributes; or what failed.
failure read_decoding(const nc::file &f, const nc::variable &v, decoding &d);

} // namespace import::netcdf
