// siteprep-import soil and sites: each soil source's fixture gives the row
// worked by hand (unit factors, thickness weighting with nulls, component
// shares, the layer code from a restriction); bad sources are named; the
// site list joins the tables by name, refuses NA, and takes elevations
// from DEMs (bilinear, a void, a tile's edge); and a batch made from
// downloads alone passes siteprep --check --strict and runs.
#include "data.h"
#include "table.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

void copy_data(const scratch_dir &dir, const std::string &from, const std::string &name) {
    fs::copy_file(std::string(SITEPREP_TEST_DATA) + "/" + from + "/" + name, dir.file(name));
}

// The build says whether it reads JSON (soilgrids, sda).
bool reads_json() {
    scratch_dir dir;
    return !has(run_import(dir.path(), {"soil", "--help"}).out, "reads no JSON");
}

// A row of the soils table by column name.
std::map<std::string, std::string> soils_row(const std::string &table, const std::string &name) {
    std::istringstream in(table);
    std::string line, header;
    std::getline(in, header);
    while (std::getline(in, line))
        if (line.rfind(name + ",", 0) == 0) {
            std::map<std::string, std::string> row;
            std::istringstream h(header), l(line);
            for (std::string key, value; std::getline(h, key, ',') && std::getline(l, value, ',');)
                row[key.substr(0, key.find('\r'))] = value.substr(0, value.find('\r'));
            return row;
        }
    return {};
}

struct soil_case {
    const char *what;
    const char *file; // in tests/data/soil
    std::vector<std::string> args;
    const char *site;
    // Worked by hand: the fractions and bulk density as exact ratios, the
    // code, the share of its depth with texture, the pass-through value.
    double sand, silt, clay, bulk;
    const char *code, *coverage;
    double pass;
    const char *source;
};

TABLE_TEST(Soil, soil_case);

