// siteprep-import netcdf: small CF files made at test time from CDL text
// (ncgen), each layout of coordinates, packing, fill value, unit and
// calendar read to the values worked out by hand; the refusals named with
// nothing written; and the files extracted pass the check and give the
// block that the same days written by hand give.
#include "data.h"
#include "grids.h"
#include "table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <tuple>
#include <utility>

namespace {

namespace fs = std::filesystem;

struct grid_case {
    const char *what;
    named_files files;
    std::vector<std::string> args; // the variables and what else the case needs
    int first_year, years;
    std::map<std::string, std::string> days; // of site x
    // Where a case gives it, x's row of the stations table: the site's
    // place, the distance to the cell taken and the cell's place.
    const char *station = nullptr;
    const char *site = site_x; // x's fields after its name
};

TABLE_TEST(Grid, grid_case);

// Each case's daily file of site x, every day as worked out by hand, and
// its row of the stations table where the case gives it.
TEST_P(Grid, GivesTheHandValues) {
    NEEDS_GRIDS();
    const grid_case &c = GetParam();
    scratch_dir dir;
    std::vector<std::string> args = prepared(dir, c.files, c.args, c.site);
    args.insert(args.begin() + 1, {"--stations", "st.csv"});
    const tool_result r = run_import(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("out/x.wth"), expected(c.first_year, c.years, c.days));
    if (c.station != nullptr) {
        EXPECT_NE(dir.read("st.csv").find("\n" + std::string(c.station) + "\r\n"),
                  std::string::npos)
            << dir.read("st.csv");
    }
}

const std::vector<std::string> tx_tn_pr = {"--tmax", "tx", "--tmin", "tn", "--prcp", "pr"};

// The usual grid with the three variables as given, two days.
named_files usual_grid(const std::string &vars, const std::string &data) {
    return {{"g.nc", cdl(grid_dims, grid_coords + vars,
                         grid_data + std::string("time = 0, 1 ;\n") + data)}};
}

// The usual grid in degC and mm, two days: on each, 5, 1 and 1 in the
// first cell (latitude 40, longitude 250), 6, 2 and 2 in the cell numbered
// other, 0 elsewhere.
named_files first_and_other(size_t other) {
    std::string data;
    for (const auto &[name, first, second] :
         {std::tuple{"tx", "5", "6"}, std::tuple{"tn", "1", "2"}, std::tuple{"pr", "1", "2"}}) {
        data += std::string(name) + " =";
        for (size_t value = 0; value < 12; ++value)
            data += std::string(value > 0 ? ", " : " ") + (value % 6 == 0       ? first
                                                           : value % 6 == other ? second
                                                                                : "0");
        data += " ;\n";
    }
    return usual_grid(on_grid("float", "tx", "degC") + on_grid("float", "tn", "degC") +
                          on_grid("float", "pr", "mm"),
                      data);
}

const std::map<std::string, std::string> first_cell_days = {{"2001-1-1", "5.0 1.0 0.1"},
                                                            {"2001-1-2", "5.0 1.0 0.1"}};

// Two days of six-hourly temperatures from 00 UTC, and of precipitation
// stamped at the end of each step (06 to 24 UTC), with its bounds and
// attributes if given.
named_files six_hourly(const std::string &pr, const std::string &bounds = "",
                       const std::string &pr_more = "") {
    const std::string dims = "time = UNLIMITED ; lat = 1 ; lon = 1 ;";
    const std::string hours = "double time(time) ; time:units = \"hours since 2001-01-01\" ;\n";
    const std::string at = "lat = 40 ; lon = -110 ; ";
    const std::string with_bounds =
        bounds.empty() ? "" : "time:bounds = \"tb\" ; double tb(time, nv) ;\n";
    return {
        {"t.nc", cdl(dims, hours + grid_latlon + on_grid("float", "t", "degC"),
                     at + "time = 0, 6, 12, 18, 24, 30, 36, 42 ; t = 1, 5, 9, 3, 2, 6, 10, 4 ;")},
        {"pr.nc", cdl(dims + (bounds.empty() ? "" : " nv = 2 ;"),
                      hours + with_bounds + grid_latlon + on_grid("float", "pr", "mm", pr_more),
                      at + "time = 6, 12, 18, 24, 30, 36, 42, 48 ; pr = " + pr +
                          (bounds.empty() ? "" : " tb = " + bounds))}};
}

const std::vector<std::string> six_hourly_args = {"--tmax", "t",  "--tmin", "t",
                                                  "--prcp", "pr", "--daily"};
const std::map<std::string, std::string> six_hourly_days = {{"2001-1-1", "9.0 1.0 0.5"},
                                                            {"2001-1-2", "10.0 2.0 0.4"}};

INSTANTIATE_TABLE(
    Grid,
    // 1000 * 0.01 + 273.15 K is 10 degC; 1e-5 kg m-2 s-1 a day is 0.0864 cm.
    grid_case{"packed_kelvin_flux_longitudes_0_to_360",
              usual_grid(on_grid("short", "tx", "K",
                                 "tx:scale_factor = 0.01 ; tx:add_offset = 273.15 ; "
                                 "tx:_FillValue = -32768s ;") +
                             on_grid("float", "tn", "degC") + on_grid("double", "pr", "kg m-2 s-1"),
                         "tx = 1000, 0, 0, 0, 0, 0, -32768, 0, 0, 0, 0, 0 ;\n"
                         "tn = 1, 0, 0, 0, 0, 0, 2.5, 0, 0, 0, 0, 0 ;\n"
                         "pr = 1e-5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 ;"),
              tx_tn_pr,
              2001,
              1,
              {{"2001-1-1", "10.0 1.0 0.0864"}, {"2001-1-2", "-99.99 2.5 0.0"}}},
    // Longitude first, latitudes descending, -180 to 180; degF, Celsius,
    // mm/day; hours since noon of the day before.
    grid_case{"longitude_first_descending_latitude_degF_mm_a_day",
              {{"g.nc", cdl("time = 2 ; lon = 2 ; lat = 2 ;",
                            "double time(time) ; time:units = \"hours since 2000-12-31 12:00\" ;\n"
                            "float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                            "float lon(lon) ; lon:standard_name = \"longitude\" ;\n"
                            "float tx(time, lon, lat) ; tx:units = \"degF\" ;\n"
                            "float tn(time, lon, lat) ; tn:units = \"Celsius\" ;\n"
                            "float pr(time, lon, lat) ; pr:units = \"mm/day\" ;",
                            "time = 12, 36 ; lat = 41, 40 ; lon = -110, -109 ;\n"
                            "tx = 0, 50, 0, 0, 0, 59, 0, 0 ;\n"
                            "tn = 0, -3.5, 0, 0, 0, 0.25, 0, 0 ;\n"
                            "pr = 0, 5, 0, 0, 0, 12.5, 0, 0 ;")}},
              tx_tn_pr,
              2001,
              1,
              {{"2001-1-1", "10.0 -3.5 0.5"}, {"2001-1-2", "15.0 0.25 1.25"}}},
    // A projected grid: latitudes and longitudes of each cell, found
    // through the coordinates attribute; amounts in m. The stations table
    // gives the cell's own place beside the site's, (40.1, -109.9) to (40.12, -109.95) by
    // the haversine 4.798 km.
    grid_case{"projected_grid_auxiliary_coordinates",
              {{"g.nc", cdl("time = 1 ; y = 2 ; x = 2 ;",
                            "double time(time) ; time:units = \"minutes since 2001-03-01\" ;\n"
                            "double x(x) ; x:units = \"m\" ; "
                            "x:standard_name = \"projection_x_coordinate\" ;\n"
                            "double y(y) ; y:units = \"m\" ; "
                            "y:standard_name = \"projection_y_coordinate\" ;\n"
                            "float lat(y, x) ; lat:units = \"degrees_north\" ;\n"
                            "float lon(y, x) ; lon:units = \"degrees_east\" ;\n"
                            "float tx(time, y, x) ; tx:units = \"degC\" ; "
                            "tx:coordinates = \"lat lon\" ;\n"
                            "float tn(time, y, x) ; tn:units = \"degC\" ; "
                            "tn:coordinates = \"lon lat\" ;\n"
                            "float pr(time, y, x) ; pr:units = \"m\" ; "
                            "pr:coordinates = \"lat lon\" ;",
                            "time = 0 ; x = 0, 1000 ; y = 0, 1000 ;\n"
                            "lat = 40.6, 40.62, 40.12, 40.14 ;\n"
                            "lon = -110.5, -109.4, -109.95, -108.9 ;\n"
                            "tx = 1, 2, 3, 4 ; tn = -1, -2, -3, -4 ;\n"
                            "pr = 0, 0, 0.005, 0 ;")}},
              tx_tn_pr,
              2001,
              1,
              {{"2001-3-1", "3.0 -3.0 0.5"}},
              "x,netcdf,40.1,-109.9,NA,2001-03-01,2001-03-01,365,364,364,364,182.62,4.798,40.12,"
              "-109.95"},
    // A site exactly midway between two columns, and between two rows,
    // takes the first of them: the cell at latitude 40, longitude 250,
    // half a degree of longitude (42.590 km at 40 N) or of latitude
    // (55.597 km) away.
    grid_case{"midway_between_two_columns_takes_the_first", first_and_other(1), tx_tn_pr, 2001, 1,
              first_cell_days,
              "x,netcdf,40,-109.5,NA,2001-01-01,2001-01-02,365,363,363,363,36.53,42.590,40,-110",
              " 40 -109.5 40 40 20 1.3 0.5 3 1530\n"},
    grid_case{"midway_between_two_rows_takes_the_first", first_and_other(3), tx_tn_pr, 2001, 1,
              first_cell_days,
              "x,netcdf,40.5,-110,NA,2001-01-01,2001-01-02,365,363,363,363,36.53,55.597,40,-110",
              " 40.5 -110 40 40 20 1.3 0.5 3 1530\n"},
    // missing_value, valid_range (of the stored values) and a NaN; the
    // first day has data, or the cell would count as masked.
    grid_case{"missing_value_and_valid_range",
              {{"g.nc",
                cdl(grid_dims,
                    grid_coords + on_grid("float", "tx", "degC", "tx:valid_range = -50.f, 50.f ;") +
                        on_grid("float", "tn", "degC", "tn:missing_value = -99.f ;") +
                        on_grid("float", "pr", "mm", "pr:valid_min = 0.f ;"),
                    grid_data + std::string("time = 0, 1, 2 ;\n"
                                            "tx = 20, 0, 0, 0, 0, 0, 60, 0, 0, 0, 0, 0, "
                                            "NaNf, 0, 0, 0, 0, 0 ;\n"
                                            "tn = 5, 0, 0, 0, 0, 0, -99, 0, 0, 0, 0, 0, "
                                            "2, 0, 0, 0, 0, 0 ;\n"
                                            "pr = 3, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, "
                                            "0, 0, 0, 0, 0, 0 ;"))}},
              tx_tn_pr,
              2001,
              1,
              {{"2001-1-1", "20.0 5.0 0.3"},
               {"2001-1-2", "-99.99 -99.99 -99.99"},
               {"2001-1-3", "-99.99 2.0 0.0"}}},
    // noleap in a leap year: February 29 is written missing.
    grid_case{
        "noleap_calendar",
        {{"g.nc", cdl(grid_dims,
                      std::string("double time(time) ; time:units = \"days since 2004-02-28\" ; "
                                  "time:calendar = \"noleap\" ;\n") +
                          grid_latlon + on_grid("float", "tx", "degC") +
                          on_grid("float", "tn", "degC") + on_grid("float", "pr", "cm"),
                      grid_data + std::string("time = 0, 1 ;\n"
                                              "tx = 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0 ;\n"
                                              "tn = 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0 ;\n"
                                              "pr = 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0 ;"))}},
        tx_tn_pr,
        2004,
        1,
        {{"2004-2-28", "1.0 1.0 1.0"}, {"2004-3-1", "2.0 2.0 2.0"}}},
    // all_leap in a common year: its February 29 has no real day.
    grid_case{
        "all_leap_calendar",
        {{"g.nc",
          cdl(grid_dims,
              std::string("double time(time) ; time:units = \"seconds since 2001-02-28T00:00Z\" ; "
                          "time:calendar = \"366_day\" ;\n") +
                  grid_latlon + on_grid("float", "tx", "degC") + on_grid("float", "tn", "degC") +
                  on_grid("float", "pr", "cm"),
              grid_data + std::string("time = 0, 86400, 172800 ;\n"
                                      "tx = 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, "
                                      "3, 0, 0, 0, 0, 0 ;\n"
                                      "tn = 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, "
                                      "3, 0, 0, 0, 0, 0 ;\n"
                                      "pr = 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, "
                                      "3, 0, 0, 0, 0, 0 ;"))}},
        tx_tn_pr,
        2001,
        1,
        {{"2001-2-28", "1.0 1.0 1.0"}, {"2001-3-1", "3.0 3.0 3.0"}}},
    // Six-hourly values of one temperature: each UTC day's maximum and
    // minimum, and the sum of its precipitation.
    grid_case{"sub_daily_values_taken_to_days",
              {{"g.nc", cdl("time = 4 ; lat = 1 ; lon = 1 ;",
                            "double time(time) ; time:units = \"hours since 2001-01-01\" ;\n"
                            "float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                            "float lon(lon) ; lon:units = \"degrees_east\" ;\n"
                            "float t(time, lat, lon) ; t:units = \"K\" ;\n"
                            "float pr(time, lat, lon) ; pr:units = \"mm\" ;",
                            "time = 0, 6, 12, 18 ; lat = 40 ; lon = -110 ;\n"
                            "t = 273.5, 283.25, 278, 275.5 ;\n"
                            "pr = 1, 0, 2.5, 0.5 ;")}},
              {"--tmax", "t", "--tmin", "t", "--prcp", "pr", "--daily"},
              2001,
              1,
              {{"2001-1-1", "10.1 0.35 0.4"}}},
    // One variable, its daily maximum in one file and minimum in another.
    grid_case{"tmax_and_tmin_from_one_variable_by_cell_methods",
              {{"max.nc", cdl("time = 1 ; lat = 1 ; lon = 1 ;",
                              "double time(time) ; time:units = \"days since 2001-01-01\" ;\n"
                              "float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                              "float lon(lon) ; lon:units = \"degrees_east\" ;\n"
                              "float t(time, lat, lon) ; t:units = \"degC\" ; "
                              "t:cell_methods = \"time: maximum\" ;\n"
                              "float pr(time, lat, lon) ; pr:units = \"mm\" ;",
                              "time = 0 ; lat = 40 ; lon = -110 ; t = 12 ; pr = 3 ;")},
               {"min.nc", cdl("time = 1 ; lat = 1 ; lon = 1 ;",
                              "double time(time) ; time:units = \"days since 2001-01-01\" ;\n"
                              "float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                              "float lon(lon) ; lon:units = \"degrees_east\" ;\n"
                              "float t(time, lat, lon) ; t:units = \"degC\" ; "
                              "t:cell_methods = \"area: mean time: minimum\" ;",
                              "time = 0 ; lat = 40 ; lon = -110 ; t = 2 ;")}},
              {"--tmax", "t", "--tmin", "t", "--prcp", "pr"},
              2001,
              1,
              {{"2001-1-1", "12.0 2.0 0.3"}}},
    // The variables over files in any way, given out of time order.
    grid_case{"variables_split_over_files",
              {{"tx2002.nc", cdl(grid_dims, grid_coords + on_grid("float", "tx", "degC"),
                                 grid_data + std::string("time = 365 ;\n"
                                                         "tx = 22, 0, 0, 0, 0, 0 ;"))},
               {"tx2001.nc", cdl(grid_dims, grid_coords + on_grid("float", "tx", "degC"),
                                 grid_data + std::string("time = 0 ;\n"
                                                         "tx = 21, 0, 0, 0, 0, 0 ;"))},
               {"rest.nc",
                cdl(grid_dims,
                    grid_coords + on_grid("float", "tn", "degC") + on_grid("float", "pr", "cm"),
                    grid_data + std::string("time = 0, 1 ;\n"
                                            "tn = 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0 ;\n"
                                            "pr = 0.5, 0, 0, 0, 0, 0, 0.25, 0, 0, 0, "
                                            "0, 0 ;"))}},
              tx_tn_pr,
              2001,
              2,
              {{"2001-1-1", "21.0 1.0 0.5"},
               {"2001-1-2", "-99.99 2.0 0.25"},
               {"2002-1-1", "22.0 -99.99 -99.99"}}},
    // Accumulated since 00 UTC (ERA5-Land): a day's total is its value at
    // 24:00, said by --accumulation day, or by time bounds from 00 UTC.
    grid_case{"accumulated_since_00_utc_by_option",
              six_hourly("1, 2, 2, 5, 0, 3, 3, 4 ;"),
              {"--tmax", "t", "--tmin", "t", "--prcp", "pr", "--daily", "--accumulation", "day"},
              2001,
              1,
              six_hourly_days},
    grid_case{"accumulated_since_00_utc_by_time_bounds",
              six_hourly("1, 2, 2, 5, 0, 3, 3, 4 ;", "0, 6, 0, 12, 0, 18, 0, 24, 24, 30, 24, 36, "
                                                     "24, 42, 24, 48 ;"),
              six_hourly_args, 2001, 1, six_hourly_days},
    // Each the amount of the step ending at its time (ERA5): a day's sum
    // runs from its 06 UTC to the next day's 00 UTC.
    grid_case{"amounts_of_steps_ending_at_their_time",
              six_hourly("1, 1, 0, 3, 0, 3, 0, 1 ;"),
              {"--tmax", "t", "--tmin", "t", "--prcp", "pr", "--daily", "--accumulation", "step"},
              2001,
              1,
              six_hourly_days},
    // gridMET's: time along a dimension "day", each method with its
    // comment against it.
    grid_case{"cell_methods_of_a_time_named_day",
              {{"max.nc", cdl("day = 1 ; lat = 1 ; lon = 1 ;",
                              "double day(day) ; day:units = \"days since 1900-01-01\" ; "
                              "day:standard_name = \"time\" ;\n" +
                                  std::string(grid_latlon) +
                                  "float t(day, lat, lon) ; t:units = \"degC\" ; "
                                  "t:cell_methods = \"time: maximum(interval: 24 hours)\" ;\n"
                                  "float pr(day, lat, lon) ; pr:units = \"mm\" ; "
                                  "pr:cell_methods = \"time: sum(interval: 24 hours)\" ;",
                              "day = 36890 ; lat = 40 ; lon = -110 ; t = 12 ; pr = 3 ;")},
               {"min.nc", cdl("day = 1 ; lat = 1 ; lon = 1 ;",
                              "double day(day) ; day:units = \"days since 1900-01-01\" ;\n" +
                                  std::string(grid_latlon) +
                                  "float t(day, lat, lon) ; t:units = \"degC\" ; "
                                  "t:cell_methods = \"day: minimum(interval: 24 hours)\" ;",
                              "day = 36890 ; lat = 40 ; lon = -110 ; t = 2 ;")}},
              {"--tmax", "t", "--tmin", "t", "--prcp", "pr"},
              2001,
              1,
              {{"2001-1-1", "12.0 2.0 0.3"}}});

struct refusal_case {
    const char *what;
    named_files files;
    std::vector<std::string> args;
    const char *said; // a part of what standard error says
};

TABLE_TEST(Refused, refusal_case);

// A file the import cannot read right is named with why, and nothing is
// written.
TEST_P(Refused, NamesWhyAndWritesNothing) {
    NEEDS_GRIDS();
    const refusal_case &c = GetParam();
    scratch_dir dir;
    const std::vector<std::string> args = prepared(dir, c.files, c.args);
    const auto before = dir.snapshot();
    const tool_result r = run_import(dir.path(), args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Nothing was written."), std::string::npos) << r.err;
    EXPECT_EQ(dir.snapshot(), before);
}

// The usual grid's three variables in degC, mm and degC, two days, with
// the time coordinate and units given.
named_files grid_with(const std::string &time, const std::string &pr_units) {
    return {{"g.nc", cdl(grid_dims,
                         time + grid_latlon + on_grid("float", "tx", "degC") +
                             on_grid("float", "tn", "degC") + on_grid("float", "pr", pr_units),
                         grid_data + std::string("time = 0, 1 ;\n"
                                                 "tx = 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1 ;\n"
                                                 "tn = 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1 ;\n"
                                                 "pr = 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1 ;"))}};
}

const char daily_time[] = "double time(time) ; time:units = \"days since 2001-01-01\" ;\n";

INSTANTIATE_TABLE(
    Refused,
    refusal_case{"calendar_of_360_days",
                 grid_with("double time(time) ; time:units = \"days since 2001-01-01\" ; "
                           "time:calendar = \"360_day\" ;\n",
                           "mm"),
                 tx_tn_pr, "the 360_day calendar"},
    refusal_case{"unknown_unit", grid_with(daily_time, "furlongs"), tx_tn_pr,
                 "variable \"pr\" has units \"furlongs\""},
    refusal_case{"months_since",
                 grid_with("double time(time) ; "
                           "time:units = \"months since 2001-01-01\" ;\n",
                           "mm"),
                 tx_tn_pr, "months and years have no fixed length"},
    refusal_case{"hours_without_daily",
                 grid_with("double time(time) ; time:units = \"hours since 2001-01-01\" ;\n", "mm"),
                 tx_tn_pr, "give --daily"},
    refusal_case{"a_variable_missing",
                 grid_with(daily_time, "mm"),
                 {"--tmax", "tx", "--tmin", "tn", "--prcp", "rain"},
                 "No file holds the variable \"rain\" (--prcp)"},
    refusal_case{"daily_temperature_without_its_method",
                 grid_with(daily_time, "mm"),
                 {"--tmax", "tx", "--tmin", "tx", "--prcp", "pr"},
                 "without cell_methods time: maximum or time: minimum"},
    refusal_case{
        "accumulation_of_daily_values",
        grid_with(daily_time, "mm"),
        {"--tmax", "tx", "--tmin", "tn", "--prcp", "pr", "--daily", "--accumulation", "day"},
        "has daily values: --accumulation is for sub-daily precipitation"},
    refusal_case{"accumulations_that_do_not_say_over_what",
                 six_hourly("1, 1, 0, 3, 0, 3, 0, 1 ;", "", "pr:GRIB_stepType = \"accum\" ;"),
                 six_hourly_args,
                 "holds accumulations (GRIB_stepType \"accum\") without time bounds that say over "
                 "what: give --accumulation step"},
    refusal_case{
        "a_mask_on_another_grid",
        {grid_with(daily_time, "mm")[0],
         {"m.nc", cdl("lat = 1 ; lon = 1 ;", grid_latlon + std::string("float lsm(lat, lon) ;"),
                      "lat = 40 ; lon = 250 ; lsm = 1 ;")}},
        {"--tmax", "tx", "--tmin", "tn", "--prcp", "pr", "--mask", "lsm"},
        "m.nc: variable \"lsm\" lies on another grid than the files before"},
    refusal_case{"the_nearest_station_beyond_max_distance",
                 {{"s.nc", station_file("station, time", "\"far\", \"y\", \"near\"")}},
                 {"--tmax", "tx", "--tmin", "tn", "--prcp", "pr", "--max-distance", "10"},
                 "site \"x\" (sites.txt line 1): no station of its name, and the nearest, "
                 "\"near\", lies 13.996 km away, farther than --max-distance (10.000 km)"},
    refusal_case{"stations_of_another_feature_type",
                 {{"s.nc", std::regex_replace(station_file("station, time", "\"x\", \"y\", \"z\""),
                                              std::regex("timeSeries"), "trajectory")}},
                 tx_tn_pr,
                 "of one dimension, which are read only in a file of featureType timeSeries"},
    // CF's incomplete multidimensional layout: times by station.
    refusal_case{
        "times_by_station",
        {{"s.nc", cdl("station = 2 ; obs = 2 ;",
                      "double time(station, obs) ; time:units = \"days since 2001-01-01\" ;\n"
                      "float lat(station) ; lat:units = \"degrees_north\" ;\n"
                      "float lon(station) ; lon:units = \"degrees_east\" ;\n"
                      "float tx(station, obs) ; tx:coordinates = \"time lat lon\" ;\n"
                      ":featureType = \"timeSeries\" ;",
                      "time = 0, 1, 0, 2 ; lat = 40, 41 ; lon = -110, -109 ;")}},
        tx_tn_pr,
        "has no time coordinate (UNIT since DATE) of all its stations"});

// The usual grid whose cell nearest x (latitude 40, longitude 250) is
// masked: its neighbour east, 1 degree of longitude away, has data.
named_files masked_grid() {
    return {{"g.nc", cdl(grid_dims,
                         grid_coords + on_grid("float", "tx", "degC", "tx:_FillValue = -1.f ;") +
                             on_grid("float", "tn", "degC", "tn:_FillValue = -1.f ;") +
                             on_grid("float", "pr", "mm", "pr:_FillValue = -1.f ;") +
                             "float elev(lat, lon) ; elev:units = \"km\" ;",
                         grid_data + std::string("time = 0 ;\n"
                                                 "tx = -1, 7, 9, 9, 9, 9 ;\n"
                                                 "tn = -1, 3, 9, 9, 9, 9 ;\n"
                                                 "pr = -1, 2, 9, 9, 9, 9 ;\n"
                                                 "elev = 9, 1.25, 9, 9, 9, 9 ;"))}};
}

// A site on a masked cell takes the nearest cell with data within one and
// a half cell widths (the stations table records it); within a shorter
// --max-distance it is an error naming the site.
TEST(GridSites, AMaskedCellTakesTheNearestWithData) {
    NEEDS_GRIDS();
    scratch_dir dir;
    make_files(dir, masked_grid());
    dir.write("sites.txt", site_row("x", site_x));
    const std::vector<std::string> args = {"netcdf", "--sites",    "sites.txt", "--elevation",
                                           "elev",   "--stations", "st.csv"};
    std::vector<std::string> taken = args;
    taken.insert(taken.end(), {"--tmax", "tx", "--tmin", "tn", "--prcp", "pr", "g.nc"});
    const tool_result r = run_import(dir.path(), taken);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("x.wth"), expected(2001, 1, {{"2001-1-1", "7.0 3.0 0.2"}}));
    // (40.1, -109.9) to (40, -109) by the haversine: 77.409 km; 0.2 cm a
    // day over a mean year of 365.25 days, 73.05 cm.
    EXPECT_NE(dir.read("st.csv").find("\nx,netcdf,40.1,-109.9,1250,2001-01-01,2001-01-01,365,364,"
                                      "364,364,73.05,77.409,40,-109\r\n"),
              std::string::npos)
        << dir.read("st.csv");
    std::vector<std::string> near = taken;
    near.insert(near.begin() + 1, {"--max-distance", "50", "--force"});
    const tool_result refused = run_import(dir.path(), near);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("site \"x\" (sites.txt line 1): no cell with data within 50.000 km "
                               "(--max-distance); the nearest cell, 14.003 km away, has no data"),
              std::string::npos)
        << refused.err;
    // A site far off the grid is told as such, though its nearest cell is
    // the masked one.
    dir.write("sites.txt", site_row("x", " 0 -140 40 40 20 1.3 0.5 3 1530\n"));
    taken.push_back("--force");
    const tool_result far = run_import(dir.path(), taken);
    EXPECT_EQ(far.status, 1);
    EXPECT_NE(far.err.find("lies too far: is the site outside the grid?"), std::string::npos)
        << far.err;
}

