// The sites command: the site list, from the stations table of the
// weather import joined with a soils table by name, elevations from DEMs.
#pragma once

#include <string>
#include <vector>

namespace import {

struct sites_request {
    std::string stations, soils;
    std::vector<std::string> dems;
    bool skip_incomplete = false;
};

// Writes the site list on standard output; the exit status.
int run_sites(const sites_request &request);

// The command line after "sites" (argv[0] is "sites"); the exit status.
int sites_command(int argc, char **argv);

} // namespace import
