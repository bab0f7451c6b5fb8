// The --report page's charts: a grid of small climographs, one a site,
// drawn by the page's script from the record each site has in the page,
// on the batch's scales (written once the batch is done) or on the
// site's own.
// Included by the outputs' own files only.
#pragma once

#include "outputs.h"

#include <string>

// What the page shows of a site, its number-th, as data for the page's
// script: its name, its chart's numbers and its own scales, its strip of
// months, its messages. Its ranges widen the batch's.
std::string site_record(const site_outcome &s, size_t number, chart_extent &batch);

// What comes before the sites' records: the charts' key, the batch's
// scales and the control for each site's own, and the grid the script
// fills a page at a time.
std::string html_grid_head(const batch_outputs &o);

// The batch's scales as data and the script that shows the sites.
std::string html_grid_tail(const batch_outputs &o);
