// One variable of a netCDF file described through the CF conventions, for
// the inspection of what the files hold (sources.cpp).
#pragma once

#include "failure.h"
#include "sources.h"

#include <string>

namespace import::netcdf {

// The options that name each quantity's variable: "--tmax", "--tmin", "--prcp".
extern const char *const option_of[quantities];

// "FILE: variable "VAR" what".
std::string of_variable(const nc::file &f, const std::string &var, const std::string &what);

// Describes the variable of name in f into p, with its grid (found false,
// and no failure, when f has no such variable); or what failed.
failure describe(const nc::file &f, const std::string &name, bool timed, part &p, coordinates &grid,
                 bool &found);

// The units of a part, as its quantity needs them.
failure read_units(const nc::file &f, int q, part &p);

} // namespace import::netcdf
