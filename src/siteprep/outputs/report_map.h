// The --report page's map of the sites, and the page's script that sorts
// the overview and colours the map by a column.
#pragma once

#include "station_sources.h"

#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A site's point on the map.
struct map_point {
    size_t number = 0; // among the sites added, from 1
    double latitude = 0, longitude = 0;
    double precipitation = NAN; // its annual total, cm
    bool bad = false;           // it has problems
    std::string name;
};

// What the overview keeps of the batch: the sources of the daily files
// and the sites' points.
struct overview_state {
    station_sources sources;
    std::vector<map_point> points;
};

// The columns the map can be coloured by, each its key and its header.
using map_column_list = std::vector<std::pair<const char *, const char *>>;

// The sites' points on a longitude-latitude plot in SVG, coloured by their
// annual precipitation, ringed where the neighbour comparison flagged them
// (flagged: their warnings by number), crossed where they have problems;
// each names its site when hovered; its key offers the columns given.
std::string overview_map(const overview_state &overview,
                         const std::map<size_t, const std::string *> &flagged,
                         const map_column_list &columns);

// CSS of the overview and the map, for the page's head.
extern const char overview_style[];

// The script, self-contained: no outside file, no network.
extern const char overview_script[];
