// The command lines of both programs: a wrong one says what is wrong on its
// first line, prints the usage and a hint, writes nothing on standard
// output and ends with status 2; options may stand before or after the site
// list; help and version.
#include "data.h"
#include "table.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const std::string siteprep = "siteprep", import = "siteprep-import", soil = "siteprep-import soil",
                  sites = "siteprep-import sites", stations = "siteprep-import stations";

struct cli_case {
    const char *what;
    std::string program;
    std::vector<std::string> args;
    int status;
    const char *said; // the start of standard error's first line
};

TABLE_TEST(CommandLine, cli_case);

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// Run beside a batch of one site, plot, listed in sites.txt.
TEST_P(CommandLine, SaysWhatIsWrong) {
    const cli_case &c = GetParam();
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    write_usual_site(dir, "plot");
    const tool_result r =
        c.program == siteprep ? run_tool(dir.path(), c.args) : run_import(dir.path(), c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1).rfind(c.said, 0), 0u) << r.err;
    if (c.status == 2) {
        // A command's usage and help, or the program's before any command.
        const std::set<std::string> commands = {"daymet", "ghcn",   "power",   "csv",
                                                "fill",   "netcdf", "scenario"};
        const std::string named =
            c.program == import && !c.args.empty() && commands.count(c.args[0])
                ? c.program + " " + c.args[0]
                : c.program;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(has(r.err, c.program == import && named == c.program
                                   ? "\nusage: siteprep-import COMMAND"
                                   : "\nusage: " + named + " "))
            << r.err;
        EXPECT_TRUE(has(r.err, "\nTry '" + named + " --help' for more information.\n")) << r.err;
    }
}

