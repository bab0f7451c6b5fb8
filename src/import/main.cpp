// siteprep-import: makes the daily weather files siteprep reads from the
// files public sources serve. This file holds only the command line.
#include "fill_files.h"
#include "layout.h"
#include "plan.h"
#include "printer.h"
#include "scenario.h"
#include "shown.h"
#include "signals.h"
#include "sites/sites_run.h"
#include "soil/soil_run.h"
#include "tokens.h"
#ifdef SITEPREP_NETCDF
#include "netcdf_import.h"
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

namespace {

const char usage_line[] =
    "usage: siteprep-import FORMAT [OPTIONS] FILE...   FORMAT: daymet | ghcn | power | csv\n"
    "       siteprep-import fill TARGET.wth --donor A.wth [--donor B.wth]... (-o DIR | --force)\n"
    "       siteprep-import soil soilgrids|sda|horizons [OPTIONS] FILE... --soils OUT.csv\n"
    "       siteprep-import sites --stations ST.csv --soils SOILS.csv [--dem FILE]...\n"
    "       siteprep-import netcdf --sites FILE --tmax VAR --tmin VAR --prcp VAR [OPTIONS] "
    "FILE...\n"
    "       siteprep-import scenario --deltas FILE.csv -o DIR DAILY.wth...\n"
    "       siteprep-import --help | --version\n";

#ifdef SITEPREP_NETCDF
const char netcdf_in_build[] = "";
#else
const char netcdf_in_build[] =
    "netcdf is not in this build: it was built without the netCDF C library.\n";
#endif

void print_help() {
    print_text(usage_line);
    print_format("\n"
                 "Writes DIR/NAME.wth for each FILE: one line a day, day month year day-of-year\n"
                 "tmax tmin precipitation, temperatures in degrees C and precipitation in cm a\n"
                 "day, -99.99 for a value the source lacks, marks missing or flags as failed.\n"
                 "Every calendar day of whole years is written, from January 1 of the first\n"
                 "year with data to December 31 of the last. NAME is FILE's name without its\n"
                 "extension (GHCN: the station ID). FILE '-' is standard input (with --name).\n"
                 "Inputs are never written.\n"
                 "\n"
                 "Options:\n"
                 "  -o, --output-dir DIR  write the daily files in DIR, made if missing\n"
                 "                        (default: .)\n"
                 "  --name NAME           the daily file's name, for a single FILE\n"
                 "  --force               replace an existing daily file\n"
                 "  --years FIRST-LAST    write these years only (a normals period)\n"
                 "  --stations FILE.csv   also put a row per imported input in this table\n"
                 "                        (rows of other names are kept)\n"
                 "  --ghcn-stations FILE  ghcnd-stations.txt, for the stations' places (ghcn)\n"
                 "  --keep-going          go on past a failed input and list the failures\n"
                 "csv only (the units and columns have no default):\n"
                 "  --prcp-unit mm|cm|in  --temp-unit C|F|K\n"
                 "  --date COL (YYYY-MM-DD), or --year COL --month COL --day COL\n"
                 "  --tmax COL  --tmin COL  --prcp COL\n"
                 "  --missing VALUE       a value that means missing (repeatable; an empty\n"
                 "                        field always does)\n"
                 "  --delimiter CHAR      the field separator (default ','; 'tab' for a tab;\n"
                 "                        'space' for runs of blanks and tabs)\n"
                 "ghcn only:\n"
                 "  --fill-from FILE.wth  fill a quantity the station never has (most GHCN\n"
                 "                        stations: temperatures) and the gaps of the others\n"
                 "                        from this daily file, as fill does (repeatable)\n"
                 "netcdf: a daily file for each site of --sites, from the nearest grid cell\n"
                 "of the CF netCDF FILEs (each read once, in time order, for all sites):\n"
                 "  --sites FILE          a site list (NAME LATITUDE LONGITUDE ...) or a\n"
                 "                        stations table (CSV: name, latitude, longitude)\n"
                 "  --tmax VAR  --tmin VAR  --prcp VAR   the variables (required)\n"
                 "  --max-distance KM     how far a site may be from its cell with data\n"
                 "                        (default: one and a half cell widths)\n"
                 "  --elevation VAR       the cell's elevation, for the stations table\n"
                 "  --daily               take sub-daily values to UTC days: the maximum\n"
                 "                        (tmax), minimum (tmin) and sum (prcp)\n"
                 "  (also -o, --force, --years, --stations, --keep-going)\n"
                 "%s"
                 "scenario: DIR[/SCENARIO]/NAME.wth for each daily file, its temperatures\n"
                 "shifted and its precipitation scaled by the deltas of its site and month,\n"
                 "and DIR[/SCENARIO]/deltas_applied.csv:\n"
                 "  --deltas FILE.csv     columns site (a name or *), month, dtmax, dtmin\n"
                 "                        (added, degrees C), pfactor (multiplied, >= 0),\n"
                 "                        and optionally scenario\n"
                 "  -o DIR (required), --force, --keep-going\n"
                 "  -h, --help            show this help and exit\n"
                 "  --version             show the version and exit\n"
                 "\n"
                 "fill: fills the gaps of TARGET.wth from neighbouring stations' daily files\n"
                 "and writes DIR/NAME.wth (or, with --force and no -o, TARGET.wth in place),\n"
                 "NAME.fill.csv (every value filled: date, quantity, value, method, source,\n"
                 "adjustment) and NAME.fill-skill.csv (each donor month's fit and its error\n"
                 "on every 10th overlapping day held out). Temperatures: runs of at most\n"
                 "--max-interp days interpolated, then donor + the calendar month's bias;\n"
                 "precipitation: donor x the calendar month's ratio, never interpolated.\n"
                 "  --donor FILE.wth      a neighbouring station's daily file, tried in the\n"
                 "                        order given (repeatable)\n"
                 "  --max-interp N        the longest run of temperatures interpolated\n"
                 "                        (default 3; 0: none)\n"
                 "  --min-overlap N       days both must have valid in a calendar month for\n"
                 "                        its bias or ratio to be used (default 60)\n"
                 "  --max-bias X          the largest bias, and standard deviation of the\n"
                 "                        differences, of a donor month in degrees C (default 3)\n"
                 "\n"
                 "Exit status: 0 when every FILE was imported, 1 after an error, 2 for a\n"
                 "wrong command line.\n"
                 "\n"
                 "The soils table and the site list (the command comes first; each has its\n"
                 "own --help):\n"
                 "  soil FORMAT      a soils table from SoilGrids responses, a Soil Data\n"
                 "                   Access result or a horizon table; --plan prints the\n"
                 "                   downloads\n"
                 "  sites            the site list from the stations and soils tables, the\n"
                 "                   elevation from DEMs (.hgt tiles, ESRI ASCII grids)\n",
                 netcdf_in_build);
    if (!import::json_formats_built())
        print_text("This build reads no JSON (it was made without nlohmann-json): the soil\n"
                   "formats soilgrids and sda are left out.\n");
}

void say_wrong(const std::string &what) {
    print_error("siteprep-import", what);
}

// What the command line asks for: an import of daily files, a fill, an
// import of a grid, or scenarios.
enum class command { daily, fill, netcdf, scenario };

struct command_line {
    command what = command::daily;
    import::import_request request;
    std::string sites, elevation, deltas;
    double max_distance_km = 0;
    bool daily_steps = false;
    bool help = false, version = false;
    bool temp_given = false, prcp_given = false, csv_options = false;
    bool variables_given = false, netcdf_options = false, output_given = false;
    // fill: its request; whether a fill setting or an option of the daily
    // formats alone was given.
    import::fill_request fill_request;
    bool tuned = false, format_options = false;
};

// A fill setting: a whole number of at least least, or (max_bias) a
// positive number of degrees.
bool take_fill_setting(int opt, command_line &c) {
    import::fill_settings &f = c.fill_request.settings;
    c.tuned = true;
    const char *name = opt == 'I' ? "--max-interp" : opt == 'L' ? "--min-overlap" : "--max-bias";
    float bias = 0;
    int n = 0;
    if (opt == 'B' ? parse_float(optarg, bias) && bias > 0
                   : parse_int(optarg, n) && n >= (opt == 'I' ? 0 : 1)) {
        if (opt == 'B')
            f.max_bias = static_cast<double>(bias);
        else
            (opt == 'I' ? f.max_interp : f.min_overlap) = n;
        return true;
    }
    say_wrong(std::string("invalid ") + name + " value '" + optarg + "': " +
              (opt == 'B'   ? "a number of degrees above 0"
               : opt == 'I' ? "a whole number of days, 0 or more"
                            : "a whole number of days, 1 or more"));
    return false;
}

// Long options without a letter of their own.
enum long_only {
    sites_option = 256,
    max_distance_option,
    elevation_option,
    daily_option,
    deltas_option
};

// A csv column option: where its name goes.
std::string *column_option(int opt, import::csv_columns &c) {
    switch (opt) {
    case 'D':
        return &c.date;
    case 'Y':
        return &c.year;
    case 'M':
        return &c.month;
    case 'd':
        return &c.day;
    case 'X':
        return &c.value[import::tmax];
    case 'N':
        return &c.value[import::tmin];
    case 'R':
        return &c.value[import::prcp];
    default:
        return nullptr;
    }
}

bool take_value(const char *option, std::string &into) {
    into = optarg;
    if (!into.empty())
        return true;
    say_wrong(std::string("option '") + option + "' needs a value");
    return false;
}

bool take_distance(const char *text, command_line &c) {
    double km = 0;
    if (!parse_double(text, km) || !std::isfinite(km) || km <= 0) {
        say_wrong(std::string("invalid --max-distance '") + text + "': a distance in km above 0");
        return false;
    }
    c.max_distance_km = km;
    c.netcdf_options = true;
    return true;
}

// The options of the netcdf and scenario commands.
bool take_grid_option(int opt, command_line &c) {
    switch (opt) {
    case sites_option:
        c.netcdf_options = true;
        return take_value("--sites", c.sites);
    case max_distance_option:
        return take_distance(optarg, c);
    case elevation_option:
        c.netcdf_options = true;
        return take_value("--elevation", c.elevation);
    case daily_option:
        c.netcdf_options = c.daily_steps = true;
        return true;
    default:
        return take_value("--deltas", c.deltas);
    }
}

bool take_years(const char *text, import::import_request &r) {
    int first = 0, last = 0;
    if (!parse_year_range(text, first, last)) {
        say_wrong(std::string("invalid --years value '") + text +
                  "': FIRST-LAST, such as 1991-2020");
        return false;
    }
    if (last - first >= max_years) {
        say_wrong(std::string("invalid --years value '") + text +
                  format_message("': more than %d years, the most siteprep reads", max_years));
        return false;
    }
    r.options.first_year = first;
    r.options.last_year = last;
    return true;
}

bool take_unit(int opt, const std::string &text, command_line &c) {
    import::import_options &o = c.request.options;
    if (opt == 'P') {
        c.prcp_given = true;
        if (text == "mm" || text == "cm" || text == "in") {
            o.prcp = text == "mm"   ? import::prcp_unit::mm
                     : text == "cm" ? import::prcp_unit::cm
                                    : import::prcp_unit::inches;
            return true;
        }
        say_wrong("invalid --prcp-unit '" + text + "': mm, cm or in");
        return false;
    }
    c.temp_given = true;
    if (text == "C" || text == "F" || text == "K") {
        o.temp = text == "C"   ? import::temp_unit::celsius
                 : text == "F" ? import::temp_unit::fahrenheit
                               : import::temp_unit::kelvin;
        return true;
    }
    say_wrong("invalid --temp-unit '" + text + "': C, F or K");
    return false;
}

bool take_delimiter(const std::string &text, import::import_options &o) {
    if (text == "space") {
        o.blank_runs = true;
        return true;
    }
    if (text.size() == 1 && text != "\"" && text != "\n") {
        o.delimiter = text[0];
        return true;
    }
    if (text == "tab" || text == "\\t") {
        o.delimiter = '\t';
        return true;
    }
    say_wrong("invalid --delimiter '" + text + "': one character, 'tab' or 'space'");
    return false;
}

bool take_option(int opt, command_line &c) {
    import::import_request &r = c.request;
    if (std::string *column = column_option(opt, r.options.columns); column != nullptr) {
        (opt == 'X' || opt == 'N' || opt == 'R' ? c.variables_given : c.csv_options) = true;
        return take_value("a column option", *column);
    }
    if (opt >= sites_option && opt <= deltas_option)
        return take_grid_option(opt, c);
    switch (opt) {
    case 'o':
        c.output_given = true;
        return take_value("--output-dir", r.output_dir);
    case 'U':
        c.fill_request.donors.push_back(optarg);
        return true;
    case 'W':
        r.fill_from.push_back(optarg);
        return true;
    case 'I':
    case 'L':
    case 'B':
        return take_fill_setting(opt, c);
    case 'n':
        c.format_options = true;
        if (!take_value("--name", r.name))
            return false;
        if (r.name.find('/') != std::string::npos || r.name == "." || r.name == "..") {
            say_wrong("invalid --name '" + r.name + "': a name, not a path");
            return false;
        }
        if (!import::site_list_can_name(r.name)) {
            say_wrong("invalid --name " + quote_token(r.name) +
                      ": white space or a control character, which no site list can name");
            return false;
        }
        return true;
    case 'f':
        r.force = true;
        return true;
    case 'y':
        c.format_options = true;
        return take_years(optarg, r);
    case 's':
        c.format_options = true;
        return take_value("--stations", r.stations);
    case 'g':
        c.format_options = true;
        return take_value("--ghcn-stations", r.ghcn_stations);
    case 'k':
        c.format_options = true;
        r.keep_going = true;
        return true;
    case 'P':
    case 'T':
        c.csv_options = true;
        return take_unit(opt, optarg, c);
    case 'm':
        c.csv_options = true;
        r.options.missing.push_back(optarg);
        return true;
    case 'l':
        c.csv_options = true;
        return take_delimiter(optarg, r.options);
    case 'h':
        c.help = true;
        return true;
    case 'V':
        c.version = true;
        return true;
    default:
        return false; // getopt_long has said why
    }
}

bool take_format(const std::string &text, command_line &c) {
    import::import_options &o = c.request.options;
    if (text == "soil" || text == "sites") {
        say_wrong("'" + text + "' is a command: it comes first (siteprep-import " + text +
                  " --help)");
        return false;
    }
    if (text == "fill") {
        c.what = command::fill;
        return true;
    }
    if (text == "netcdf" || text == "scenario") {
        c.what = text == "netcdf" ? command::netcdf : command::scenario;
#ifndef SITEPREP_NETCDF
        if (c.what == command::netcdf) {
            say_wrong("the netcdf format is not in this build: siteprep-import was built without "
                      "the netCDF C library");
            return false;
        }
#endif
        return true;
    }
    for (import::source s :
         {import::source::daymet, import::source::ghcn, import::source::power, import::source::csv})
        if (text == import::source_name(s)) {
            o.format = s;
            return true;
        }
    say_wrong("unknown format '" + text + "': daymet, ghcn, power, csv, fill, netcdf or scenario");
    return false;
}

// What netcdf and scenario need, and what they must not be given.
bool check_grid_options(const command_line &c) {
    const import::import_request &r = c.request;
    const bool daily_only = c.csv_options || c.temp_given || c.prcp_given || !r.name.empty() ||
                            !r.ghcn_stations.empty();
    if (c.what == command::netcdf) {
        if (daily_only || !c.deltas.empty()) {
            say_wrong("netcdf takes none of the options of the daily formats (units, columns, "
                      "--name, --ghcn-stations) nor --deltas");
            return false;
        }
        if (c.sites.empty() || r.options.columns.value[import::tmax].empty() ||
            r.options.columns.value[import::tmin].empty() ||
            r.options.columns.value[import::prcp].empty()) {
            say_wrong("netcdf needs --sites, --tmax, --tmin and --prcp");
            return false;
        }
        return true;
    }
    if (daily_only || c.variables_given || c.netcdf_options || !r.stations.empty() ||
        r.options.first_year != 0) {
        say_wrong("scenario takes only --deltas, -o, --force and --keep-going");
        return false;
    }
    if (c.deltas.empty() || !c.output_given) {
        say_wrong("scenario needs --deltas and -o DIR");
        return false;
    }
    return true;
}

// What a csv import needs, and what the other formats must not be given.
bool check_format_options(const command_line &c) {
    const import::import_request &r = c.request;
    const import::csv_columns &col = r.options.columns;
    if (c.what != command::daily)
        return check_grid_options(c);
    if (c.netcdf_options || !c.deltas.empty()) {
        say_wrong("--sites, --max-distance, --elevation and --daily go with netcdf, --deltas "
                  "with scenario");
        return false;
    }
    if (r.options.format != import::source::csv) {
        if (c.csv_options || c.variables_given) {
            say_wrong(std::string("units, columns, --missing and --delimiter are for csv; ") +
                      import::source_name(r.options.format) + " documents its own");
            return false;
        }
        return true;
    }
    if (!c.prcp_given || !c.temp_given) {
        say_wrong("csv needs --prcp-unit and --temp-unit: no default is safe");
        return false;
    }
    const bool date = !col.date.empty();
    const bool parts = !col.year.empty() && !col.month.empty() && !col.day.empty();
    const bool some_part = !col.year.empty() || !col.month.empty() || !col.day.empty();
    if (date == some_part || (some_part && !parts)) {
        say_wrong("csv needs --date COL, or --year, --month and --day, not both");
        return false;
    }
    for (const std::string &v : col.value)
        if (v.empty()) {
            say_wrong("csv needs --tmax, --tmin and --prcp");
            return false;
        }
    return true;
}

// What fill needs: one target, a donor, and -o DIR or --force; and none
// of the formats' options.
bool check_fill(command_line &c) {
    const import::import_request &r = c.request;
    if (c.csv_options || c.variables_given || c.format_options || c.netcdf_options ||
        !c.deltas.empty() || !r.fill_from.empty()) {
        say_wrong("fill takes --donor, -o, --force, --max-interp, --min-overlap and --max-bias; "
                  "the formats' options do not go with it");
        return false;
    }
    if (r.inputs.size() != 1) {
        say_wrong("fill takes one target daily file, not " + std::to_string(r.inputs.size()));
        return false;
    }
    if (c.fill_request.donors.empty()) {
        say_wrong("fill needs a --donor daily file");
        return false;
    }
    if (!c.output_given && !r.force) {
        say_wrong("fill needs -o DIR, or --force to replace the target in place");
        return false;
    }
    import::fill_request &f = c.fill_request;
    f.target = r.inputs[0];
    f.output_dir = c.output_given ? r.output_dir : std::string();
    f.force = r.force;
    return true;
}

// The fill's options outside fill: --donor is fill's, the settings go with
// fill or with ghcn --fill-from.
bool check_fill_options(const command_line &c) {
    const import::import_request &r = c.request;
    if (!c.fill_request.donors.empty()) {
        say_wrong("--donor goes with fill (ghcn: --fill-from)");
        return false;
    }
    if (!r.fill_from.empty() && r.options.format != import::source::ghcn) {
        say_wrong("--fill-from goes with the ghcn format");
        return false;
    }
    if (c.tuned && r.fill_from.empty()) {
        say_wrong("--max-interp, --min-overlap and --max-bias go with fill or --fill-from");
        return false;
    }
    return true;
}

bool parse_command_line(int argc, char **argv, command_line &c) {
    static const option long_options[] = {
        {"output-dir", required_argument, nullptr, 'o'},
        {"name", required_argument, nullptr, 'n'},
        {"force", no_argument, nullptr, 'f'},
        {"years", required_argument, nullptr, 'y'},
        {"stations", required_argument, nullptr, 's'},
        {"ghcn-stations", required_argument, nullptr, 'g'},
        {"keep-going", no_argument, nullptr, 'k'},
        {"prcp-unit", required_argument, nullptr, 'P'},
        {"temp-unit", required_argument, nullptr, 'T'},
        {"date", required_argument, nullptr, 'D'},
        {"year", required_argument, nullptr, 'Y'},
        {"month", required_argument, nullptr, 'M'},
        {"day", required_argument, nullptr, 'd'},
        {"tmax", required_argument, nullptr, 'X'},
        {"tmin", required_argument, nullptr, 'N'},
        {"prcp", required_argument, nullptr, 'R'},
        {"missing", required_argument, nullptr, 'm'},
        {"delimiter", required_argument, nullptr, 'l'},
        {"donor", required_argument, nullptr, 'U'},
        {"fill-from", required_argument, nullptr, 'W'},
        {"max-interp", required_argument, nullptr, 'I'},
        {"min-overlap", required_argument, nullptr, 'L'},
        {"max-bias", required_argument, nullptr, 'B'},
        {"sites", required_argument, nullptr, sites_option},
        {"max-distance", required_argument, nullptr, max_distance_option},
        {"elevation", required_argument, nullptr, elevation_option},
        {"daily", no_argument, nullptr, daily_option},
        {"deltas", required_argument, nullptr, deltas_option},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0}};
    char name[] = "siteprep-import";
    char *const invoked = argv[0];
    argv[0] = name;
    opterr = 1;
    bool ok = true;
    for (int opt; ok && (opt = getopt_long(argc, argv, "ho:", long_options, nullptr)) != -1;)
        ok = take_option(opt, c);
    argv[0] = invoked;
    if (!ok)
        return false;
    if (c.help || c.version)
        return true;
    if (optind == argc) {
        say_wrong("no format given");
        return false;
    }
    if (!take_format(argv[optind++], c))
        return false;
    for (int i = optind; i < argc; ++i)
        c.request.inputs.push_back(argv[i]);
    if (c.what == command::fill)
        return check_fill(c);
    if (!check_format_options(c) || !check_fill_options(c))
        return false;
    c.request.fill = c.fill_request.settings;
    c.request.fill.copy_lacking = true; // a GHCN station often has no temperature at all
    if (c.request.inputs.empty()) {
        say_wrong("no input file given");
        return false;
    }
    if (!c.request.name.empty() && c.request.inputs.size() > 1) {
        say_wrong("--name is for a single input file");
        return false;
    }
    const bool reads_stdin =
        std::find(c.request.inputs.begin(), c.request.inputs.end(), "-") != c.request.inputs.end();
    if (reads_stdin && c.what != command::daily) {
        say_wrong("netcdf and scenario read files, not standard input ('-')");
        return false;
    }
    if (c.request.name.empty() && reads_stdin) {
        say_wrong("standard input ('-') needs --name");
        return false;
    }
    if (!c.request.ghcn_stations.empty() && c.request.options.format != import::source::ghcn) {
        say_wrong("--ghcn-stations goes with the ghcn format");
        return false;
    }
    return true;
}