TEST_P(Soil, GivesTheRowWorkedByHand) {
    const soil_case &c = GetParam();
    if (std::string(c.file).ends_with(".json") && !reads_json())
        GTEST_SKIP() << "this build reads no JSON";
    scratch_dir dir;
    copy_data(dir, "soil", c.file);
    std::vector<std::string> args = {"soil"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {c.file, "--soils", "soils.csv"});
    const tool_result r = run_import(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    auto row = soils_row(dir.read("soils.csv"), c.site);
    ASSERT_FALSE(row.empty()) << dir.read("soils.csv");
    // Written so that a float reads back the float of the ratio.
    EXPECT_EQ(std::stof(row["sand"]), static_cast<float>(c.sand));
    EXPECT_EQ(std::stof(row["silt"]), static_cast<float>(c.silt));
    EXPECT_EQ(std::stof(row["clay"]), static_cast<float>(c.clay));
    EXPECT_EQ(std::stof(row["bulk_density"]), static_cast<float>(c.bulk));
    EXPECT_EQ(row["layer_code"], c.code);
    EXPECT_EQ(row["coverage"], c.coverage);
    EXPECT_EQ(std::stof(row["pass_through"]), static_cast<float>(c.pass));
    EXPECT_EQ(row["source"], c.source);
}

INSTANTIATE_TABLE(Soil,
                  // g/kg with d_factor 10, cg/cm3 with 100, pH*10 with 10; 15-30 cm null:
                  // 0-5, 5-15 and 30-45 cm weigh 5, 10 and 15 of the code's 45 cm.
                  soil_case{"soilgrids_units_and_nulls",
                            "plot1.json",
                            {"soilgrids", "--layer-code", "3", "--pass-through-from", "phh2o"},
                            "plot1",
                            23.0 / 60,
                            11.0 / 30,
                            1.0 / 4,
                            25.0 / 18,
                            "3",
                            "0.667",
                            293.0 / 45,
                            "soilgrids mean; layer code given"},
                  // Components 60 and 30 % (a minor one and a miscellaneous area left
                  // out); the first's bedrock at 50 cm gives code 3 (45 cm); the second's
                  // organic 0-10 cm leaves 35 of 45 cm with texture.
                  soil_case{"sda_components_and_restriction",
                            "sda.json",
                            {"sda", "--default-layer-code", "2", "--pass-through", "0.5"},
                            "plot1",
                            53.0 / 135,
                            11.0 / 30,
                            13.0 / 54,
                            199.0 / 135,
                            "3",
                            "0.926",
                            0.5,
                            "sda; layer code from a restriction at 50 cm"},
                  soil_case{"sda_no_restriction_takes_the_default",
                            "sda.json",
                            {"sda", "--default-layer-code", "2", "--pass-through", "0.5"},
                            "plot2",
                            0.7,
                            0.2,
                            0.1,
                            1.5,
                            "2",
                            "1.000",
                            0.5,
                            "sda; default layer code"},
                  // Two components of 50 % each: the first listed, restricted at 100
                  // cm, is the dominant one (code 5, 90 cm; the second's 35 cm would
                  // give code 2); their textures weigh alike.
                  soil_case{"sda_equal_shares_the_first_component_gives_the_code",
                            "sda.json",
                            {"sda", "--default-layer-code", "2", "--pass-through", "0.5"},
                            "plot4",
                            0.5,
                            0.3,
                            0.2,
                            1.5,
                            "5",
                            "1.000",
                            0.5,
                            "sda; layer code from a restriction at 100 cm"},
                  // The first component's comppct_r is null: it is left out, and the
                  // second's restriction at 100 cm gives the code (5, 90 cm).
                  soil_case{"sda_null_share_is_never_dominant",
                            "sda.json",
                            {"sda", "--default-layer-code", "2", "--pass-through", "0.5"},
                            "plot5",
                            0.5,
                            0.3,
                            0.2,
                            1.4,
                            "5",
                            "1.000",
                            0.5,
                            "sda; layer code from a restriction at 100 cm"},
                  // Two profiles of 70 and 30 %, fractions, the second null below 20 cm.
                  soil_case{"horizons_shares_and_fractions",
                            "horizons.csv",
                            {"horizons", "--layer-code", "2", "--pass-through", "0.8"},
                            "plot3",
                            163.0 / 300,
                            6.0 / 25,
                            13.0 / 60,
                            106.0 / 75,
                            "2",
                            "0.900",
                            0.8,
                            "horizons; layer code given"});

TEST(Soil, PointsNameTheMapUnitsAndAnotherSourceKeepsTheirRows) {
    if (!reads_json())
        GTEST_SKIP() << "this build reads no JSON";
    scratch_dir dir;
    copy_data(dir, "soil", "sda.json");
    copy_data(dir, "soil", "horizons.csv");
    dir.write("points.csv", "name,mukey\nnorth,200\nsouth,100\n");
    tool_result r =
        run_import(dir.path(), {"soil", "sda", "sda.json", "--points", "points.csv", "--layer-code",
                                "1", "--pass-through", "0", "--soils", "soils.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_import(dir.path(), {"soil", "horizons", "horizons.csv", "--layer-code", "1",
                                "--pass-through", "0", "--soils", "soils.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string table = dir.read("soils.csv");
    EXPECT_EQ(soils_row(table, "north")["sand"], "0.7");
    EXPECT_EQ(soils_row(table, "south")["layer_code"], "1");
    EXPECT_FALSE(soils_row(table, "plot3").empty());
    EXPECT_LT(table.find("north,"), table.find("plot3,")) << table;
}

struct bad_soil_case {
    const char *what;
    const char *from, *to; // plot1.json with this text replaced
    const char *message;
    int status = 1;
    std::vector<std::string> more = {}; // more arguments
    const char *format = "soilgrids";   // sda: sda.json, horizons: horizons.csv
};

TABLE_TEST(BadSoil, bad_soil_case);

TEST_P(BadSoil, IsNamedAndNothingIsWritten) {
    const bad_soil_case &c = GetParam();
    const std::string format = c.format;
    const std::string file = format == "sda"        ? "sda.json"
                             : format == "horizons" ? "horizons.csv"
                                                    : "plot1.json";
    if (file.ends_with(".json") && !reads_json())
        GTEST_SKIP() << "this build reads no JSON";
    scratch_dir dir;
    copy_data(dir, "soil", file);
    std::string text = dir.read(file);
    for (size_t at = 0; (at = text.find(c.from, at)) != std::string::npos;
         at += std::string(c.to).size())
        text.replace(at, std::string(c.from).size(), c.to);
    dir.write(file, text);
    std::vector<std::string> args = {"soil",           format, file,      "--layer-code", "3",
                                     "--pass-through", "0",    "--soils", "s.csv"};
    args.insert(args.end(), c.more.begin(), c.more.end());
    const tool_result r = run_import(dir.path(), args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(has(r.err, c.message)) << r.err;
    EXPECT_EQ(dir.exists("s.csv"), c.status == 0);
}

INSTANTIATE_TABLE(
    BadSoil,
    bad_soil_case{"unknown_unit", "\"g/kg\"", "\"mg/kg\"",
                  "plot1.json: the sand layer's mapped_units \"mg/kg\" is not a unit"},
    bad_soil_case{"factor_that_does_not_give_percent", "\"d_factor\":10,", "\"d_factor\":1,",
                  "the sand layer's d_factor 1 does not turn g/kg into % (10 does)"},
    // Water or a town: no prediction at any depth, never zeros.
    bad_soil_case{"no_data_at_all", "\"mean\":", "\"mean\":null,\"x\":",
                  "plot1: no sand, silt and clay within 0 to 45 cm"},
    bad_soil_case{"sum_far_from_100_warns", "\"mean\":400}},\n    {\"range\":{\"top_depth\":5",
                  "\"mean\":900}},\n    {\"range\":{\"top_depth\":5",
                  "warning: plot1: sand, silt and clay sum to 116.67 %", 0},
    bad_soil_case{"not_json", "{\"type\"", "{type", "plot1.json: not JSON:"},
    bad_soil_case{"quantile_said_to_be_of_each_property",
                  "\"mean\":",
                  "\"Q0.05\":",
                  "note: the Q0.05 values are quantiles of each property and depth on its own",
                  0,
                  {"--quantile", "Q0.05"}},
    // Each value within its range once divided by its d_factor, each depth once.
    bad_soil_case{"soilgrids_negative_sand", "\"mean\":500", "\"mean\":-100",
                  "plot1.json: the sand layer's mean at 5-15 cm, -100, divided by its d_factor "
                  "10, is outside 0 to 100 %"},
    bad_soil_case{"soilgrids_huge_sand", "\"mean\":500", "\"mean\":1e308",
                  "the sand layer's mean at 5-15 cm, 1e+308,"},
    bad_soil_case{"soilgrids_depth_twice", "\"top_depth\":30,\"bottom_depth\":60",
                  "\"top_depth\":5,\"bottom_depth\":15",
                  "plot1.json: the sand layer gives 5-15 cm twice"},
    bad_soil_case{"soilgrids_depths_overlap", "\"top_depth\":30,\"bottom_depth\":60",
                  "\"top_depth\":10,\"bottom_depth\":60",
                  "plot1.json: the sand layer gives 10-60 cm over 5-15 cm"},
    bad_soil_case{"soilgrids_negative_bulk_density", "\"mean\":120", "\"mean\":-120",
                  "the bdod layer's mean at 0-5 cm, -120, divided by its d_factor 100, is below "
                  "0 g/cm3"},
    bad_soil_case{"soilgrids_inverted_depth", "\"top_depth\":30,\"bottom_depth\":60",
                  "\"top_depth\":60,\"bottom_depth\":30",
                  "a depth of the sand layer, 60 to 30 cm, is no range"},
    bad_soil_case{"soilgrids_layer_twice", "{\"name\":\"silt\"", "{\"name\":\"sand\"",
                  "plot1.json: the sand layer is given twice"},
    bad_soil_case{"sda_share_over_100",
                  "\"5\",\"85\"",
                  "\"5\",\"185\"",
                  "sda.json: row 9: comppct_r \"185\" is outside 0 to 100 %",
                  1,
                  {},
                  "sda"},
    bad_soil_case{"sda_inverted_horizon",
                  "\"20\",\"50\",\"20.0\"",
                  "\"50\",\"20\",\"20.0\"",
                  "sda.json: row 3: hzdepb_r 20 is above hzdept_r 50",
                  1,
                  {},
                  "sda"},
    bad_soil_case{"sda_sand_over_100",
                  "\"90.0\",\"5.0\"",
                  "\"190.0\",\"5.0\"",
                  "sda.json: row 7: sandtotal_r \"190.0\" is outside 0 to 100 %",
                  1,
                  {},
                  "sda"},
    bad_soil_case{"sda_horizon_twice",
                  "\"20\",\"50\",\"20.0\"",
                  "\"0\",\"20\",\"20.0\"",
                  "sda.json: row 3: the horizon 0-20 cm of component 1 is given twice",
                  1,
                  {},
                  "sda"},
    // A component of unknown share weighs nothing: a map unit of only such has none.
    bad_soil_case{"sda_null_shares_only",
                  "\"5\",\"85\"",
                  "\"5\",null",
                  "plot2: map unit plot2 in sda.json has no major component with a comppct_r",
                  1,
                  {},
                  "sda"},
    bad_soil_case{"horizons_fraction_over_1",
                  "0.8,0.1,0.1",
                  "1.8,0.1,0.1",
                  "plot3: horizons.csv line 4: column \"sand_frac\": \"1.8\" is outside 0 to 1",
                  1,
                  {},
                  "horizons"},
    bad_soil_case{"horizons_negative_bulk_density",
                  "0.2,1.2,70",
                  "0.2,-1.2,70",
                  "plot3: horizons.csv line 2: column \"bulk_density\": \"-1.2\" is below 0",
                  1,
                  {},
                  "horizons"},
    bad_soil_case{"horizons_share_na",
                  "0.1,1.6,30",
                  "0.1,1.6,NA",
                  "plot3: horizons.csv line 4: column \"share\": \"NA\" is not a share",
                  1,
                  {},
                  "horizons"});

TEST(Soil, PlanPrintsADownloadASiteAndOneQueryForAllPoints) {
    scratch_dir dir;
    dir.write("st.csv", "name,latitude,longitude\r\nplot1,41.5,-105.25\r\nplot'2,44.25,-99.5\r\n"
                        "\"plot\"\"3\",40,-100\r\n");
    tool_result r = run_import(dir.path(), {"soil", "soilgrids", "--plan", "st.csv", "--quantile",
                                            "Q0.5", "--pass-through-from", "phh2o"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "-o 'plot1.json' 'https://rest.isric.org/soilgrids/v2.0/properties/"
                           "query?lon=-105.25&lat=41.5&property=sand&property=silt&property=clay&"
                           "property=bdod&property=phh2o&depth=0-5cm"))
        << r.out;
    EXPECT_TRUE(has(r.out, "&value=Q0.5' && sleep 12\ncurl -fsS -o 'plot'\\''2.json'")) << r.out;
    // The query is posted as a JSON object; a name's quotes are escaped for
    // SQL, then for JSON.
    r = run_import(dir.path(), {"soil", "sda", "--plan", "st.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "\n{\"format\":\"JSON+COLUMNNAME\",\"query\":\"SELECT p.name, c.mukey"))
        << r.out;
    EXPECT_TRUE(has(r.out, "resdept_r\\nFROM (\\n  SELECT 'plot1' AS name, mukey FROM "
                           "SDA_Get_Mukey_from_intersection_with_WktWgs84('point(-105.25 41.5)')"
                           "\\n  UNION ALL SELECT 'plot''2' AS name, mukey FROM "
                           "SDA_Get_Mukey_from_intersection_with_WktWgs84('point(-99.5 44.25)')"
                           "\\n  UNION ALL SELECT 'plot\\\"3' AS name,"))
        << r.out;
    EXPECT_TRUE(has(r.out, "h.hzdept_r\"}\nJSON\ncurl -fsS -o sda.json -H 'Content-Type: "
                           "application/json' --data-binary @sda-request.json https://"))
        << r.out;
}

// ---- the site list ----

const char stations_header[] = "name,format,latitude,longitude,elevation_m\r\n";
const char soils_header[] = "name,sand,silt,clay,bulk_density,pass_through,layer_code\n";

struct dem_case {
    const char *what;
    const char *latitude, *longitude;
    const char *elevation; // the list's tenth field, worked by hand
};

TABLE_TEST(Dem, dem_case);

// N47W123.hgt: 11 x 11 samples 0.1 degrees apart, 1000 m but for 100, 200
// (row 0) and 300, 500 (row 1) in the north-west corner, a void at row 5
// column 5 with 1200 east of it and 1100 south of it, 777 in the
// south-east corner. grid.asc: 4 x 3 cells of 0.25 degrees from -105.5,
// 41.0 (corners), a void in row 1 column 2.
TEST_P(Dem, GivesTheElevationWorkedByHand) {
    const dem_case &c = GetParam();
    scratch_dir dir;
    copy_data(dir, "dem", "N47W123.hgt");
    copy_data(dir, "dem", "grid.asc");
    dir.write("st.csv", std::string(stations_header) + "p,power," + c.latitude + "," + c.longitude +
                            ",NA\r\n");
    dir.write("so.csv", std::string(soils_header) + "p,0.4,0.4,0.2,1.3,0.5,3\n");
    const tool_result r =
        run_import(dir.path(), {"sites", "--stations", "st.csv", "--soils", "so.csv", "--dem",
                                "N47W123.hgt", "--dem", "grid.asc"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string("p ") + c.latitude + " " + c.longitude +
                         " 0.4 0.4 0.2 1.3 0.5 3 " + c.elevation + "\n");
}

INSTANTIATE_TABLE(Dem,
                  // 0.3 and 0.7 of the way between the rows, 0.6 and 0.4 between columns:
                  // 0.3 (0.6 100 + 0.4 200) + 0.7 (0.6 300 + 0.4 500) = 308.
                  dem_case{"tile_bilinear", "47.93", "-122.96", "308"},
                  // The nearest valid sample on the ground: a degree of longitude is 0.68
                  // of one of latitude here, so the sample east (0.9 columns, 0.2 rows
                  // away) is nearer than the one south (0.1 columns, 0.8 rows).
                  dem_case{"tile_void", "47.48", "-122.49", "1200"},
                  dem_case{"tile_south_east_corner", "47", "-122", "777"},
                  // Cell centres: -105.375 ... and 41.625 ...: halfway between four.
                  dem_case{"grid_bilinear", "41.5", "-105.25", "1525"},
                  dem_case{"grid_void", "41.3", "-104.9", "1600"},
                  dem_case{"grid_border_half_cell", "41.74", "-105.45", "1500"});

struct incomplete_case {
    const char *what;
    const char *station, *soil; // rows of the two tables for site "b"
    const char *message;
};

TABLE_TEST(Incomplete, incomplete_case);

TEST_P(Incomplete, IsNamedWithItsColumnOrLeftOut) {
    const incomplete_case &c = GetParam();
    scratch_dir dir;
    copy_data(dir, "dem", "N47W123.hgt");
    dir.write("st.csv", std::string(stations_header) + "a,power,47.5,-122.5,310\r\n" + c.station);
    dir.write("so.csv", std::string(soils_header) + "a,0.4,0.4,0.2,1.3,0.5,3\n" + c.soil);
    std::vector<std::string> args = {"sites", "--stations", "st.csv", "--soils", "so.csv"};
    tool_result r = run_import(dir.path(), args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(has(r.err, c.message)) << r.err;
    args.push_back("--skip-incomplete");
    r = run_import(dir.path(), args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a 47.5 -122.5 0.4 0.4 0.2 1.3 0.5 3 310\n");
    EXPECT_TRUE(has(r.err, std::string("left out: ") + c.message)) << r.err;
}

INSTANTIATE_TABLE(
    Incomplete,
    incomplete_case{"latitude_na", "b,power,NA,-122.5,310\r\n", "b,0.4,0.4,0.2,1.3,0.5,3\n",
                    "b: latitude is NA in st.csv"},
    incomplete_case{"not_in_soils", "b,power,47.5,-122.5,310\r\n", "",
                    "b: not in the soils table so.csv"},
    incomplete_case{"clay_na", "b,power,47.5,-122.5,310\r\n", "b,0.4,0.4,NA,1.3,0.5,3\n",
                    "b: clay is NA in so.csv"},
    incomplete_case{"float_layer_code", "b,power,47.5,-122.5,310\r\n",
                    "b,0.4,0.4,0.2,1.3,0.5,3.5\n", "b: layer_code \"3.5\" in so.csv"},
    // Whole decimal numbers only, each named with its line.
    incomplete_case{"sand_nan", "b,power,47.5,-122.5,310\r\n", "b,nan,0.4,0.2,1.3,0.5,3\n",
                    "b: sand \"nan\" in so.csv line 3 is not a number"},
    incomplete_case{"clay_inf", "b,power,47.5,-122.5,310\r\n", "b,0.4,0.4,inf,1.3,0.5,3\n",
                    "b: clay \"inf\" in so.csv line 3"},
    incomplete_case{"silt_overflow", "b,power,47.5,-122.5,310\r\n", "b,0.4,1e999,0.2,1.3,0.5,3\n",
                    "b: silt \"1e999\" in so.csv line 3"},
    incomplete_case{"bulk_density_hex", "b,power,47.5,-122.5,310\r\n", "b,0.4,0.4,0.2,0x10,0.5,3\n",
                    "b: bulk_density \"0x10\" in so.csv line 3"},
    incomplete_case{"elevation_nan", "b,power,47.5,-122.5,nan\r\n", "b,0.4,0.4,0.2,1.3,0.5,3\n",
                    "b: elevation_m \"nan\" in st.csv line 3"},
    incomplete_case{"negative_sand", "b,power,47.5,-122.5,310\r\n", "b,-0.1,0.6,0.5,1.3,0.5,3\n",
                    "b: sand \"-0.1\" in so.csv line 3 is not a fraction from 0 to 1"},
    incomplete_case{"texture_sum_far_from_1", "b,power,47.5,-122.5,310\r\n",
                    "b,0.5,0.5,0.3,1.3,0.5,3\n",
                    "b: sand, silt and clay 0.5, 0.5 and 0.3 in so.csv line 3 sum to "
                    "1.3, not 1 (within 0.02)"});

TEST(Sites, ADemFarFromTheSourcesElevationWarnsAndOneOutsideIsNamed) {
    scratch_dir dir;
    copy_data(dir, "dem", "N47W123.hgt");
    dir.write("st.csv", std::string(stations_header) + "a,power,47.5,-122.55,600\r\n" +
                            "far,power,46.5,-122.5,NA\r\n");
    dir.write("so.csv", std::string(soils_header) + "a,0.4,0.4,0.2,1.3,0.5,3\n" +
                            "far,0.4,0.4,0.2,1.3,0.5,3\n");
    const tool_result r = run_import(
        dir.path(), {"sites", "--stations", "st.csv", "--soils", "so.csv", "--dem", "N47W123.hgt"});
    EXPECT_EQ(r.status, 1);
    // 1000 m against 600: 0.4 km at 6.5 degrees C a km.
    EXPECT_TRUE(has(r.err, "a: the DEM gives 1000.0 m, 400 m above the weather source's "
                           "elevation_m of 600 m: its temperatures may be 2.6 degrees C too warm"))
        << r.err;
    EXPECT_TRUE(has(r.err, "far: outside every --dem file")) << r.err;
}

// ---- a batch from downloads alone ----

// A POWER daily point file of ten clean years at the DEM's bilinear point.
std::string power_file() {
    std::string text = "-BEGIN HEADER-\nLocation: Latitude  47.93   Longitude -122.96\n"
                       "Elevation from MERRA-2: Average for 0.5 x 0.625 degree lat/lon region = "
                       "410.5 meters\n-END HEADER-\nYEAR,MO,DY,T2M_MAX,T2M_MIN,PRECTOTCORR\n";
    for_each_day({.first_year = 2001, .years = 10}, [&](const file_day &d) {
        const int tmax = 10 + (d.day * 7 + d.month * 3 + d.year) % 13;
        const int prec = (d.day * 5 + d.month + d.year) % 17;
        text += std::to_string(d.year) + "," + std::to_string(d.month) + "," +
                std::to_string(d.day) + "," + std::to_string(tmax) + ".5," +
                std::to_string(tmax - 8 - d.day % 3) + ".25," + std::to_string(prec / 10) + "." +
                std::to_string(prec % 10) + "\n";
    });
    return text;
}

TEST(Downloads, MakeABatchThatPassesTheStrictCheckAndRuns) {
    if (!reads_json())
        GTEST_SKIP() << "this build reads no JSON";
    scratch_dir dir;
    dir.write("plot1.csv", power_file());
    copy_data(dir, "soil", "plot1.json");
    copy_data(dir, "dem", "N47W123.hgt");
    dir.write("template.sfp", site_file_with_block_names("0.5 'SAND'\n0.3 'SILT'\n0.2 'CLAY'\n"
                                                         "1.3 'BULKD'\n1.0 'SITLAT'\n"
                                                         "1.0 'SITLNG'\n1.0 'ELEV'\n"));
    tool_result r = run_import(dir.path(), {"power", "--stations", "stations.csv", "plot1.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_import(dir.path(), {"soil", "soilgrids", "plot1.json", "--layer-code", "3",
                                "--pass-through-from", "phh2o", "--soils", "soils.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_import(dir.path(), {"sites", "--stations", "stations.csv", "--soils", "soils.csv",
                                "--dem", "N47W123.hgt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "plot1 47.93 -122.96 0.38333333 0.36666667 0.25 1.3888888 6.5111113 3 308\n");
    dir.write("sites.txt", r.out);
    const std::vector<std::string> extras = {"--template", "template.sfp", "--texture-keys",
                                             "sites.txt"};
    std::vector<std::string> check = {"--check", "--strict"};
    check.insert(check.end(), extras.begin(), extras.end());
    r = run_tool(dir.path(), check);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "plot1.sfp will be created from the template template.sfp\n")) << r.out;
    EXPECT_TRUE(has(r.out, "1 site checked, 0 problems, 0 warnings")) << r.out;
    EXPECT_FALSE(dir.exists("plot1.sfp"));
    r = run_tool(dir.path(), extras);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string site = dir.read("plot1.sfp");
    // BULKD: the bulk density the soil rows compute from that texture.
    for (const char *line : {"308.0000          ELEV      \n", "0.3833            SAND      \n",
                             "1.2615            BULKD     \n", "47.9300           SITLAT    \n"})
        EXPECT_TRUE(has(site, line)) << line << site;
    EXPECT_FALSE(has(site, "OLD(")) << site;
}

} // namespace
