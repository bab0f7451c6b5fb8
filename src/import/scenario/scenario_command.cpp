// The command line of the scenario command.
#include "scenario_command.h"

#include "command_options.h"
#include "reporter.h"
#include "scenario.h"

namespace import {

namespace {

const std::string scenario_usage =
    usage_of({"scenario --deltas FILE.csv -o DIR [--sites SITE_LIST] DAILY.wth..."});

void print_scenario_help() {
    say_text(scenario_usage);
    say_text("\n"
             "Writes DIR[/SCENARIO]/NAME.wth for each daily file, its temperatures shifted\n"
             "and its precipitation scaled by the deltas of its site and month, and\n"
             "DIR[/SCENARIO]/deltas_applied.csv; with --sites, the site list and its\n"
             "sites' NAME.sfp too, so that each directory runs as it is.\n"
             "\n"
             "Options:\n"
             "  --deltas FILE.csv     columns site (a name or *), month, dtmax, dtmin\n"
             "                        (added, degrees C), pfactor (multiplied, >= 0),\n"
             "                        and optionally scenario\n"
             "  -o, --output-dir DIR  where the scenarios' files go (required)\n"
             "  --sites SITE_LIST     also copy the site list and each listed site's\n"
             "                        NAME.sfp (beside the list) into each directory;\n"
             "                        each site's NAME.wth must be an input\n"
             "  --force               replace existing files\n"
             "  --keep-going          go on past a failed input and list the failures\n");
    say_text(shared_options_help);
    say_text("\n"
             "Exit status: 0 when every input made its files, 1 after an error, 2 for a\n"
             "wrong command line.\n");
}

struct scenario_line {
    scenario_request r;
    bool help = false, output_given = false;
};

bool take_scenario_option(int opt, scenario_line &c) {
    switch (opt) {
    case 'e':
        return take_text("--deltas", c.r.deltas);
    case 's':
        return take_text("--sites", c.r.sites);
    case 'o':
        c.output_given = true;
        return take_text("--output-dir", c.r.output_dir);
    case 'f':
        c.r.force = true;
        return true;
    case 'k':
        c.r.keep_going = true;
        return true;
    case 'h':
        c.help = true;
        return true;
    default:
        return false; // getopt_long has said why
    }
}

std::vector<refused_options> scenario_refuses() {
    std::vector<refused_options> refused = {
        {{"name=", "years=", "stations=", "ghcn-stations=", "prcp-unit=", "temp-unit=", "date=",
          "year=", "month=", "day=", "tmax=", "tmin=", "prcp=", "missing=", "delimiter=",
          "max-distance=", "elevation=", "daily", "accumulation="},
         "scenario takes only --deltas, -o, --sites, --force and --keep-going"}};
    for (refused_options &r : fill_options_refused(false))
        refused.push_back(std::move(r));
    return refused;
}

bool read_scenario_line(int argc, char **argv, scenario_line &c) {
    static const option long_options[] = {{"deltas", required_argument, nullptr, 'e'},
                                          {"output-dir", required_argument, nullptr, 'o'},
                                          {"sites", required_argument, nullptr, 's'},
                                          {"force", no_argument, nullptr, 'f'},
                                          {"keep-going", no_argument, nullptr, 'k'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    if (!read_command_options(
            argc, argv, long_options, [&c](int opt) { return take_scenario_option(opt, c); },
            scenario_refuses(), "ho:"))
        return false;
    if (c.help)
        return true;
    if (c.r.deltas.empty() || !c.output_given) {
        say_error("scenario needs --deltas and -o DIR");
        return false;
    }
    return take_inputs(argc, argv, false, c.r.inputs);
}

} // namespace

int scenario_command(int argc, char **argv) {
    scenario_line c;
    if (!read_scenario_line(argc, argv, c))
        return wrong_command_line(scenario_usage, "scenario");
    if (c.help) {
        print_scenario_help();
        return 0;
    }
    return run_scenario(c.r);
}

} // namespace import
