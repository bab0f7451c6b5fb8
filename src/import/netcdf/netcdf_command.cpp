// The command line of the netcdf command.
#include "netcdf_command.h"

#include "command_options.h"
#include "netcdf_import.h"
#include "reporter.h"
#include "tokens.h"

#include <cmath>
#include <string_view>

namespace import {

namespace {

const std::string netcdf_usage =
    usage_of({"netcdf --sites FILE --tmax VAR --tmin VAR --prcp VAR [OPTIONS] FILE..."});

void print_netcdf_help() {
    say_text(netcdf_usage);
    say_text("\n"
             "Writes DIR/NAME.wth for each site of --sites, from the nearest grid cell of\n"
             "the CF netCDF FILEs (each read once, in time order, for all sites): one line\n"
             "a day, day month year day-of-year tmax tmin precipitation, temperatures in\n"
             "degrees C and precipitation in cm a day, -99.99 for a value the files lack.\n"
             "\n"
             "Options:\n"
             "  --sites FILE          a site list (NAME LATITUDE LONGITUDE ...) or a\n"
             "                        table of places (CSV: name, lat or latitude, lon or\n"
             "                        longitude; a stations table serves)\n"
             "  --tmax VAR  --tmin VAR  --prcp VAR   the variables (required)\n"
             "  --max-distance KM     how far a site may be from its cell with data\n"
             "                        (default: one and a half cell widths)\n"
             "  --elevation VAR       the cell's elevation, for the stations table\n"
             "  --mask VAR            a variable of the cells: where it is missing or 0,\n"
             "                        a cell has no data (default: a cell without any\n"
             "                        value of a quantity over the period)\n"
             "  --daily               take sub-daily values to UTC days: the maximum\n"
             "                        (tmax), minimum (tmin) and sum (prcp)\n"
             "  --accumulation KIND   what a sub-daily prcp value holds (with --daily):\n"
             "                        step: the amount of the step ending at its time\n"
             "                        (ERA5); day: the amount since 00 UTC, a day's\n"
             "                        total at 00 UTC the day after (ERA5-Land)\n"
             "  -o, --output-dir DIR  write the daily files in DIR, made if missing\n"
             "                        (default: .)\n"
             "  --force               replace an existing daily file\n"
             "  --years FIRST-LAST    write these years only (a normals period)\n"
             "  --stations FILE.csv   also put a row per site in this table\n"
             "                        (rows of other names are kept)\n"
             "  --keep-going          go on past a failed site and list the failures\n");
    say_text(shared_options_help);
#ifndef SITEPREP_NETCDF
    say_text("netcdf is not in this build: it was built without the netCDF C library.\n");
#endif
    say_text("\n"
             "Exit status: 0 when every site got its daily file, 1 after an error, 2 for a\n"
             "wrong command line.\n");
}

// What the command line gives: the request's fields, whether it asked for help.
struct netcdf_line {
    std::vector<std::string> inputs;
    std::string sites, elevation, mask, output_dir = ".", stations;
    std::string variable[3]; // tmax, tmin, prcp
    double max_distance_km = 0;
    bool daily = false, force = false, keep_going = false, help = false;
    accumulation accumulated = accumulation::unsaid;
    int first_year = 0, last_year = 0;
};

bool take_distance(const char *text, double &km) {
    if (parse_double(text, km) && std::isfinite(km) && km > 0)
        return true;
    say_error(std::string("invalid --max-distance '") + text + "': a distance in km above 0");
    return false;
}

bool take_accumulation_kind(const char *text, accumulation &kind) {
    const std::string_view given = text;
    if (given == "step" || given == "day") {
        kind = given == "step" ? accumulation::step : accumulation::day;
        return true;
    }
    say_error(std::string("invalid --accumulation '") + text +
              "': step (the amount of the step ending at its time) or day (the amount since 00 "
              "UTC)");
    return false;
}

bool take_netcdf_option(int opt, netcdf_line &c) {
    switch (opt) {
    case 'S':
        return take_text("--sites", c.sites);
    case 'X':
    case 'N':
    case 'R':
        return take_text("a variable option", c.variable[opt == 'X' ? 0 : opt == 'N' ? 1 : 2]);
    case 'K':
        return take_distance(optarg, c.max_distance_km);
    case 'E':
        return take_text("--elevation", c.elevation);
    case 'M':
        return take_text("--mask", c.mask);
    case 'A':
        c.daily = true;
        return true;
    case 'C':
        return take_accumulation_kind(optarg, c.accumulated);
    case 'o':
        return take_text("--output-dir", c.output_dir);
    case 'f':
        c.force = true;
        return true;
    case 'y':
        return take_years(optarg, c.first_year, c.last_year);
    case 's':
        return take_text("--stations", c.stations);
    case 'k':
        c.keep_going = true;
        return true;
    case 'h':
        c.help = true;
        return true;
    default:
        return false; // getopt_long has said why
    }
}

std::vector<refused_options> netcdf_refuses() {
    std::vector<refused_options> refused = {
        {{"name=", "ghcn-stations=", "prcp-unit=", "temp-unit=", "date=", "year=", "month=", "day=",
          "missing=", "delimiter=", "deltas="},
         "netcdf takes none of the options of the daily formats (units, columns, --name, "
         "--ghcn-stations) nor --deltas"}};
    for (refused_options &r : fill_options_refused(false))
        refused.push_back(std::move(r));
    return refused;
}

bool read_netcdf_line(int argc, char **argv, netcdf_line &c) {
    static const option long_options[] = {{"sites", required_argument, nullptr, 'S'},
                                          {"tmax", required_argument, nullptr, 'X'},
                                          {"tmin", required_argument, nullptr, 'N'},
                                          {"prcp", required_argument, nullptr, 'R'},
                                          {"max-distance", required_argument, nullptr, 'K'},
                                          {"elevation", required_argument, nullptr, 'E'},
                                          {"mask", required_argument, nullptr, 'M'},
                                          {"daily", no_argument, nullptr, 'A'},
                                          {"accumulation", required_argument, nullptr, 'C'},
                                          {"output-dir", required_argument, nullptr, 'o'},
                                          {"force", no_argument, nullptr, 'f'},
                                          {"years", required_argument, nullptr, 'y'},
                                          {"stations", required_argument, nullptr, 's'},
                                          {"keep-going", no_argument, nullptr, 'k'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    if (!read_command_options(
            argc, argv, long_options, [&c](int opt) { return take_netcdf_option(opt, c); },
            netcdf_refuses(), "ho:"))
        return false;
    if (c.help)
        return true;
    if (c.sites.empty() || c.variable[0].empty() || c.variable[1].empty() ||
        c.variable[2].empty()) {
        say_error("netcdf needs --sites, --tmax, --tmin and --prcp");
        return false;
    }
    if (c.accumulated != accumulation::unsaid && !c.daily) {
        say_error("--accumulation is for sub-daily precipitation taken to days: give --daily");
        return false;
    }
    return take_inputs(argc, argv, false, c.inputs);
}

} // namespace

int netcdf_command(int argc, char **argv) {
    netcdf_line c;
#ifndef SITEPREP_NETCDF
    say_error("the netcdf format is not in this build: it was built without the netCDF C library");
    return wrong_command_line(netcdf_usage, "netcdf");
#endif
    if (!read_netcdf_line(argc, argv, c))
        return wrong_command_line(netcdf_usage, "netcdf");
    if (c.help) {
        print_netcdf_help();
        return 0;
    }
#ifdef SITEPREP_NETCDF
    netcdf_request n;
    n.inputs = c.inputs;
    n.sites = c.sites;
    for (int q = 0; q < quantities; ++q)
        n.variable[q] = c.variable[q];
    n.elevation = c.elevation;
    n.mask = c.mask;
    n.max_distance_km = c.max_distance_km;
    n.daily = c.daily;
    n.accumulated = c.accumulated;
    n.output_dir = c.output_dir;
    n.stations = c.stations;
    n.force = c.force;
    n.keep_going = c.keep_going;
    n.first_year = c.first_year;
    n.last_year = c.last_year;
    return run_netcdf_import(n);
#else
    return 2;
#endif
}

} // namespace import
