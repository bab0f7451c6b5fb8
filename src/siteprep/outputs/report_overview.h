// The --report page's overview: a table of each site's numbers, sortable
// in the page, and a map of the sites coloured by a column, the flagged
// ones marked; the rows streamed as the sites are done, the map drawn
// from their points once the batch is.
#pragma once

#include "fd.h"
#include "report_map.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

// The overview's rows shown at first: a browser lays out a table of 10,000
// rows in seconds, of 500 at once; the script's pager shows more.
inline constexpr size_t overview_page_rows = 500;

struct site_outcome;
struct batch_outputs;

// The numeric columns a map can be coloured by, each its key and its
// header: annual precipitation first, the map's own.
std::vector<std::pair<const char *, const char *>> map_columns(bool check);

// The overview table's opening, its header row and the page's notes of it.
std::string overview_head(const batch_outputs &o);

// A site's row of the overview, after the class that orders it (sites with
// problems first, then those with warnings, then the list's order) and its
// number, as the rows' stream holds it; and its point noted for the map.
std::string html_row(const site_outcome &s, size_t number, const batch_outputs &o);
void note_point(overview_state &overview, const site_outcome &s, size_t number);

// The overview's rows from their stream, in their classes' order, with the
// neighbour comparison's cause of each flagged site; the sites that
// disagree with their neighbours; the map; and the script that sorts the
// table and colours the map. 0 or the errno of a failure to read them back.
int write_overview(batch_outputs &o, os::out_stream &to);
