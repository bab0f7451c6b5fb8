// The command line of the importer's stations command.
#include "command_options.h"
#include "convert.h"
#include "reporter.h"
#include "stations/stations_run.h"
#include "tokens.h"

namespace import {

namespace {

const std::string stations_usage =
    usage_of({"stations --points POINTS.csv --ghcn-stations FILE --inventory FILE --years A-B "
              "--choice OUT.csv [OPTIONS]"});

void print_stations_help() {
    say_text(stations_usage);
    say_text("\n"
             "Chooses for each point of POINTS.csv (name,lat,lon[,elevation_m], read as\n"
             "netcdf --sites reads it: a stations table or a site list serves) the nearest\n"
             "GHCN-Daily station whose elements cover the share of the period, and the next\n"
             "ones as its donors, and puts a row a point into the choice table OUT.csv\n"
             "(name, latitude, longitude, elevation_m: the point's; station, distance_km,\n"
             "elevation_difference_m: the station's height above the point; years: of the\n"
             "period covered; donors: their IDs in order, a blank between). Rows of other\n"
             "points are kept.\n"
             "  A station qualifies when each element asked (PRCP, and TMAX and TMIN with\n"
             "--temperatures) has a line in ghcnd-inventory.txt whose years from FIRSTYEAR\n"
             "to LASTYEAR within the period are at least the share of the period's years;\n"
             "it must lie within --max-distance. The distance is the great circle's\n"
             "(haversine, on a sphere of 6371.0 km; across the antimeridian too). The\n"
             "stations are ranked by the distance to the tenth of a km, then the difference\n"
             "of heights to the tenth of a metre where both are known (known first), then\n"
             "the station ID; the first is the point's station, the next --donors its\n"
             "donors. A point with no station within reach is an error naming it, and\n"
             "nothing is written.\n"
             "\n"
             "Options:\n"
             "  --points FILE.csv          the points\n"
             "  --ghcn-stations FILE       ghcnd-stations.txt: each station's place and height\n"
             "  --inventory FILE           ghcnd-inventory.txt: each element's years\n"
             "  --years FIRST-LAST         the period (a normals period: 1991-2020)\n"
             "  --choice OUT.csv           the choice table to write (made, or rows replaced)\n"
             "  --share F                  the share of the period's years each element\n"
             "                             covers, more than 0 and at most 1 (default 0.8)\n"
             "  --temperatures             TMAX and TMIN as well as PRCP\n"
             "  --donors N                 the donors of each point, 0 to 100 (default 3)\n"
             "  --max-distance KM          the farthest station, more than 0 (default 100)\n"
             "  --dem FILE                 the points' elevations from a DEM (an .hgt tile or\n"
             "                             an ESRI ASCII grid, as sites --dem reads them) in\n"
             "                             place of elevation_m; repeatable, the first that\n"
             "                             covers a point gives it\n"
             "  --plan                     also print the downloads of the stations' and\n"
             "                             donors' daily files (ID.dly, each once) as a\n"
             "                             shell script\n"
             "  --base-url URL             with --plan: a mirror, in place of the service's\n"
             "                             scheme and host (https://www.ncei.noaa.gov)\n"
             "  --keep-going               leave out a point without a station (or a place)\n"
             "                             and list it (status 1)\n"
             "  -h, --help                 show this help and exit\n"
             "\n"
             "Exit status: 0 when every point got its station, 1 after an error, 2 for a\n"
             "wrong command line.\n");
}

struct stations_args {
    stations_request r;
    bool help = false, years = false, base_url = false;
};

// A number option's value within its bounds; false after saying what it
// must be.
bool take_number(const char *option, double low, double high, bool low_included, double &into,
                 const char *must) {
    int decimals = 0;
    if (plain_number(optarg, into, decimals) && (into > low || (low_included && into == low)) &&
        into <= high)
        return true;
    say_error(std::string("invalid ") + option + " value '" + optarg + "': " + must);
    return false;
}

bool take_stations_option(int opt, stations_args &c) {
    stations_request &r = c.r;
    double donors = 0;
    switch (opt) {
    case 'p':
        return take_text("--points", r.points);
    case 'g':
        return take_text("--ghcn-stations", r.ghcn_stations);
    case 'i':
        return take_text("--inventory", r.inventory);
    case 'c':
        return take_text("--choice", r.choice);
    case 'y':
        c.years = true;
        return take_years(optarg, r.rule.first_year, r.rule.last_year);
    case 's':
        return take_number("--share", 0, 1, false, r.rule.share,
                           "a number more than 0 and at most 1");
    case 't':
        r.rule.temperatures = true;
        return true;
    case 'n':
        if (!take_number("--donors", 0, 100, true, donors, "a whole number from 0 to 100"))
            return false;
        r.rule.donors = static_cast<int>(donors);
        if (r.rule.donors == donors)
            return true;
        say_error(std::string("invalid --donors value '") + optarg +
                  "': a whole number from 0 to 100");
        return false;
    case 'm':
        return take_number("--max-distance", 0, 20015.1, false, r.rule.max_distance_km,
                           "km, more than 0 and at most 20015.1 (half the Earth's circumference)");
    case 'd':
        r.dems.emplace_back();
        return take_text("--dem", r.dems.back());
    case 'P':
        r.plan = true;
        return true;
    case 'b':
        c.base_url = true;
        return take_text("--base-url", r.base_url);
    case 'k':
        r.keep_going = true;
        return true;
    case 'h':
        c.help = true;
        return true;
    default:
        return false; // getopt_long has said why
    }
}

// What goes with what; false after saying what is wrong.
bool check_stations_args(const stations_args &c, int argc, char **argv) {
    const stations_request &r = c.r;
    std::string wrong;
    if (optind < argc)
        wrong = std::string("unexpected argument '") + argv[optind] +
                "': the points are given as --points FILE.csv";
    else if (r.points.empty() || r.ghcn_stations.empty() || r.inventory.empty())
        wrong = "stations needs --points FILE.csv, --ghcn-stations FILE and --inventory FILE";
    else if (!c.years)
        wrong = "--years FIRST-LAST is needed: the period the stations must cover";
    else if (r.choice.empty())
        wrong = "--choice OUT.csv is needed: the choice table to write";
    else if (c.base_url && !r.plan)
        wrong = "--base-url goes with --plan";
    if (!wrong.empty())
        say_error(wrong);
    return wrong.empty();
}

bool parse_stations_args(int argc, char **argv, stations_args &c) {
    static const option long_options[] = {{"points", required_argument, nullptr, 'p'},
                                          {"ghcn-stations", required_argument, nullptr, 'g'},
                                          {"inventory", required_argument, nullptr, 'i'},
                                          {"choice", required_argument, nullptr, 'c'},
                                          {"years", required_argument, nullptr, 'y'},
                                          {"share", required_argument, nullptr, 's'},
                                          {"temperatures", no_argument, nullptr, 't'},
                                          {"donors", required_argument, nullptr, 'n'},
                                          {"max-distance", required_argument, nullptr, 'm'},
                                          {"dem", required_argument, nullptr, 'd'},
                                          {"plan", no_argument, nullptr, 'P'},
                                          {"base-url", required_argument, nullptr, 'b'},
                                          {"keep-going", no_argument, nullptr, 'k'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    if (!read_command_options(argc, argv, long_options,
                              [&c](int opt) { return take_stations_option(opt, c); }))
        return false;
    return c.help || check_stations_args(c, argc, argv);
}

} // namespace

int stations_command(int argc, char **argv) {
    stations_args c;
    if (!parse_stations_args(argc, argv, c))
        return wrong_command_line(stations_usage, "stations");
    if (c.help) {
        print_stations_help();
        return 0;
    }
    return run_stations(c.r);
}

} // namespace import
