// What the netCDF files of an import hold: for each quantity (Tmax, Tmin,
// precipitation) its variable in every file that has it, in time order,
// with its grid, its time steps as real days, how its values decode
// (packing, fill values, valid range, units) and how a day's value is
// taken (daily values, or each UTC day's maximum, minimum or sum).
#pragma once

#include "accumulation.h"
#include "cf_time.h"
#include "cf_units.h"
#include "convert.h"
#include "decoding.h"
#include "failure.h"
#include "grid_cells.h"
#include "nc_file.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace import::netcdf {

// A step whose date the real calendar lacks (all_leap's February 29 of a
// common year): read, and left out.
inline constexpr long long no_day = std::numeric_limits<long long>::min();

// Where a variable's dimensions are among its own: time, the grid's rows
// and columns (-1: none); any other has one value.
struct axes {
    int time = -1, row = -1, col = -1;
    size_t rank = 0;
};

// A grid's coordinates: latitudes by row and longitudes by column, or
// both for every cell (a projected grid, or the one row of a station
// file's stations).
struct coordinates {
    bool two_dimensional = false;
    bool stations = false; // a station file's: a row of stations, and their names
    size_t rows = 0, cols = 0;
    std::vector<double> lat, lon;
    std::vector<std::string> names;
    bool operator==(const coordinates &) const = default;
};

// A variable as one file holds it.
struct part {
    size_t file = 0; // the input it is in
    nc::variable var;
    axes dims;
    decoding values;
    std::string units, cell_methods;
    std::vector<std::string> time_names; // its time's dimension, coordinate, standard name
    std::string step_type;               // GRIB_stepType, as GRIB's converters write it ("accum")
    cf::calendar_kind calendar = cf::calendar_kind::standard;
    std::vector<cf::moment> steps; // each step's time, the middle of its bounds when given
    std::vector<long long> day;    // each step's real day, or no_day
    double bounds_seconds = 0;     // the width of a step's bounds; 0 without bounds
    // Bounds that all start at 00 UTC, of values accumulated since then:
    // each step is at the end of its bounds.
    bool accumulated_since_midnight = false;
    cf::temperature_unit temperature;
    cf::precipitation_unit precipitation;
    double metres = 1; // an elevation's unit
};

// How a quantity's day is taken from its steps: the day's last is its
// value accumulated since 00 UTC.
enum class daily_value { as_given, maximum, minimum, sum, last };

// One quantity over the files.
struct series {
    std::string variable;
    std::vector<part> parts; // in time order
    daily_value take = daily_value::as_given;
    double step_seconds = 86400;
    int steps_a_day = 1;
    bool step_ends = false; // each step's time is the end of the period it holds
    std::string how;        // what the import says of it
};

struct source_request {
    std::vector<std::string> files;
    std::string variable[quantities];                // Tmax, Tmin, precipitation
    std::string elevation;                           // empty: none
    bool daily = false;                              // --daily: sub-daily steps taken to days
    accumulation accumulated = accumulation::unsaid; // --accumulation
    std::string mask;                                // --mask; empty: none
};

struct sources {
    series of[quantities];
    coordinates coords;
    geo::grid_cells grid;
    bool has_elevation = false;
    part elevation;
    bool has_mask = false;
    part mask; // where it is missing or 0, a cell has no data
};

// Reads what the files hold (each opened, described and closed); or what
// is wrong, naming the file and the variable.
failure inspect(const source_request &request, sources &found);

// The first and last real day with a step of any quantity.
void day_span(const sources &found, long long &first, long long &last);

// One variable of a file described through the CF conventions
// (variables.cpp), for the inspection of what the files hold.

// The options that name each quantity's variable: "--tmax", "--tmin", "--prcp".
extern const char *const option_of[quantities];

// Describes the variable of name in f into p, with its grid (found false,
// and no failure, when f has no such variable); or what failed.
failure describe(const nc::file &f, const std::string &name, bool timed, part &p, coordinates &grid,
                 bool &found);

// The units of a part, as its quantity needs them.
failure read_units(const nc::file &f, int q, part &p);

} // namespace import::netcdf
