// What the command line asks of siteprep, and the run or check it starts.
#pragma once

#include "completeness.h"
#include "site.h"
#include "site_list.h"

#include <string>

// The options of a command line, as main parsed them.
struct command_options {
    bool check = false;
    bool strict = false;
    bool sync = false;
    int jobs = 0; // 0: the available cores, at most 8
    bool keep_going = false;
    bool keep_soils = false;
    std::string summary, report; // --summary and --report files
    list_part part;              // --part
    std::string scratch, failed; // --scratch and --failed
    site_extras extras;          // --template, --texture-keys
    statistics_choice choice;    // --completeness and --years
    bool choice_named = false;   // either was given
    float normals_min = 0;       // --normals-min; 0: none
    std::string monthly;         // --monthly
    int progress = -1;           // -1: when standard error is a terminal
    bool help = false;
    bool version = false;
    const char *site_list = nullptr;

    // --neighbours, and whether it was given
    neighbour_settings neighbours;
    bool neighbours_named = false;
};

// Runs the batch or checks it as the options say; the exit status.
int run_command(const command_options &opts);
