// The command line of the daily formats' import: the options every format
// takes, and each format's own.
#include "daily_command.h"

#include "command_options.h"
#include "daily_import.h"
#include "daily_plan.h"
#include "fill_command.h"
#include "outputs.h"
#include "points.h"
#include "reporter.h"
#include "shown.h"

#include <algorithm>

namespace import {

namespace {

std::string daily_usage(const daily_format &f) {
    if (f.plan != nullptr)
        return usage_of({std::string(f.name) + " [OPTIONS] FILE...",
                         std::string(f.name) + " --plan " +
                             (f.plan == plan_ghcn ? "STATIONS.csv" : "POINTS.csv") +
                             " [OPTIONS] > PLAN.sh"});
    return usage_of({std::string(f.name) + " [OPTIONS] FILE..."});
}

void print_daily_help(const daily_format &f) {
    say_text(daily_usage(f));
    say_format("\n"
               "Writes DIR/NAME.wth for each FILE, %s: one line a day,\n"
               "day month year day-of-year tmax tmin precipitation, temperatures in degrees C\n"
               "and precipitation in cm a day, -99.99 for a value the source lacks, marks\n"
               "missing or flags as failed, and for one no weather can have (outside -90 to\n"
               "60 degrees C, 0 to 200 cm a day; a warning names the file). Every calendar\n"
               "day of whole years is written, from January 1 of the first year with data\n"
               "to December 31 of the last. NAME is FILE's name without its extension%s.\n"
               "FILE '-' is standard input (with --name). Inputs are never written.\n"
               "\n"
               "Options:\n"
               "  -o, --output-dir DIR  write the daily files in DIR, made if missing\n"
               "                        (default: .)\n"
               "  --name NAME           the daily file's name, for a single FILE\n"
               "  --force               replace an existing daily file\n"
               "  --years FIRST-LAST    write these years only (a normals period)\n"
               "  --stations FILE.csv   also put a row per imported input in this table\n"
               "                        (rows of other names are kept)\n"
               "  --keep-going          go on past a failed input and list the failures\n",
               f.help, f.named_by_station ? " (here: the station ID)" : "");
    say_text(f.options_help);
    say_text(shared_options_help);
    say_text("\n"
             "Exit status: 0 when every FILE was imported, 1 after an error, 2 for a\n"
             "wrong command line.\n");
}

// What the command line gives, and which of the options were given.
struct daily_line {
    import_request r;
    bool help = false, temp_given = false, prcp_given = false, tuned = false;
    bool plan_format_given = false;
    const char *import_only = nullptr; // the first option given that only an import takes
};

// The options that only an import takes, by their letter: none with --plan.
const char *import_option_name(int opt) {
    switch (opt) {
    case 'o':
        return "--output-dir";
    case 'n':
        return "--name";
    case 'f':
        return "--force";
    case 's':
        return "--stations";
    case 'g':
        return "--ghcn-stations";
    case 'A':
    case 'O':
    case 'E':
        return "--lat, --lon and --elevation";
    case 'p':
        return "--points";
    case 'W':
        return "--fill-from";
    default:
        return nullptr;
    }
}

bool take_plan_option(int opt, daily_line &c) {
    import_request &r = c.r;
    if (opt == 'U')
        return take_text("--plan", r.plan);
    if (opt == 'u')
        return take_text("--base-url", r.base_url);
    c.plan_format_given = true;
    const std::string text = optarg;
    if (text == "csv" || text == "json") {
        r.plan_json = text == "json";
        return true;
    }
    say_error("invalid --plan-format '" + text + "': csv or json");
    return false;
}

bool take_name(import_request &r) {
    if (!take_text("--name", r.name))
        return false;
    if (r.name.find('/') != std::string::npos || r.name == "." || r.name == "..") {
        say_error("invalid --name '" + r.name + "': a name, not a path");
        return false;
    }
    if (!site_list_can_name(r.name)) {
        say_error("invalid --name " + quote_token(r.name) +
                  ": white space or a control character, which no site list can name");
        return false;
    }
    return true;
}

bool take_unit(int opt, const std::string &text, daily_line &c) {
    import_options &o = c.r.options;
    if (opt == 'P') {
        c.prcp_given = true;
        if (text == "mm" || text == "cm" || text == "in") {
            o.prcp = text == "mm"   ? prcp_unit::mm
                     : text == "cm" ? prcp_unit::cm
                                    : prcp_unit::inches;
            return true;
        }
        say_error("invalid --prcp-unit '" + text + "': mm, cm or in");
        return false;
    }
    c.temp_given = true;
    if (text == "C" || text == "F" || text == "K") {
        o.temp = text == "C"   ? temp_unit::celsius
                 : text == "F" ? temp_unit::fahrenheit
                               : temp_unit::kelvin;
        return true;
    }
    say_error("invalid --temp-unit '" + text + "': C, F or K");
    return false;
}

bool take_delimiter(const std::string &text, import_options &o) {
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
    say_error("invalid --delimiter '" + text + "': one character, 'tab' or 'space'");
    return false;
}

// A csv column option: where its name goes.
std::string *column_option(int opt, csv_columns &c) {
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
        return &c.value[tmax];
    case 'N':
        return &c.value[tmin];
    case 'R':
        return &c.value[prcp];
    default:
        return nullptr;
    }
}

// The options of a format's own: csv's columns, units and missing codes;
// ghcn's places; ghcn's and daymet's donors and the fill's settings.
bool take_format_option(int opt, daily_line &c) {
    import_request &r = c.r;
    if (std::string *column = column_option(opt, r.options.columns); column != nullptr)
        return take_text("a column option", *column);
    switch (opt) {
    case 'P':
    case 'T':
        return take_unit(opt, optarg, c);
    case 'm':
        r.options.missing.push_back(optarg);
        return true;
    case 'l':
        return take_delimiter(optarg, r.options);
    case 'g':
        return take_text("--ghcn-stations", r.ghcn_stations);
    case 'A':
        return take_text("--lat", r.latitude);
    case 'O':
        return take_text("--lon", r.longitude);
    case 'E':
        return take_text("--elevation", r.elevation);
    case 'p':
        return take_text("--points", r.points);
    case 'W':
        r.fill_from.push_back(optarg);
        return true;
    case 'U':
    case 'u':
    case 'F':
        return take_plan_option(opt, c);
    default:
        c.tuned = true;
        return take_fill_setting(opt, r.fill);
    }
}

bool take_daily_option(int opt, daily_line &c) {
    import_request &r = c.r;
    if (c.import_only == nullptr)
        c.import_only = import_option_name(opt);
    switch (opt) {
    case 'o':
        return take_text("--output-dir", r.output_dir);
    case 'n':
        return take_name(r);
    case 'f':
        r.force = true;
        return true;
    case 'y':
        return take_years(optarg, r.options.first_year, r.options.last_year);
    case 's':
        return take_text("--stations", r.stations);
    case 'k':
        r.keep_going = true;
        return true;
    case 'h':
        c.help = true;
        return true;
    case '?':
        return false; // getopt_long has said why
    default:
        return take_format_option(opt, c);
    }
}

} // namespace

