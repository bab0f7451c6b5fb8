#include "grids.h"

#include <gtest/gtest.h>

// Whether this build reads netCDF files and ncgen is there to make them.
bool grids_can_be_made() {
    static const bool can = [] {
        scratch_dir dir;
        const tool_result help = run_import(dir.path(), {"--help"});
        return help.out.find("netcdf is not in this build") == std::string::npos &&
               run_shell(dir, "command -v ncgen >/dev/null") == 0;
    }();
    return can;
}

// A CDL text from its three sections.
std::string cdl(const std::string &dims, const std::string &vars, const std::string &data) {
    return "netcdf g {\ndimensions:\n" + dims + "\nvariables:\n" + vars + "\ndata:\n" + data +
           "\n}\n";
}

// The usual grid: latitudes 40 and 41, longitudes 250 to 252 (0 to 360),
// days from 2001-01-01.
const char grid_dims[] = "time = UNLIMITED ; lat = 2 ; lon = 3 ;";
const char grid_latlon[] = "float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                           "float lon(lon) ; lon:units = \"degrees_east\" ;\n";
const std::string grid_coords =
    "double time(time) ; time:units = \"days since 2001-01-01\" ;\n" + std::string(grid_latlon);
const char grid_data[] = "lat = 40, 41 ; lon = 250, 251, 252 ;\n";

// A variable on the usual grid, of a type and units, with more attributes.
std::string on_grid(const std::string &type, const std::string &name, const std::string &units,
                    const std::string &more) {
    return type + " " + name + "(time, lat, lon) ; " + name + ":units = \"" + units + "\" ; " +
           more + "\n";
}

// The site x, nearest the cell at latitude 40, longitude 250 (-110).
const char site_x[] = " 40.1 -109.9 40 40 20 1.3 0.5 3 1530\n";

using named_files = std::vector<std::pair<std::string, std::string>>; // name, CDL

// Writes each CDL text and makes its netCDF file with ncgen.
void make_files(const scratch_dir &dir, const named_files &files) {
    for (const auto &[name, text] : files) {
        dir.write(name + ".cdl", text);
        ASSERT_EQ(run_shell(dir, "ncgen -o " + name + " " + name + ".cdl"), 0) << text;
    }
}

// The files made and site x listed (at site_x, or where given): the command
// line that imports them into out/ with the options given.
std::vector<std::string> prepared(const scratch_dir &dir, const named_files &files,
                                  const std::vector<std::string> &options, const char *site) {
    make_files(dir, files);
    dir.write("sites.txt", site_row("x", site));
    std::vector<std::string> args = {"netcdf", "--sites", "sites.txt", "-o", "out"};
    args.insert(args.end(), options.begin(), options.end());
    for (const auto &file : files)
        args.push_back(file.first);
    return args;
}

std::string date_key(int year, int month, int day) {
    return std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day);
}

// The daily file of whole years whose days are all missing but those given.
std::string expected(int first_year, int years, const std::map<std::string, std::string> &days,
                     bool leap_days) {
    return daily_file({.first_year = first_year, .years = years, .leap_days = leap_days},
                      [&](const file_day &d) {
                          const auto at = days.find(date_key(d.year, d.month, d.day));
                          return at == days.end() ? "-99.99 -99.99 -99.99" : at->second;
                      });
}

// A CF timeSeries file of three stations, their variables in the order of dims.
std::string station_file(const std::string &dims, const std::string &names) {
    std::string vars;
    for (const char *name : {"tx", "tn", "pr"})
        vars += std::string("float ") + name + "(" + dims + ") ; " + name + ":units = \"" +
                (name[0] == 'p' ? "mm" : "degC") + "\" ; " + name +
                ":coordinates = \"lat lon alt station_name\" ;\n";
    const bool by_station = dims.rfind("station", 0) == 0;
    return cdl("station = 3 ; name_strlen = 8 ; time = 2 ;",
               vars + "double time(time) ; time:units = \"days since 2001-01-01\" ;\n"
                      "float lon(station) ; lon:units = \"degrees_east\" ;\n"
                      "float lat(station) ; lat:standard_name = \"latitude\" ;\n"
                      "float alt(station) ; alt:units = \"m\" ;\n"
                      "char station_name(station, name_strlen) ; "
                      "station_name:cf_role = \"timeseries_id\" ;\n"
                      ":featureType = \"timeSeries\" ;",
               "time = 0, 1 ; lat = 40, 45, 40.2 ; lon = -110, -100, -109.8 ; alt = 1, 2, 3 ;\n"
               "station_name = " +
                   names + " ;\n" +
                   (by_station ? "tx = 1, 2, 3, 4, 5, 6 ; tn = 0, 1, 2, 3, 4, 5 ;\n"
                                 "pr = 1, 1, 2, 2, 3, 3 ;"
                               : "tx = 1, 3, 5, 2, 4, 6 ; tn = 0, 2, 4, 1, 3, 5 ;\n"
                                 "pr = 1, 2, 3, 1, 2, 3 ;"));
}