// The names of a stations table's rows, in order.
std::vector<std::string> row_names(const std::string &table) {
    std::vector<std::string> names;
    for (size_t at = table.find("\r\n"); at != std::string::npos && at + 2 < table.size();) {
        const size_t end = table.find("\r\n", at + 2);
        names.push_back(table.substr(at + 2, table.find(',', at + 2) - at - 2));
        at = end;
    }
    return names;
}

// Many sites' daily files are written on threads at once: an interrupt
// (SIGTERM, SIGINT: here sent as the hundredth file is renamed into place)
// while they are written ends the import as the signal would, with every
// file there whole, said and in the stations table after the rows of an
// earlier import, and no temporary file left; and a whole import writes
// every one, each as the one site alone gets it.
TEST(GridSites, FilesWrittenAtOnceAreWholeWhenInterrupted) {
    NEEDS_GRIDS();
    scratch_dir dir;
    make_files(dir, usual_grid(on_grid("float", "tx", "degC") + on_grid("float", "tn", "degC") +
                                   on_grid("float", "pr", "mm"),
                               "tx = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 ;\n"
                               "tn = 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 ;\n"
                               "pr = 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2 ;"));
    std::vector<std::string> args = {"netcdf", "--sites",    "one.txt", "-o",
                                     "one",    "--stations", "st.csv"};
    args.insert(args.end(), tx_tn_pr.begin(), tx_tn_pr.end());
    args.push_back("g.nc");
    dir.write("one.txt", site_row("alone", site_x));
    ASSERT_EQ(run_import(dir.path(), args).status, 0);
    const std::string whole = dir.read("one/alone.wth"), earlier = dir.read("st.csv");
    std::string sites;
    for (int i = 0; i < 4000; ++i)
        sites += site_row("p" + std::to_string(i), site_x);
    dir.write("sites.txt", sites);
    const size_t before = dir.snapshot().size();
    args = {"netcdf", "--sites", "sites.txt", "-o", "out", "--stations", "st.csv"};
    args.insert(args.end(), tx_tn_pr.begin(), tx_tn_pr.end());
    args.push_back("g.nc");
    for (const int sig : {SIGTERM, SIGINT}) {
        fs::remove_all(dir.file("out"));
        dir.write("st.csv", earlier);
        const tool_result r =
            run_tool(dir.path(), args,
                     {.program = SITEPREP_IMPORT_BIN,
                      .faults = {{.call = "rename", .file = "p", .nth = 100, .signal = sig}}});
        EXPECT_EQ(r.status, 128 + sig) << r.err;
        std::vector<std::string> written = {"alone"};
        for (const auto &[name, text] : dir.snapshot()) {
            if (name.rfind("out/", 0) != 0)
                continue;
            ASSERT_EQ(name.substr(name.size() - 4), ".wth") << name;
            EXPECT_EQ(text, whole) << name;
            written.push_back(name.substr(4, name.size() - 8));
        }
        EXPECT_GE(written.size(), 101u);
        EXPECT_LT(written.size(), 4001u);
        EXPECT_NE(r.out.find(std::to_string(written.size() - 1) + " daily files in out"),
                  std::string::npos)
            << r.out;
        const std::string table = dir.read("st.csv");
        EXPECT_EQ(table.rfind(earlier, 0), 0u);
        std::vector<std::string> rows = row_names(table);
        std::sort(rows.begin() + 1, rows.end());
        std::sort(written.begin() + 1, written.end());
        EXPECT_EQ(rows, written);
        EXPECT_EQ(dir.snapshot().size(), before + written.size()); // out/ and its files
    }
    args.push_back("--force");
    const tool_result all = run_import(dir.path(), args);
    ASSERT_EQ(all.status, 0) << all.err;
    for (int i = 0; i < 4000; i += 37)
        EXPECT_EQ(dir.read("out/p" + std::to_string(i) + ".wth"), whole) << i;
    EXPECT_EQ(row_names(dir.read("st.csv")).size(), 4001u);
}

