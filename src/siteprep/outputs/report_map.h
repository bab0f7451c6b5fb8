// The --report page's map of the sites, and the page's script that sorts
// the overview and colours the map by a column.
#pragma once

#include "report_overview.h"

#include <map>
#include <string>

// The sites' points on a longitude-latitude plot in SVG, coloured by their
// annual precipitation, ringed where the neighbour comparison flagged them
// (flagged: their warnings by number), crossed where they have problems;
// each names its site when hovered.
std::string overview_map(const overview_state &overview,
                         const std::map<size_t, const std::string *> &flagged, bool check);

// CSS of the overview and the map, for the page's head.
extern const char overview_style[];

// The script, self-contained: no outside file, no network.
extern const char overview_script[];
