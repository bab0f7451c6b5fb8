// The --report page's charts: a grid of small climographs, one a site,
// drawn by the page's script from the numbers each section carries, on the
// batch's scales (written once the batch is done) or on the site's own.
// Included by the outputs' own files only.
#pragma once

#include "outputs.h"

#include <string>

// A site's section of the page, its number-th: its name, the box its
// chart is drawn in with the chart's numbers, its strip of months, its
// messages. Its ranges widen the batch's.
std::string html_section(const site_outcome &s, size_t number, chart_extent &batch);

// What comes before the sections: the charts' key, the batch's scales and
// the control for each site's own, and the grid's start.
std::string html_grid_head(const batch_outputs &o);

// The grid's end, the batch's scales as data and the script that draws
// the charts as they come into view.
std::string html_grid_tail(const batch_outputs &o);
