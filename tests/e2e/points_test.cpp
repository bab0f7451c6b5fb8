// Places from coordinates to a batch: one table of places read alike by
// netcdf --sites, sites --stations and soil --plan; a gridded site's own
// place in the stations table, with its cell's beside it; a site name that
// holds -o's directory; sda's layer code from resdept_r alone; and a plan
// that leaves out a point without a place.
#include "data.h"
#include "grids.h"
#include "table.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// A day on the usual grid: tx and tn 1 to 6 degrees C, pr 1 to 6 mm.
named_files one_day() {
    return {
        {"g.nc", cdl(grid_dims,
                     grid_coords + on_grid("float", "tx", "degC") + on_grid("float", "tn", "degC") +
                         on_grid("float", "pr", "mm"),
                     std::string(grid_data) + "time = 0 ; tx = 1,2,3,4,5,6 ; tn = 1,2,3,4,5,6 ;\n"
                                              "pr = 1,2,3,4,5,6 ;")}};
}

struct places_case {
    const char *what;
    const char *table; // the places, one site p at 40.1 N 109.9 W
};

TABLE_TEST(Places, places_case);

TEST_P(Places, AreReadAlikeByEveryCommand) {
    const places_case &c = GetParam();
    scratch_dir dir;
    dir.write("p.csv", c.table);
    dir.write("so.csv", "name,sand,silt,clay,bulk_density,pass_through,layer_code\n"
                        "p,0.4,0.4,0.2,1.3,0.5,3\n");
    tool_result r = run_import(dir.path(), {"soil", "soilgrids", "--plan", "p.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "?lon=-109.9&lat=40.1&")) << r.out;
    r = run_import(dir.path(), {"soil", "sda", "--plan", "p.csv"});
    EXPECT_TRUE(has(r.out, "'p' AS name, mukey FROM "
                           "SDA_Get_Mukey_from_intersection_with_WktWgs84('point(-109.9 40.1)')"))
        << r.out << r.err;
    // Without an elevation column, the DEM's.
    std::filesystem::copy_file(std::string(SITEPREP_TEST_DATA) + "/dem/grid.asc",
                               dir.file("grid.asc"));
    r = run_import(dir.path(),
                   {"sites", "--stations", "p.csv", "--soils", "so.csv", "--dem", "grid.asc"});
    EXPECT_EQ(r.status, 1) << r.err; // outside the grid: the place was read
    EXPECT_EQ(r.err, "siteprep-import: p: outside every --dem file\n"
                     "siteprep-import: 1 site without every value: no site list was written "
                     "(--skip-incomplete leaves them out)\n");
    if (!grids_can_be_made())
        return;
    const std::vector<std::string> args =
        prepared(dir, one_day(), {"--tmax", "tx", "--tmin", "tn", "--prcp", "pr"});
    std::vector<std::string> from_table = args;
    from_table[2] = "p.csv";
    r = run_import(dir.path(), from_table);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/p.wth")));
}

INSTANTIATE_TABLE(Places, places_case{"short_names", "name,lat,lon\np,40.1,-109.9\n"},
                  places_case{"long_names_any_case_extra_columns",
                              "Elev,LONGITUDE,Name,Latitude\n7,-109.9,p,40.1\n"},
                  places_case{"long", "lat,long,name\n40.1,-109.9,p\n"},
                  places_case{"stations_table", "name,format,latitude,longitude,elevation_m\r\n"
                                                "p,power,40.1,-109.9,NA\r\n"},
                  places_case{"site_list", "p 40.1 -109.9 0.4 0.4 0.2 1.3 0.5 3 NA\n"});

// A gridded site keeps its own place, its cell's in columns of their own,
// and a name that holds -o's directory names its daily file once.
TEST(GriddedSite, KeepsItsPlaceAndItsDirectory) {
    NEEDS_GRIDS();
    scratch_dir dir;
    dir.write("st.csv", "name,format,latitude,longitude,elevation_m,first_date,last_date,days,"
                        "missing_tmax,missing_tmin,missing_prcp,mean_annual_prcp_cm,"
                        "cell_distance_km\r\n"
                        "old,netcdf,40,-110,NA,NA,NA,0,0,0,0,NA,1.000\r\n");
    std::vector<std::string> args = prepared(
        dir, one_day(), {"--tmax", "tx", "--tmin", "tn", "--prcp", "pr", "--stations", "st.csv"});
    dir.write("sites.txt", "out/x 40.1 -109.9 0.4 0.4 0.2 1.3 0.5 3 1530\n");
    ASSERT_EQ(run_shell(dir, "mkdir out"), 0);
    const tool_result r = run_import(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/x.wth")));
    EXPECT_EQ(dir.read("st.csv"),
              "name,format,latitude,longitude,elevation_m,first_date,last_date,days,"
              "missing_tmax,missing_tmin,missing_prcp,mean_annual_prcp_cm,"
              "cell_distance_km,cell_latitude,cell_longitude\r\n"
              "old,netcdf,40,-110,NA,NA,NA,0,0,0,0,NA,1.000,NA,NA\r\n"
              "out/x,netcdf,40.1,-109.9,NA,2001-01-01,2001-01-01,365,364,364,364,36.53,14.003,40,"
              "-110\r\n");
}

bool reads_json() {
    scratch_dir dir;
    return !has(run_import(dir.path(), {"soil", "--help"}).out, "reads no JSON");
}

// resdept_r alone chooses the code: plot2, without one, is left out.
TEST(SdaLayerCode, ComesFromTheRestrictionWithoutAnOption) {
    if (!reads_json())
        GTEST_SKIP() << "this build reads no JSON";
    scratch_dir dir;
    std::filesystem::copy_file(std::string(SITEPREP_TEST_DATA) + "/soil/sda.json",
                               dir.file("sda.json"));
    const tool_result r = run_import(dir.path(), {"soil", "sda", "sda.json", "--pass-through", "0",
                                                  "--keep-going", "--soils", "s.csv"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(has(r.err, "plot2: no restriction depth to choose a layer code from")) << r.err;
    EXPECT_TRUE(has(dir.read("s.csv"), "; layer code from a restriction at 100 cm")) << r.err;
}

// A point without a place (a CSV import's NA) is left out and listed.
TEST(Plan, KeepGoingLeavesOutAPointWithoutAPlace) {
    scratch_dir dir;
    dir.write("p.csv", "name,lat,lon\na,47.93,-122.96\nb,NA,NA\n");
    tool_result r = run_import(dir.path(), {"soil", "soilgrids", "--plan", "p.csv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    r = run_import(dir.path(), {"soil", "soilgrids", "--plan", "p.csv", "--keep-going"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.out, "curl -fsS -o 'a.json'")) << r.out;
    EXPECT_FALSE(has(r.out, "'b.json'")) << r.out;
    EXPECT_EQ(r.err, "siteprep-import: left out: p.csv line 3: b: the latitude and longitude "
                     "must be numbers in degrees (-90 to 90, -180 to 180)\n"
                     "siteprep-import: 1 point without a place, listed above, left out of the "
                     "plan\n");
}

} // namespace
