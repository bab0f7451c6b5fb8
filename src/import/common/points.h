// The places a command is given: a CSV table whose header names a name, a
// latitude and a longitude (any case, any order, other columns kept), or
// a site list (NAME LATITUDE LONGITUDE first, white space between). One
// reader for every command that takes places.
#pragma once

#include "csv_table.h"
#include "failure.h"

#include <string>
#include <vector>

namespace import {

struct points {
    // The rows as a table: a CSV table's own header and fields; a site
    // list's name, latitude and longitude, under the header
    // name,latitude,longitude.
    csv_table table;
    size_t name = 0, lat = 1, lon = 2;  // the columns of the place
    size_t elevation = csv_table::none; // a table's elevation_m column, if it has one
    bool site_list = false;
    std::vector<std::string> listed_elevation; // a site list's field 10 ("": none)

    // Whether the file held no line at all.
    bool empty() const { return table.header.empty(); }
    const std::string &name_of(size_t row) const { return table.rows[row][name]; }
    const std::string &lat_of(size_t row) const { return table.rows[row][lat]; }
    const std::string &lon_of(size_t row) const { return table.rows[row][lon]; }
    // The row's elevation in metres as given; empty when it has none.
    std::string elevation_of(size_t row) const;
};

// Reads the places: a table when the first line names the columns name,
// lat or latitude, and lon, long or longitude; else a site list, unless
// that line holds a comma and fewer than three words (a table's header
// without those columns); nothing from an empty file; or what is wrong,
// naming the file and the line.
failure read_points(const std::string &path, points &p);

// What is wrong with a place given as text (empty: nothing): a latitude
// from -90 to 90, a longitude from -180 to 360 (0 to 360 as some grids
// give it) and an elevation (empty or NA: unknown), each a decimal number
// that siteprep reads.
std::string place_fault(const std::string &lat, const std::string &lon,
                        const std::string &elevation);

// A place of a --plan table: its name and coordinates as given.
struct plan_point {
    std::string name, latitude, longitude;
};

// The places of a --plan table (a stations table or a site list serves),
// each with a name a site list can hold and a latitude and longitude that
// are plain numbers within -90 to 90 and -180 to 180; with keep_going, a
// row without such a place is left out and listed in left_out; or what is
// wrong.
failure read_plan_points(const std::string &path, bool keep_going, std::vector<plan_point> &places,
                         std::vector<failure> &left_out);

} // namespace import
