// Small CF files for the netCDF import's tests, made at test time from CDL
// text with ncgen: the usual grid, its site x, and the daily file expected
// of given days.
#pragma once

#include "data.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

// Whether this build reads netCDF files and ncgen is there to make them.
bool grids_can_be_made();

#define NEEDS_GRIDS()                                                                              \
    if (!grids_can_be_made())                                                                      \
    GTEST_SKIP() << "needs siteprep-import built with the netCDF library, and ncgen (netcdf-bin)"

// A CDL text from its three sections.
std::string cdl(const std::string &dims, const std::string &vars, const std::string &data);

// The usual grid: latitudes 40 and 41, longitudes 250 to 252 (0 to 360),
// days from 2001-01-01.
extern const char grid_dims[];
extern const char grid_latlon[];
extern const std::string grid_coords;
extern const char grid_data[];

// A variable on the usual grid, of a type and units, with more attributes.
std::string on_grid(const std::string &type, const std::string &name, const std::string &units,
                    const std::string &more = "");

// The site x, nearest the cell at latitude 40, longitude 250 (-110).
extern const char site_x[];

using named_files = std::vector<std::pair<std::string, std::string>>; // name, CDL

// Writes each CDL text and makes its netCDF file with ncgen.
void make_files(const scratch_dir &dir, const named_files &files);

// The files made and site x listed (at site_x, or where given): the command
// line that imports them into out/ with the options given.
std::vector<std::string> prepared(const scratch_dir &dir, const named_files &files,
                                  const std::vector<std::string> &options,
                                  const char *site = site_x);

std::string date_key(int year, int month, int day);

// The daily file of whole years whose days are all missing but those given.
std::string expected(int first_year, int years, const std::map<std::string, std::string> &days,
                     bool leap_days = true);

// A CF timeSeries file (CF's orthogonal layout) of three stations at (40,
// -110), (45, -100) and (40.2, -109.8), named as given (CDL), their
// variables on the stations and time in the order of dims.
std::string station_file(const std::string &dims, const std::string &names);
