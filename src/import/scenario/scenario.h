// Scenario daily files by the delta method: each day's maximum and minimum
// temperature shifted, and its precipitation scaled, by the deltas of its
// site and month; missing values left as they are.
#pragma once

#include <string>
#include <vector>

namespace import {

struct scenario_request {
    std::vector<std::string> inputs; // daily files
    std::string deltas;              // --deltas FILE.csv
    std::string output_dir;          // -o DIR
    std::string sites;               // --sites SITE_LIST: copied with its site files
    bool force = false, keep_going = false;
};

// Writes DIR[/SCENARIO]/NAME.wth for each input and scenario, and beside
// them the deltas applied (deltas_applied.csv) and, with --sites, the site
// list and its sites' NAME.sfp; 0 when every input made its files, 1
// otherwise.
int run_scenario(const scenario_request &request);

} // namespace import