namespace {

// The options every daily format takes, then those of the format's own.
std::vector<option> daily_options(const daily_format &f) {
    std::vector<option> table = {{"output-dir", required_argument, nullptr, 'o'},
                                 {"name", required_argument, nullptr, 'n'},
                                 {"force", no_argument, nullptr, 'f'},
                                 {"years", required_argument, nullptr, 'y'},
                                 {"stations", required_argument, nullptr, 's'},
                                 {"keep-going", no_argument, nullptr, 'k'},
                                 {"help", no_argument, nullptr, 'h'}};
    if (f.user_columns)
        table.insert(table.end(), {{"prcp-unit", required_argument, nullptr, 'P'},
                                   {"temp-unit", required_argument, nullptr, 'T'},
                                   {"date", required_argument, nullptr, 'D'},
                                   {"year", required_argument, nullptr, 'Y'},
                                   {"month", required_argument, nullptr, 'M'},
                                   {"day", required_argument, nullptr, 'd'},
                                   {"tmax", required_argument, nullptr, 'X'},
                                   {"tmin", required_argument, nullptr, 'N'},
                                   {"prcp", required_argument, nullptr, 'R'},
                                   {"missing", required_argument, nullptr, 'm'},
                                   {"delimiter", required_argument, nullptr, 'l'}});
    if (f.station_extras)
        table.push_back({"ghcn-stations", required_argument, nullptr, 'g'});
    if (f.placeless)
        table.insert(table.end(), {{"lat", required_argument, nullptr, 'A'},
                                   {"lon", required_argument, nullptr, 'O'},
                                   {"elevation", required_argument, nullptr, 'E'},
                                   {"points", required_argument, nullptr, 'p'}});
    if (f.plan != nullptr)
        table.insert(table.end(), {{"plan", required_argument, nullptr, 'U'},
                                   {"base-url", required_argument, nullptr, 'u'}});
    if (f.plan == plan_power) // POWER serves CSV or JSON
        table.push_back({"plan-format", required_argument, nullptr, 'F'});
    if (f.fills)
        table.insert(table.end(), {{"fill-from", required_argument, nullptr, 'W'},
                                   {"max-interp", required_argument, nullptr, 'I'},
                                   {"min-overlap", required_argument, nullptr, 'L'},
                                   {"max-bias", required_argument, nullptr, 'B'}});
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

// The options of other commands and formats, and where they go.
std::vector<refused_options> daily_refuses(const daily_format &f) {
    std::vector<refused_options> refused = {
        {{"sites=", "max-distance=", "elevation=", "daily", "deltas="},
         "--sites, --max-distance, --elevation and --daily go with netcdf, --deltas with "
         "scenario"},
        {{"accumulation="}, "--accumulation goes with netcdf"}};
    if (f.placeless) // --elevation is its own
        refused[0] = {{"sites=", "max-distance=", "daily", "deltas="},
                      "--sites, --max-distance and --daily go with netcdf, --deltas with "
                      "scenario"};
    else
        refused.push_back({{"lat=", "lon=", "points="},
                           std::string("--lat, --lon and --points go with csv and ghcn, whose "
                                       "files carry no place; ") +
                               f.name + "'s files give their own"});
    if (!f.user_columns)
        refused.push_back({{"prcp-unit=", "temp-unit=", "date=", "year=", "month=", "day=", "tmax=",
                            "tmin=", "prcp=", "missing=", "delimiter="},
                           std::string("units, columns, --missing and --delimiter are for csv; ") +
                               f.name + " documents its own"});
    if (!f.station_extras)
        refused.push_back({{"ghcn-stations="}, "--ghcn-stations goes with the ghcn format"});
    if (f.plan == nullptr)
        refused.push_back({{"plan=", "base-url=", "plan-format="},
                           "--plan, --base-url and --plan-format go with daymet, power and ghcn "
                           "(and soil): their services' downloads"});
    else if (f.plan != plan_power)
        refused.push_back({{"plan-format="},
                           "--plan-format goes with power --plan: POWER serves "
                           "CSV or JSON"});
    for (refused_options &r : fill_options_refused(f.fills))
        refused.push_back(std::move(r));
    return refused;
}

// What a format whose columns the user names needs.
bool check_columns(const daily_line &c) {
    const csv_columns &col = c.r.options.columns;
    if (!c.prcp_given || !c.temp_given) {
        say_error(std::string(c.r.options.format->name) +
                  " needs --prcp-unit and --temp-unit: no default is safe");
        return false;
    }
    const bool date = !col.date.empty();
    const bool parts = !col.year.empty() && !col.month.empty() && !col.day.empty();
    const bool some_part = !col.year.empty() || !col.month.empty() || !col.day.empty();
    if (date == some_part || (some_part && !parts)) {
        say_error(std::string(c.r.options.format->name) +
                  " needs --date COL, or --year, --month and --day, not both");
        return false;
    }
    for (const std::string &v : col.value)
        if (v.empty()) {
            say_error(std::string(c.r.options.format->name) + " needs --tmax, --tmin and --prcp");
            return false;
        }
    return true;
}

// The place options together: --lat and --lon both or neither, each a
// number within its range; not with --points or --ghcn-stations.
bool check_place(const import_request &r) {
    const bool lat = !r.latitude.empty(), lon = !r.longitude.empty();
    if (lat != lon || (!r.elevation.empty() && !lat)) {
        say_error("--lat and --lon go together (and --elevation with them)");
        return false;
    }
    if (lat && !r.points.empty()) {
        say_error("--lat and --lon, or --points, not both");
        return false;
    }
    if ((lat || !r.points.empty()) && !r.ghcn_stations.empty()) {
        say_error("--ghcn-stations, or --lat and --lon or --points, not both");
        return false;
    }
    if (lat)
        if (const std::string fault = place_fault(r.latitude, r.longitude, r.elevation);
            !fault.empty()) {
            say_error("invalid place: " + fault);
            return false;
        }
    return true;
}

// --plan: its own options, no FILE, none that only an import takes.
bool check_plan(int argc, const daily_line &c) {
    const import_request &r = c.r;
    if (r.plan.empty()) {
        say_error("--base-url and --plan-format go with --plan");
        return false;
    }
    if (c.import_only != nullptr || c.tuned) {
        const std::string what = c.import_only != nullptr ? c.import_only : "the fill's settings";
        const bool many = c.import_only == nullptr || what.find(" and ") != std::string::npos;
        say_error("--plan prints the downloads and imports nothing: " + what +
                  (many ? " go" : " goes") + " with an import");
        return false;
    }
    if (r.options.format->plan == plan_power && r.options.first_year == 0) {
        say_error("power --plan needs --years FIRST-LAST: the service serves the dates asked");
        return false;
    }
    if (optind < argc) {
        say_error("--plan prints the downloads: it takes no FILE");
        return false;
    }
    return true;
}

bool read_daily_line(const daily_format &f, int argc, char **argv, daily_line &c) {
    import_request &r = c.r;
    r.options.format = &f;
    const std::vector<option> table = daily_options(f);
    if (!read_command_options(
            argc, argv, table.data(), [&c](int opt) { return take_daily_option(opt, c); },
            daily_refuses(f), "ho:"))
        return false;
    if (c.help)
        return true;
    if (!r.plan.empty() || !r.base_url.empty() || c.plan_format_given)
        return check_plan(argc, c);
    if (f.user_columns && !check_columns(c))
        return false;
    if (!check_place(r))
        return false;
    if (c.tuned && r.fill_from.empty()) {
        say_error("--max-interp, --min-overlap and --max-bias go with fill or --fill-from");
        return false;
    }
    r.fill.copy_lacking = true; // a GHCN station often has no temperature at all
    if (!take_inputs(argc, argv, true, r.inputs))
        return false;
    if (!r.name.empty() && r.inputs.size() > 1) {
        say_error("--name is for a single input file");
        return false;
    }
    if (!r.latitude.empty() && r.inputs.size() > 1) {
        say_error("--lat and --lon are the place of a single input file: give --points");
        return false;
    }
    if (r.name.empty() && std::find(r.inputs.begin(), r.inputs.end(), "-") != r.inputs.end()) {
        say_error("standard input ('-') needs --name");
        return false;
    }
    return true;
}

} // namespace

int daily_command(const daily_format &format, int argc, char **argv) {
    daily_line c;
    if (!read_daily_line(format, argc, argv, c))
        return wrong_command_line(daily_usage(format), format.name);
    if (c.help) {
        print_daily_help(format);
        return 0;
    }
    if (!c.r.plan.empty())
        return run_daily_plan(c.r);
    return run_import(c.r);
}

} // namespace import