INSTANTIATE_TABLE(
    CommandLine, cli_case{"no_argument", siteprep, {}, 2, "siteprep: no site list given\n"},
    cli_case{"two_lists", siteprep, {"a", "b"}, 2, "siteprep: one site list expected, not 2"},
    cli_case{"two_lists_after_an_option",
             siteprep,
             {"sites.txt", "more.txt"},
             2,
             "siteprep: one site list expected, not 2 arguments\n"},
    cli_case{"unknown_option", siteprep, {"--bogus"}, 2, "siteprep: unrecognized option '--bogus'"},
    cli_case{"unknown_option_before_the_list",
             siteprep,
             {"--bogus", "sites.txt"},
             2,
             "siteprep: unrecognized option '--bogus'\n"},
    cli_case{"unknown_short_option",
             siteprep,
             {"-x", "sites.txt"},
             2,
             "siteprep: invalid option -- 'x'\n"},
    cli_case{"value_missing_at_the_end",
             siteprep,
             {"sites.txt", "--jobs"},
             2,
             "siteprep: option '--jobs' requires an argument\n"},
    cli_case{"value_missing_alone",
             siteprep,
             {"--jobs"},
             2,
             "siteprep: option '--jobs' requires an argument\n"},
    cli_case{"jobs_not_a_number",
             siteprep,
             {"--jobs", "x", "sites.txt"},
             2,
             "siteprep: invalid --jobs value 'x': a whole number from 1 to 256\n"},
    cli_case{"jobs_zero",
             siteprep,
             {"--jobs", "0", "sites.txt"},
             2,
             "siteprep: invalid --jobs value '0': a whole number from 1 to 256\n"},
    cli_case{"value_given_to_a_flag",
             siteprep,
             {"--keep-going=yes", "sites.txt"},
             2,
             "siteprep: option '--keep-going' doesn't allow an argument\n"},
    cli_case{"strict_without_check",
             siteprep,
             {"--strict", "sites.txt"},
             2,
             "siteprep: option '--strict' goes with '--check'\n"},
    cli_case{"strict_without_check_after_the_list",
             siteprep,
             {"sites.txt", "--strict"},
             2,
             "siteprep: option '--strict' goes with '--check'\n"},
    cli_case{"empty_file_name",
             siteprep,
             {"--summary", "", "sites.txt"},
             2,
             "siteprep: option '--summary' needs a file name\n"},
    cli_case{
        "part_zero", siteprep, {"--part", "0/3", "l"}, 2, "siteprep: invalid --part value '0/3'"},
    cli_case{"part_past_the_parts",
             siteprep,
             {"--part", "4/3", "l"},
             2,
             "siteprep: invalid --part value '4/3'"},
    cli_case{"part_without_count",
             siteprep,
             {"--part", "3", "l"},
             2,
             "siteprep: invalid --part value '3'"},
    cli_case{"part_of_three_numbers",
             siteprep,
             {"--part", "1/2/3", "l"},
             2,
             "siteprep: invalid --part value '1/2/3'"},
    cli_case{"part_with_a_sign",
             siteprep,
             {"--part", "+1/2", "l"},
             2,
             "siteprep: invalid --part value '+1/2'"},
    cli_case{"scratch_not_a_directory",
             siteprep,
             {"--scratch", "nowhere", "l"},
             2,
             "siteprep: --scratch 'nowhere' is not a directory"},
    cli_case{"failed_with_check",
             siteprep,
             {"--check", "--failed", "f", "l"},
             2,
             "siteprep: option '--failed' goes with a run, not '--check'"},
    // Options after the site list, and after "--" a list named like one.
    cli_case{"check_option_after_the_list",
             siteprep,
             {"--check", "sites.txt", "--strict"},
             1,
             ""}, // its one year is a warning
    cli_case{"run_option_after_the_list", siteprep, {"sites.txt", "--jobs", "1"}, 0, ""},
    cli_case{"list_named_like_an_option",
             siteprep,
             {"--", "--check"},
             1,
             "siteprep: the run failed before its first site"},
    cli_case{"short_help", siteprep, {"-h"}, 0, ""},
    cli_case{"completeness_unknown",
             siteprep,
             {"--completeness", "wmo3", "sites.txt"},
             2,
             "siteprep: invalid --completeness value 'wmo3': legacy, wmo, wmo35, ghcnm or pct:P"},
    cli_case{"years_backwards",
             siteprep,
             {"--years", "2020-1991", "sites.txt"},
             2,
             "siteprep: invalid --years value '2020-1991'"},
    cli_case{"years_with_blanks",
             siteprep,
             {"--years", " 1991- 2020", "sites.txt"},
             2,
             "siteprep: invalid --years value ' 1991- 2020'"},
    cli_case{"normals_min_without_check",
             siteprep,
             {"--years", "1991-2020", "--normals-min", "0.8", "sites.txt"},
             2,
             "siteprep: option '--normals-min' goes with '--check'"},
    cli_case{"normals_min_without_years",
             siteprep,
             {"--check", "--normals-min", "0.8", "sites.txt"},
             2,
             "siteprep: option '--normals-min' needs '--years'"},
    cli_case{"normals_min_above_one",
             siteprep,
             {"--check", "--years", "1991-2020", "--normals-min", "80", "sites.txt"},
             2,
             "siteprep: invalid --normals-min value '80'"},
    cli_case{"neighbours_without_check",
             siteprep,
             {"--neighbours", "5", "sites.txt"},
             2,
             "siteprep: option '--neighbours' goes with '--check'"},
    cli_case{"neighbours_at_no_distance",
             siteprep,
             {"--check", "--neighbours", "5,0", "sites.txt"},
             2,
             "siteprep: invalid --neighbours value '5,0'"},
    cli_case{"fill_without_a_donor",
             import,
             {"fill", "t.wth", "-o", "out"},
             2,
             "siteprep-import: fill needs a --donor daily file"},
    cli_case{"fill_without_output_or_force",
             import,
             {"fill", "t.wth", "--donor", "a.wth"},
             2,
             "siteprep-import: fill needs -o DIR, or --force"},
    cli_case{"fill_with_a_formats_option",
             import,
             {"fill", "t.wth", "--donor", "a.wth", "--force", "--years", "2001-2002"},
             2,
             "siteprep-import: fill takes --donor"},
    cli_case{"fill_from_for_another_format",
             import,
             {"power", "--fill-from", "a.wth", "x"},
             2,
             "siteprep-import: --fill-from goes with the ghcn and daymet formats"},
    cli_case{"fill_setting_without_a_fill",
             import,
             {"ghcn", "--max-bias", "2", "x"},
             2,
             "siteprep-import: --max-interp, --min-overlap and --max-bias go with fill"},
    cli_case{"import_no_format", import, {}, 2, "siteprep-import: no format given"},
    cli_case{"import_unknown_format",
             import,
             {"grib", "x"},
             2,
             "siteprep-import: unknown format 'grib'"},
    cli_case{"import_no_input", import, {"daymet"}, 2, "siteprep-import: no input file given"},
    cli_case{"import_max_distance_not_a_distance",
             import,
             {"netcdf", "--max-distance", "-3", "x.nc"},
             2,
             "siteprep-import: invalid --max-distance '-3'"},
    cli_case{"import_grid_option_for_a_daily_format",
             import,
             {"daymet", "--sites", "s.txt", "x"},
             2,
             "siteprep-import: --sites, --max-distance, --elevation and --daily go with netcdf"},
    cli_case{"import_scenario_without_output",
             import,
             {"scenario", "--deltas", "d.csv", "x.wth"},
             2,
             "siteprep-import: scenario needs --deltas and -o DIR"},
    cli_case{
        "import_scenario_with_a_grid_option",
        import,
        {"scenario", "--deltas", "d.csv", "-o", "sc", "--daily", "x.wth"},
        2,
        "siteprep-import: scenario takes only --deltas, -o, --sites, --force and --keep-going"},
    cli_case{"import_units_for_a_documented_format",
             import,
             {"daymet", "--prcp-unit", "mm", "x"},
             2,
             "siteprep-import: units, columns, --missing and --delimiter are for csv; daymet "
             "documents its own"},
    cli_case{"import_csv_without_units",
             import,
             {"csv", "--date", "d", "--tmax", "a", "--tmin", "b", "--prcp", "c", "x"},
             2,
             "siteprep-import: csv needs --prcp-unit and --temp-unit"},
    cli_case{"import_csv_year_alone",
             import,
             {"csv", "--date", "date", "--tmax", "temp_max", "--tmin", "temp_min", "--prcp",
              "precipitation", "--prcp-unit", "mm", "--temp-unit", "C", "--year", "y", "x"},
             2,
             "siteprep-import: csv needs --date COL, or --year, --month and --day"},
    cli_case{"import_unknown_unit",
             import,
             {"csv", "--date", "date", "--tmax", "temp_max", "--tmin", "temp_min", "--prcp",
              "precipitation", "--prcp-unit", "mm", "--temp-unit", "C", "--prcp-unit", "ft", "x"},
             2,
             "siteprep-import: invalid --prcp-unit 'ft'"},
    cli_case{"import_years_backwards",
             import,
             {"power", "--years", "2020-1990", "x"},
             2,
             "siteprep-import: invalid --years value '2020-1990'"},
    cli_case{"import_years_with_blanks",
             import,
             {"daymet", "--years", " 1991- 2020", "x"},
             2,
             "siteprep-import: invalid --years value ' 1991- 2020'"},
    cli_case{"import_max_distance_with_a_trailing_unit",
             import,
             {"netcdf", "--max-distance", "5km", "x.nc"},
             2,
             "siteprep-import: invalid --max-distance '5km'"},
    cli_case{"import_option_before_a_daily_format",
             import,
             {"-o", "d", "power", "x"},
             2,
             "siteprep-import: 'power' is a command: it comes first"},
    cli_case{"import_option_of_another_command",
             import,
             {"netcdf", "--donor", "a.wth", "x.nc"},
             2,
             "siteprep-import: --donor goes with fill"},
    cli_case{"import_name_with_a_directory",
             import,
             {"power", "--name", "a/b", "x"},
             2,
             "siteprep-import: invalid --name 'a/b'"},
    cli_case{"import_name_for_two_inputs",
             import,
             {"power", "--name", "n", "x", "y"},
             2,
             "siteprep-import: --name is for a single input file"},
    cli_case{"import_lat_alone",
             import,
             {"ghcn", "--lat", "47", "x"},
             2,
             "siteprep-import: --lat and --lon go together"},
    cli_case{"import_longitude_past_360",
             import,
             {"ghcn", "--lat", "47", "--lon", "360.5", "x"},
             2,
             "siteprep-import: invalid place: the longitude \"360.5\" is not a number from -180 "
             "to 360"},
    cli_case{"import_elevation_not_a_number",
             import,
             {"ghcn", "--lat", "47", "--lon", "9", "--elevation", "inf", "x"},
             2,
             "siteprep-import: invalid place: the elevation \"inf\""},
    cli_case{"import_one_place_for_two_inputs",
             import,
             {"ghcn", "--lat", "47", "--lon", "9", "x", "y"},
             2,
             "siteprep-import: --lat and --lon are the place of a single input file"},
    cli_case{"import_two_sources_of_places",
             import,
             {"ghcn", "--points", "p.csv", "--ghcn-stations", "s", "x"},
             2,
             "siteprep-import: --ghcn-stations, or --lat and --lon or --points, not both"},
    cli_case{"import_place_for_a_placed_source",
             import,
             {"daymet", "--lat", "47", "--lon", "9", "x"},
             2,
             "siteprep-import: --lat, --lon and --points go with csv and ghcn"},
    cli_case{"import_stations_of_another_format",
             import,
             {"power", "--ghcn-stations", "s", "x"},
             2,
             "siteprep-import: --ghcn-stations goes with the ghcn format"},
    cli_case{"import_more_years_than_siteprep_reads",
             import,
             {"power", "--years", "2012-2600", "x"},
             2,
             "siteprep-import: invalid --years value '2012-2600': more than 500 years, the most "
             "siteprep reads"},
    cli_case{"import_name_with_white_space",
             import,
             {"power", "--name", "a b", "x"},
             2,
             "siteprep-import: invalid --name \"a b\": white space"},
    cli_case{"import_standard_input_without_name",
             import,
             {"power", "-"},
             2,
             "siteprep-import: standard input ('-') needs --name"},
    cli_case{"template_without_a_name",
             siteprep,
             {"--template", "", "sites.txt"},
             2,
             "siteprep: option '--template' needs a file name\n"},
    cli_case{"import_command_after_an_option",
             import,
             {"-o", "d", "soil", "x"},
             2,
             "siteprep-import: 'soil' is a command: it comes first"},
    cli_case{"soil_unknown_format",
             soil,
             {"soil", "clay", "x"},
             2,
             "siteprep-import: unknown soil format 'clay'"},
    cli_case{"soil_without_a_table",
             soil,
             {"soil", "horizons", "h.csv", "--layer-code", "3", "--pass-through", "1"},
             2,
             "siteprep-import: --soils OUT.csv is needed"},
    cli_case{"soil_without_a_code",
             soil,
             {"soil", "horizons", "h.csv", "--pass-through", "1", "--soils", "s.csv"},
             2,
             "siteprep-import: give --layer-code N or --default-layer-code N"},
    cli_case{"soil_two_pass_throughs",
             soil,
             {"soil", "soilgrids", "a.json", "--layer-code", "3", "--pass-through", "1",
              "--pass-through-from", "phh2o", "--soils", "s.csv"},
             2,
             "siteprep-import: give one of --pass-through VALUE and --pass-through-from"},
    cli_case{"soil_code_past_nine",
             soil,
             {"soil", "sda", "--layer-code", "10"},
             2,
             "siteprep-import: invalid --layer-code value '10': a whole number from 1 to 9"},
    cli_case{"soil_quantile_of_sda",
             soil,
             {"soil", "sda", "--quantile", "Q0.5", "--plan", "p.csv"},
             2,
             "siteprep-import: --quantile, --pass-through-from and --name go with soilgrids"},
    cli_case{"soil_plan_and_files",
             soil,
             {"soil", "sda", "--plan", "p.csv", "x.json"},
             2,
             "siteprep-import: --plan prints the downloads: it takes no FILE"},
    cli_case{"plan_of_csv",
             import,
             {"csv", "--plan", "p.csv"},
             2,
             "siteprep-import: --plan, --base-url and --plan-format go with daymet, power and "
             "ghcn"},
    cli_case{"plan_format_of_ghcn",
             import,
             {"ghcn", "--plan", "p.csv", "--plan-format", "json"},
             2,
             "siteprep-import: --plan-format goes with power --plan"},
    cli_case{"plan_format_unknown",
             import,
             {"power", "--plan", "p.csv", "--plan-format", "xml", "--years", "1991-2020"},
             2,
             "siteprep-import: invalid --plan-format 'xml': csv or json"},
    cli_case{"base_url_without_plan",
             import,
             {"daymet", "--base-url", "http://127.0.0.1:1", "x.csv"},
             2,
             "siteprep-import: --base-url and --plan-format go with --plan"},
    cli_case{"power_plan_without_years",
             import,
             {"power", "--plan", "p.csv"},
             2,
             "siteprep-import: power --plan needs --years FIRST-LAST"},
    cli_case{"plan_and_files",
             import,
             {"daymet", "--plan", "p.csv", "x.csv"},
             2,
             "siteprep-import: --plan prints the downloads: it takes no FILE"},
    cli_case{"plan_and_an_import_option",
             import,
             {"ghcn", "--plan", "p.csv", "-o", "wth"},
             2,
             "siteprep-import: --plan prints the downloads and imports nothing: --output-dir goes "
             "with an import"},
    cli_case{"plan_and_the_fill",
             import,
             {"daymet", "--plan", "p.csv", "--max-interp", "2"},
             2,
             "siteprep-import: --plan prints the downloads and imports nothing: the fill's "
             "settings go with an import"},
    cli_case{"sites_without_soils",
             sites,
             {"sites", "--stations", "st.csv"},
             2,
             "siteprep-import: sites needs --stations FILE.csv and --soils FILE.csv"},
    cli_case{"sites_with_an_argument",
             sites,
             {"sites", "--stations", "st.csv", "--soils", "so.csv", "out.txt"},
             2,
             "siteprep-import: unexpected argument 'out.txt'"},
    cli_case{"stations_without_a_period",
             stations,
             {"stations", "--points", "p.csv", "--ghcn-stations", "s.txt", "--inventory", "i.txt",
              "--choice", "c.csv"},
             2,
             "siteprep-import: --years FIRST-LAST is needed: the period the stations must cover"},
    cli_case{"stations_share_past_one",
             stations,
             {"stations", "--share", "1.5"},
             2,
             "siteprep-import: invalid --share value '1.5': a number more than 0 and at most 1"},
    cli_case{"stations_donors_not_whole",
             stations,
             {"stations", "--donors", "2.5"},
             2,
             "siteprep-import: invalid --donors value '2.5': a whole number from 0 to 100"},
    cli_case{"stations_base_url_without_plan",
             stations,
             {"stations", "--points", "p.csv", "--ghcn-stations", "s.txt", "--inventory", "i.txt",
              "--years", "1991-2020", "--choice", "c.csv", "--base-url", "http://127.0.0.1:9"},
             2,
             "siteprep-import: --base-url goes with --plan"},
    cli_case{"stations_with_an_argument",
             stations,
             {"stations", "p.csv"},
             2,
             "siteprep-import: unexpected argument 'p.csv': the points are given as --points"},
    cli_case{"import_accumulation_unknown",
             import,
             {"netcdf", "--daily", "--accumulation", "hour", "x.nc"},
             2,
             "siteprep-import: invalid --accumulation 'hour': step (the amount of the step "
             "ending at its time) or day (the amount since 00 UTC)"},
    cli_case{"import_accumulation_without_daily",
             import,
             {"netcdf", "--sites", "s", "--tmax", "a", "--tmin", "b", "--prcp", "c",
              "--accumulation", "day", "x.nc"},
             2,
             "siteprep-import: --accumulation is for sub-daily precipitation taken to days: give "
             "--daily"},
    cli_case{"import_accumulation_for_a_daily_format",
             import,
             {"power", "--accumulation", "day", "x"},
             2,
             "siteprep-import: --accumulation goes with netcdf"});