#ifdef SITEPREP_NETCDF
int run_netcdf(const command_line &c) {
    const import::import_request &r = c.request;
    import::netcdf_request n;
    n.inputs = r.inputs;
    n.sites = c.sites;
    for (int q = 0; q < import::quantities; ++q)
        n.variable[q] = r.options.columns.value[q];
    n.elevation = c.elevation;
    n.max_distance_km = c.max_distance_km;
    n.daily = c.daily_steps;
    n.output_dir = r.output_dir;
    n.stations = r.stations;
    n.force = r.force;
    n.keep_going = r.keep_going;
    n.first_year = r.options.first_year;
    n.last_year = r.options.last_year;
    return import::run_netcdf_import(n);
}
#endif

int run(const command_line &c) {
    const import::import_request &r = c.request;
    switch (c.what) {
    case command::daily:
        return import::run_import(r);
    case command::fill:
        return import::run_fill(c.fill_request);
    case command::scenario:
        return import::run_scenario({r.inputs, c.deltas, r.output_dir, r.force, r.keep_going});
    case command::netcdf:
#ifdef SITEPREP_NETCDF
        return run_netcdf(c);
#else
        break; // refused on the command line
#endif
    }
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    // The soils table and the site list have command lines of their own.
    if (argc > 1 && std::strcmp(argv[1], "soil") == 0)
        return finish_printing("siteprep-import", import::soil_command(argc - 1, argv + 1));
    if (argc > 1 && std::strcmp(argv[1], "sites") == 0)
        return finish_printing("siteprep-import", import::sites_command(argc - 1, argv + 1));
    command_line c;
    if (!parse_command_line(argc, argv, c)) {
        print_error_text(usage_line);
        print_error_text("Try 'siteprep-import --help' for more information.\n");
        return 2;
    }
    if (c.help) {
        print_help();
        return finish_printing("siteprep-import", 0);
    }
    if (c.version) {
        print_format("siteprep-import %s\n", SITEPREP_VERSION);
        return finish_printing("siteprep-import", 0);
    }
    fail_writes_past_size_limit();
    return finish_printing("siteprep-import", run(c));
}
