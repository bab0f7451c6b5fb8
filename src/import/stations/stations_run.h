// The stations command: for each point of a points table, the nearest
// GHCN-Daily station whose elements cover a share of a period, and the
// next ones as its donors, written as a table (the choice table), and with
// --plan the downloads of their daily files.
#pragma once

#include "stations/choice.h"

#include <string>
#include <vector>

namespace import {

struct stations_request {
    std::string points;        // --points FILE.csv
    std::string ghcn_stations; // --ghcn-stations ghcnd-stations.txt
    std::string inventory;     // --inventory ghcnd-inventory.txt
    std::string choice;        // --choice OUT.csv
    std::vector<std::string> dems;
    std::string base_url; // --base-url: a mirror of the daily files
    choice_rule rule;
    bool plan = false, keep_going = false;
};

// The choice table's header, its line end included.
std::string choice_header();

// Runs the command; the exit status.
int run_stations(const stations_request &request);

// The command line after "stations" (argv[0] is "stations"); the exit
// status.
int stations_command(int argc, char **argv);

} // namespace import
