// The importer: makes the daily weather files, the soils table and the
// site list siteprep reads from the files public sources serve. This file
// only finds the command its first argument names and hands it the rest.
#include "daily_command.h"
#include "fill_command.h"
#include "netcdf_command.h"
#include "reporter.h"
#include "scenario_command.h"
#include "signals.h"
#include "sites/sites_run.h"
#include "soil/soil_run.h"
#include "stations/stations_run.h"

#include <cstring>
#include <string>

namespace {

using namespace import;

// A command: its word, what it does (a line of the help), and its run on
// the arguments after the program's name (argv[0] the command's word).
struct command {
    const char *name;
    const char *help;
    int (*run)(int argc, char **argv);
};

const command commands[] = {
    {"fill", "the gaps of a daily file filled from neighbouring stations' files", fill_command},
    {"netcdf", "a daily file for each site from the nearest cell of CF netCDF grids",
     netcdf_command},
    {"scenario", "scenario daily files by the delta method", scenario_command},
    {"soil", "a soils table from SoilGrids, Soil Data Access or horizon tables", soil_command},
    {"sites", "the site list from the stations and soils tables, elevations from DEMs",
     sites_command},
    {"stations", "each point's GHCN-Daily station and donors, and their downloads",
     stations_command},
};

const command *find_command(std::string_view name) {
    for (const command &c : commands)
        if (name == c.name)
            return &c;
    return nullptr;
}

bool is_command(std::string_view word) {
    return find_command(word) != nullptr || find_daily_format(word) != nullptr;
}

const std::string usage =
    usage_of({"COMMAND [OPTIONS] [FILE]...", "COMMAND --help", "--help | --version"});

void print_help() {
    say_text(usage);
    say_text("\nMakes the files of a siteprep batch from what public sources serve. The\n"
             "command comes first; each has its own --help.\n\nThe daily formats (DIR/NAME.wth "
             "for each FILE):\n");
    for (const daily_format &f : daily_formats())
        say_format("  %-10s %s\n", f.name, f.help);
    say_text("\nThe other commands:\n");
    for (const command &c : commands)
        say_format("  %-10s %s\n", c.name, c.help);
#ifndef SITEPREP_NETCDF
    say_text("netcdf is not in this build: it was built without the netCDF C library.\n");
#endif
    say_text("\nExit status: 0 when every input was imported, 1 after an error, 2 for a\n"
             "wrong command line.\n");
}

// The answer to a first argument that names no command.
int no_command(int argc, char **argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "-h" || first == "--help") {
        print_help();
        return 0;
    }
    if (first == "--version") {
        say_version(SITEPREP_VERSION);
        return 0;
    }
    int at = 1;
    while (at < argc && !is_command(argv[at]))
        ++at;
    if (at < argc)
        say_error(std::string("'") + argv[at] + "' is a command: it comes first (" +
                  program_name() + " " + argv[at] + " --help)");
    else if (argc == 1 || first.starts_with("-"))
        say_error("no format given");
    else
        say_error("unknown format '" + first + "': " + daily_format_names() +
                  ", fill, netcdf, scenario, soil, sites or stations");
    return wrong_command_line(usage, "");
}

int dispatch(int argc, char **argv) {
    if (argc > 1) {
        if (const command *c = find_command(argv[1]))
            return c->run(argc - 1, argv + 1);
        if (const daily_format *f = find_daily_format(argv[1]))
            return daily_command(*f, argc - 1, argv + 1);
    }
    return no_command(argc, argv);
}

} // namespace

int main(int argc, char **argv) {
    os::fail_writes_past_size_limit();
    return finish(run_reported([&] { return dispatch(argc, argv); }));
}