// Ten years of days on a one-cell grid, and the same days as a daily file
// written by hand: a day's values as the grid holds them and as written.
struct day_values_pair {
    std::string grid, hand;
};
day_values_pair values_of_day(const file_day &d) {
    const int t = (d.day_of_year * 7 + d.year) % 23, p = (d.day_of_year * 5 + d.year) % 9;
    const std::string tx = std::to_string(t + 5) + ".5", tn = std::to_string(t - 8) + ".25";
    const std::string pr = p < 4 ? "0" : std::to_string(p);
    return {tx + "," + tn + "," + pr, tx + " " + tn + " " + (p < 4 ? "0.0" : "0." + pr)};
}

// The extracted file passes the strict check without a word, and its site
// gets the block that the same days written by hand give.
TEST(GridSites, ExtractedFilesCheckCleanAndGiveTheHandBlock) {
    NEEDS_GRIDS();
    scratch_dir dir;
    std::string times, tx, tn, pr;
    int day = 0;
    for_each_day({.first_year = 2001, .years = 10}, [&](const file_day &d) {
        times += (times.empty() ? "" : ", ") + std::to_string(day++);
        const std::string values = values_of_day(d).grid;
        const size_t a = values.find(','), b = values.rfind(',');
        tx += (tx.empty() ? "" : ", ") + values.substr(0, a);
        tn += (tn.empty() ? "" : ", ") + values.substr(a + 1, b - a - 1);
        pr += (pr.empty() ? "" : ", ") + values.substr(b + 1);
    });
    make_files(dir, {{"g.nc", cdl("time = UNLIMITED ; lat = 1 ; lon = 1 ;",
                                  daily_time + std::string(grid_latlon) +
                                      "float tx(time, lat, lon) ; tx:units = \"degC\" ;\n"
                                      "float tn(time, lat, lon) ; tn:units = \"degC\" ;\n"
                                      "float pr(time, lat, lon) ; pr:units = \"mm\" ;",
                                  "lat = 41.5 ; lon = -105.25 ;\ntime = " + times + " ;\ntx = " +
                                      tx + " ;\ntn = " + tn + " ;\npr = " + pr + " ;")}});
    dir.write("sites.txt", site_row("plot"));
    const tool_result imported =
        run_import(dir.path(), {"netcdf", "--sites", "sites.txt", "--tmax", "tx", "--tmin", "tn",
                                "--prcp", "pr", "g.nc"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    dir.write("plot.sfp", site_file_with_block_names("0.0 'ELEV'\n"));
    const tool_result checked = run_tool(dir.path(), {"--check", "--strict", "sites.txt"});
    EXPECT_EQ(checked.status, 0) << checked.out;
    EXPECT_EQ(checked.out.find("Warning"), std::string::npos) << checked.out;
    ASSERT_EQ(run_tool(dir.path(), {"sites.txt"}).status, 0);
    const std::string from_grid = dir.read("plot.sfp");
    dir.write("plot.wth", daily_file({.first_year = 2001, .years = 10},
                                     [](const file_day &d) { return values_of_day(d).hand; }));
    dir.write("plot.sfp", site_file_with_block_names("0.0 'ELEV'\n"));
    ASSERT_EQ(run_tool(dir.path(), {"sites.txt"}).status, 0);
    EXPECT_EQ(from_grid, dir.read("plot.sfp"));
}

} // namespace
