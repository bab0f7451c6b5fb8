// The import of a list of source files into daily files: names, the guard,
// each file written through a temporary name, the failures, the stations
// table.
#pragma once

#include "fill.h"
#include "readers/readers.h"

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
    // --fill-from: donors that fill what the source lacks, as fill does
    std::vector<std::string> fill_from;
    fill_settings fill;
};

// Runs the import: 0 when every input made its daily file, 1 otherwise.
int run_import(const import_request &request);

// A file's name without its directory and its extension.
std::string stem_of(const std::string &path);

// Says each message and that nothing was written, removing the
// directories made (the last first); status 1.
int nothing_written(const std::vector<std::string> &messages, const std::vector<std::string> &made);

// A name a site list can hold: no white space, no control character.
bool site_list_can_name(const std::string &name);

// What every import does with its outputs, whatever its format:

// Makes dir and the directories above it that are missing, as mkdir -p
// does, adding each it made to made; empty, or what failed.
std::string make_directories(std::string dir, std::vector<std::string> &made);
// Checks that the --stations file is one this tool wrote (or none yet) and
// that it can be written, before any import; empty, or why it is left alone.
std::string check_stations(const std::string &path);
// Puts rows into the stations table at path (nothing changes without
// rows); 0, or 1 after saying what failed.
int update_stations(const std::string &path, const std::vector<station_row> &rows);

} // namespace import