TEST(CommandLine, HelpAndVersion) {
    scratch_dir dir;
    const tool_result help = run_tool(dir.path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: siteprep", 0), 0u);
    // The daily file's units, which a user converting downloaded weather needs.
    for (const char *unit : {"Tmax Tmin\nprecipitation, temperatures in degrees C", "cm a day"})
        EXPECT_TRUE(has(help.out, unit)) << unit;
    const tool_result version = run_tool(dir.path(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("siteprep ", 0), 0u);
}

// Each command's help: its own options, none of another command's, and
// every option it shows one the command takes.
TEST(CommandLine, EachImportCommandsHelpHoldsItsOwnOptions) {
    const struct {
        const char *command;
        std::vector<std::string> shown, not_shown;
    } cases[] = {
        {"daymet",
         {"--years", "--stations", "--name", "--fill-from", "--max-bias"},
         {"--prcp-unit", "--ghcn-stations", "--donor", "--sites"}},
        {"ghcn",
         {"--fill-from", "--ghcn-stations", "--max-bias"},
         {"--prcp-unit", "--donor", "--deltas"}},
        {"csv", {"--prcp-unit", "--delimiter", "--tmax"}, {"--fill-from", "--donor", "--sites"}},
        {"fill", {"--donor", "--max-interp"}, {"--years", "--sites", "--deltas", "--prcp-unit"}},
        {"netcdf",
         {"--sites", "--daily", "--tmax", "--accumulation"},
         {"--donor", "--deltas", "--name", "--delimiter"}},
        {"scenario", {"--deltas", "--keep-going", "--sites"}, {"--years", "--donor", "--stations"}},
        {"stations",
         {"--inventory", "--donors", "--max-distance", "--plan", "--base-url"},
         {"--soils", "--deltas", "--fill-from", "--name"}},
    };
    scratch_dir dir;
    for (const auto &c : cases) {
        const tool_result help = run_import(dir.path(), {c.command, "--help"});
        EXPECT_EQ(help.status, 0) << c.command;
        for (const std::string &o : c.shown)
            EXPECT_TRUE(has(help.out, o)) << c.command << " " << o;
        for (const std::string &o : c.not_shown)
            EXPECT_FALSE(has(help.out, o)) << c.command << " " << o;
        for (size_t at = help.out.find("  --"); at != std::string::npos;
             at = help.out.find("  --", at + 1)) {
            const std::string o =
                help.out.substr(at + 2, help.out.find_first_of(" ,\n", at + 2) - at - 2);
            const tool_result r = run_import(dir.path(), {c.command, o});
            EXPECT_FALSE(has(r.err, "unrecognized option"))
                << c.command << " " << o << ": " << r.err;
        }
    }
    const tool_result all = run_import(dir.path(), {"--help"});
    for (const char *command : {"daymet", "ghcn", "power", "csv", "fill", "netcdf", "scenario",
                                "soil", "sites", "stations"})
        EXPECT_TRUE(has(all.out, std::string("\n  ") + command + " ")) << command;
}

} // namespace
