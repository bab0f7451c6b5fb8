// GHCN-Daily's list of stations, ghcnd-stations.txt: where each station is
// (fixed columns: ID 1-11, latitude 13-20, longitude 22-30, elevation in
// metres 32-37, -999.9 when unknown). The ghcn format places its stations
// from it; the stations command chooses among them.
#pragma once

#include "failure.h"

#include <map>
#include <string>

namespace import {

// Where a GHCN station is, as the file gives it (elevation empty when
// unknown), and the line that says so.
struct station_place {
    std::string latitude, longitude, elevation;
    long line = 0;
};
using station_places = std::map<std::string, station_place>;

// Reads ghcnd-stations.txt; or what failed, naming the file and the line.
failure read_station_places(const std::string &path, station_places &places);

} // namespace import
