// The import of a list of source files into daily files: names, the guard,
// each file written through a temporary name, the failures, the stations
// table.
#pragma once

#include "fill.h"
#include "readers.h"

#include <string>
#include <vector>

namespace import {

struct import_request {
    import_options options;
    std::vector<std::string> inputs; // "-": standard input
    std::string output_dir = ".";
    std::string name;          // --name, for a single input
    bool force = false;        // replace an existing daily file
    bool keep_going = false;   // go on past a failed input
    std::string stations;      // --stations FILE.csv; empty: none
    std::string ghcn_stations; // --ghcn-stations FILE; empty: none
    // The place of a source whose files carry none: --lat, --lon and
    // --elevation for a single input, or the rows of a --points table.
    std::string latitude, longitude, elevation;
    std::string points; // --points FILE; empty: none
    // --fill-from: donors that fill what the source lacks, as fill does
    std::vector<std::string> fill_from;
    fill_settings fill;
    // --plan POINTS.csv: the downloads of the table's points (or
    // stations) printed instead of an import; --base-url for a mirror;
    // --plan-format json for POWER's JSON instead of its CSV.
    std::string plan, base_url;
    bool plan_json = false;
};

// Runs the import: 0 when every input made its daily file, 1 otherwise.
int run_import(const import_request &request);

} // namespace import
