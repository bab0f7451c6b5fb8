// The command line of the importer's sites command.
#include "command_options.h"
#include "reporter.h"
#include "sites/sites_run.h"

namespace import {

namespace {

const std::string sites_usage = usage_of(
    {"sites --stations STATIONS.csv --soils SOILS.csv [--dem FILE]... [--skip-incomplete] > "
     "SITE_LIST"});

void print_sites_help() {
    say_text(sites_usage);
    say_text("\n"
             "Writes the site list on standard output: a line a station of STATIONS.csv\n"
             "(the --stations table of the weather import, or any table of places, as\n"
             "netcdf --sites reads it, with elevation_m), in its order, joined by name with its "
             "row of SOILS.csv (sand,\n"
             "silt, clay, bulk_density, pass_through, layer_code), in the ten fields\n"
             "siteprep reads, each value written so that siteprep reads back the same\n"
             "float. A site missing from either table, or with a value that is NA, is an\n"
             "error naming it and the column, and no list is written.\n"
             "\n"
             "Options:\n"
             "  --stations FILE.csv  the stations table\n"
             "  --soils FILE.csv     the soils table (the soil command writes one)\n"
             "  --dem FILE           the elevation from a DEM instead of elevation_m: an\n"
             "                       SRTM or Copernicus .hgt tile (N47W123.hgt) or an ESRI\n"
             "                       ASCII grid in degrees; repeatable, the first that\n"
             "                       covers a site gives its elevation, bilinear between\n"
             "                       the four samples around it (the nearest valid sample\n"
             "                       at a void); more than 350 m from elevation_m is a\n"
             "                       warning with the temperature bias it implies\n"
             "  --skip-incomplete    leave out the sites that lack a value, listing them\n"
             "                       on standard error\n"
             "  -h, --help           show this help and exit\n"
             "\n"
             "Exit status: 0 when the list was written, 1 after an error, 2 for a wrong\n"
             "command line.\n");
}

// False, after saying what is wrong, for a wrong command line.
bool parse_sites_line(int argc, char **argv, sites_request &r, bool &help) {
    static const option long_options[] = {{"stations", required_argument, nullptr, 's'},
                                          {"soils", required_argument, nullptr, 'o'},
                                          {"dem", required_argument, nullptr, 'd'},
                                          {"skip-incomplete", no_argument, nullptr, 'k'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    const auto take = [&](int opt) {
        std::string *into = opt == 's' ? &r.stations : opt == 'o' ? &r.soils : nullptr;
        if (into != nullptr)
            *into = optarg;
        else if (opt == 'd')
            r.dems.push_back(optarg);
        else if (opt == 'k')
            r.skip_incomplete = true;
        else if (opt == 'h')
            help = true;
        else
            return false; // getopt_long has said why
        if ((opt == 's' || opt == 'o' || opt == 'd') && *optarg == '\0') {
            say_error("an option's file name is empty");
            return false;
        }
        return true;
    };
    if (!read_command_options(argc, argv, long_options, take))
        return false;
    if (help)
        return true;
    if (optind < argc) {
        say_error(std::string("unexpected argument '") + argv[optind] +
                  "': the site list goes to standard output");
        return false;
    }
    if (r.stations.empty() || r.soils.empty()) {
        say_error("sites needs --stations FILE.csv and --soils FILE.csv");
        return false;
    }
    return true;
}

} // namespace

int sites_command(int argc, char **argv) {
    sites_request r;
    bool help = false;
    if (!parse_sites_line(argc, argv, r, help)) {
        return wrong_command_line(sites_usage, "sites");
    }
    if (help) {
        print_sites_help();
        return 0;
    }
    return run_sites(r);
}

} // namespace import
