// The run: every site of the list in order.
#pragma once

#include "fixed_files.h"
#include "site.h"
#include "site_list.h"

#include <string>

struct batch_outputs;

// How a run goes through its sites.
struct run_options {
    int threads = 1;                  // reading daily files ahead (1: no threads)
    bool keep_going = false;          // past a failed site, with a list of failures at the end
    bool keep_soils = false;          // each site's soil rows also to NAME.soils.in
    bool progress = false;            // a progress line on standard error
    batch_outputs *outputs = nullptr; // --summary and --report, or nullptr
    list_part part;                   // --part: the part of the list to run
    std::string failed_path;          // --failed: the failed sites' lines; empty: none
    bool sync = false;                // --sync: every file written synced to the disk
    fixed_files fixed;                // soils.in and XXXX.sfp, where they are
    site_extras extras;               // --template, --texture-keys
    weather_options weather;          // the rule and period of the statistics, the months
};

// Runs every site of the list; the exit status.
int run_batch(const char *list_path, const run_options &options);
