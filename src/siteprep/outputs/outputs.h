// A batch at a glance: --summary (CSV) and --report (HTML), streamed as
// the sites are done, so that memory stays flat however long the list (but
// for the map's point of each site).
#pragma once

#include "fd.h"
#include "report.h"
#include "report_overview.h"
#include "site.h"
#include "site_list.h"
#include "wthr.h"

#include <cmath>
#include <string>
#include <vector>

// The batch's ranges so far, for the page's charts on shared scales: the
// highest precipitation mean with its deviation, the lowest and highest
// mean temperature (infinite: none yet).
struct chart_extent {
    double prec_top = 0, t_lo = INFINITY, t_hi = -INFINITY;
};

struct batch_outputs {
    std::string summary_path, report_path; // empty: not wanted
    std::string monthly_path;              // --monthly; empty: not wanted
    std::string list_name;
    // How the statistics are made: a rule or a period named adds columns to
    // the summary and a line to the page; nullptr: the defaults.
    const weather_options *weather = nullptr;
    std::string status; // how the run or check ended, for the page
    bool check = false; // audited: counts of warnings are known
    // Unnamed files beside the final names, filled as the sites are done,
    // each keeping its first write failure: the CSV, the overview's rows
    // and the sites' sections of the page, and --monthly's table.
    os::out_stream csv, rows, sections, monthly;
    size_t sites = 0; // sites added
    // The check's warnings of sites that disagree with their neighbours,
    // found once the batch is read: each with its site's number among those
    // added (from 1), listed on the page under the overview.
    std::vector<std::pair<size_t, std::string>> neighbour_warnings;
    overview_state overview; // the page's: the sources, the map's points
    chart_extent extent;     // of the sites added
};

// Opens the unnamed files; the failure when one cannot be.
failure open_outputs(batch_outputs &outputs);

// What the outputs show of a site: its statistics (nullptr: none, and
// no_stats says why), counts and messages.
struct site_outcome {
    const std::string *name = nullptr;
    long line = 0;                    // its line in the site list
    const site_line *place = nullptr; // its line's fields (nullptr: the line could not be used)
    const weather_stats *stats = nullptr;
    const site_weather *weather = nullptr; // what else was made with them
    const char *no_stats = "the daily weather file could not be used";
    int problems = 0, warnings = 0;
    const std::vector<std::string> *findings = nullptr;
};

void add_site(batch_outputs &outputs, const site_outcome &site);

// What the outputs (nullptr: none) show of a line of the list that the run
// or the check is done with: its site, by name, or the line that could not
// be used; its weather as read (nullptr: none), whose statistics are shown
// unless it failed (no_stats then says why, nullptr for the usual reason);
// its counts and messages.
void add_outcome(batch_outputs *outputs, const listed_site &entry, const site_weather *weather,
                 const char *no_stats, int problems, int warnings,
                 const std::vector<std::string> &findings);

// Puts the files asked for in place, each through a temporary name; the
// failure, a line for each that could not be written. Closes the unnamed
// files.
failure write_outputs(batch_outputs &outputs);

// Closes the unnamed files without writing anything.
void discard_outputs(batch_outputs &outputs);
