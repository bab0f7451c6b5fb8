// The places a command is given: a CSV table whose header names a name, a
// latitude and a longitude (any case, any order, other columns kept), or
// a site list (NAME LATITUDE LONGITUDE first, white space between). One
// reader for every command that takes places.
#pragma once

#include "csv_table.h"
#include "failure.h"

#include <string>

namespace import {

struct points {
    // The rows as a table: a CSV table's own header and fields; a site
    // list's name, latitude and longitude, under the header
    // name,latitude,longitude.
    csv_table table;
    size_t name = 0, lat = 1, lon = 2; // the columns of the place
    bool site_list = false;

    // Whether the file held no line at all.
    bool empty() const { return table.header.empty(); }
    const std::string &name_of(size_t row) const { return table.rows[row][name]; }
    const std::string &lat_of(size_t row) const { return table.rows[row][lat]; }
    const std::string &lon_of(size_t row) const { return table.rows[row][lon]; }
};

// Reads the places: a table when the first line names the columns name,
// lat or latitude, and lon, long or longitude; else a site list, unless
// that line holds a comma and fewer than three words (a table's header
// without those columns); nothing from an empty file; or what is wrong,
// naming the file and the line.
failure read_points(const std::string &path, points &p);

} // namespace import
