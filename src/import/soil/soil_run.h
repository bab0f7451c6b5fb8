// The soil command: soils tables from SoilGrids responses, Soil Data
// Access results or horizon tables, and the download plans that make them.
#pragma once

#include "soil/soil_readers.h"

#include <string>
#include <vector>

namespace import {

enum class soil_source { soilgrids, sda, horizons };

const char *soil_source_name(soil_source s);

struct soil_request {
    soil_source format = soil_source::soilgrids;
    std::vector<std::string> inputs;
    std::string soils;              // --soils OUT.csv
    std::string plan;               // --plan FILE.csv: print the downloads instead
    std::string points;             // sda --points FILE.csv
    code_rule codes;                // --layer-code, --default-layer-code
    double pass_through = no_value; // --pass-through VALUE
    soil_reading reading;           // --quantile, --pass-through-from, --name
    bool keep_going = false;
};

// Runs the command; the exit status.
int run_soil(soil_request request);

// The command line after "soil" (argv[0] is "soil"); the exit status.
int soil_command(int argc, char **argv);

} // namespace import
