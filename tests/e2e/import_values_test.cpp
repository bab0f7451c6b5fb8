// siteprep-import: NASA POWER's daily point JSON, as the API documents it,
// read as its CSV is; a value no weather can have written as missing,
// counted in the stations table and named once on standard error, from a
// CSV and from a grid alike.
#include "data.h"
#include "grids.h"
#include "table.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// A POWER daily point JSON: on its first day T2M_MAX as given, T2M_MIN 1.5
// C and PRECTOTCORR 2.5 in the unit given; on January 2, 9 of each.
std::string power_json(const std::string &tmax, const std::string &prcp_unit = "mm/day",
                       const std::string &day = "20010101", const std::string &fill = "-999.0") {
    const auto param = [&](const char *name, const std::string &v) {
        return "\"" + std::string(name) + "\": {\"" + day + "\": " + v + ", \"20010102\": 9}";
    };
    const auto units = [](const char *name, const std::string &unit, const char *longname) {
        return "\"" + std::string(name) + "\": {\"units\": \"" + unit + "\", \"longname\": \"" +
               longname + "\"}";
    };
    return "{\"type\": \"Feature\", \"geometry\": {\"type\": \"Point\", \"coordinates\": [10.5, "
           "45.25, 120.0]},\n\"properties\": {\"parameter\": {" +
           param("T2M_MAX", tmax) + ", " + param("T2M_MIN", "1.5") + ", " +
           param("PRECTOTCORR", "2.5") + "}},\n\"header\": {\"fill_value\": " + fill +
           "},\n\"parameters\": {" + units("T2M_MAX", "C", "Temperature at 2 Meters Maximum") +
           ", " + units("T2M_MIN", "C", "Temperature at 2 Meters Minimum") + ", " +
           units("PRECTOTCORR", prcp_unit, "Precipitation Corrected") + "}}\n";
}

struct json_case {
    const char *what;
    std::string text;
    const char *said; // the first day's line, or the failure's words
};

TABLE_TEST(PowerJson, json_case);

// Each file gives its first day, or fails naming the file and leaving nothing.
TEST_P(PowerJson, ReadAsTheApiDocumentsIt) {
    const json_case &c = GetParam();
    scratch_dir dir;
    dir.write("in.json", c.text);
    const tool_result r = run_import(dir.path(), {"power", "in.json"});
    if (has(r.err, "reads no JSON"))
        GTEST_SKIP() << "siteprep-import built without nlohmann-json";
    if (r.status == 0)
        EXPECT_EQ(dir.read("in.wth").substr(0, std::string(c.said).size()), c.said) << r.err;
    else
        EXPECT_TRUE(has(r.err, std::string("in.json: ") + c.said)) << r.err;
    EXPECT_EQ(dir.snapshot().size(), r.status == 0 ? 2u : 1u) << r.err;
}

INSTANTIATE_TABLE(
    PowerJson, json_case{"celsius_and_mm", power_json("31.25"), "1 1 2001 1 31.25 1.5 0.25\n"},
    json_case{"inches_a_day", power_json("31", "in/day"), "1 1 2001 1 31 1.5 6.350\n"},
    json_case{"the_header_fill_value", power_json("-99.0", "mm/day", "20010101", "-99.0"),
              "1 1 2001 1 -99.99 1.5 0.25\n"},
    json_case{"beyond_any_weather", power_json("1e+30"), "1 1 2001 1 -99.99 1.5 0.25\n"},
    json_case{"a_unit_not_known", power_json("31", "mm/hr"),
              "the units of PRECTOTCORR, \"mm/hr\", are not ones this tool knows"},
    json_case{"monthly_values", power_json("31", "mm/day", "200101"),
              "properties.parameter: \"200101\" is not a date YYYYMMDD: not daily values"},
    json_case{"a_parameter_missing", "{\"properties\": {\"parameter\": {\"T2M_MIN\": {}}}}",
              "no parameter T2M_MAX in properties.parameter"},
    json_case{
        "no_parameters_block",
        "{\"properties\": {\"parameter\": {\"T2M_MAX\": {}, \"T2M_MIN\": {}, \"PRECTOT\": {}}}}",
        "no units of T2M_MAX in the parameters block"},
    json_case{"broken", "{\"type\": \"Feature\",", "not JSON: "});

// The CSV's days as the service serves them in JSON: the same daily file
// and the same row of the stations table.
TEST(PowerJson, TheSameDaysAsTheCsv) {
    scratch_dir dir;
    for (const char *name : {"power.csv", "power.json"})
        std::filesystem::copy_file(std::string(SITEPREP_TEST_DATA) + "/import/" + name,
                                   dir.file(name));
    const tool_result csv = run_import(dir.path(), {"power", "--stations", "st.csv", "power.csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const std::string wth = dir.read("power.wth"), row = dir.read("st.csv");
    const tool_result json =
        run_import(dir.path(), {"power", "--force", "--stations", "st.csv", "power.json"});
    if (has(json.err, "reads no JSON"))
        GTEST_SKIP() << "siteprep-import built without nlohmann-json";
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(dir.read("power.wth"), wth);
    EXPECT_EQ(dir.read("st.csv"), row);
}

// Values outside the range are missing days of their quantity in the
// stations table, and named once for the file with their count and first
// date; a file without such values says nothing.
TEST(ValueRange, CountedInTheStationsTableAndNamedOnce) {
    scratch_dir dir;
    dir.write("in.csv", "date,precipitation,temp_max,temp_min\n2001-01-01,-3276.7,75,1\n"
                        "2001-01-02,1,2,1\n2001-01-03,-3276.7,3,1\n");
    dir.write("ok.csv", "date,precipitation,temp_max,temp_min\n2001-01-01,1,2,1\n");
    const tool_result r =
        run_import(dir.path(), {"csv", "--date", "date", "--tmax", "temp_max", "--tmin", "temp_min",
                                "--prcp", "precipitation", "--prcp-unit", "mm", "--temp-unit", "C",
                                "--keep-going", "--stations", "st.csv", "in.csv", "ok.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "siteprep-import: warning: in.csv: 1 tmax value outside -90 to 60 degrees C "
                     "(on 2001-01-01); 2 prcp values outside 0 to 200 cm a day (the first on "
                     "2001-01-01), written as -99.99 in in.wth\n");
    EXPECT_TRUE(has(dir.read("st.csv"), "\r\nin,csv,NA,NA,NA,2001-01-01,2001-01-03,365,363,362,364,"
                                        "36.52\r\n"))
        << dir.read("st.csv");
}

// gridMET's fill value with no attribute to name it: -3276.7 mm on the
// first day of site x's cell.
TEST(ValueRange, AGridsUnnamedFillValueIsMissing) {
    NEEDS_GRIDS();
    scratch_dir dir;
    // A variable's two days: site x's cell as given, the other five 0.
    const auto days = [](const char *name, const char *first, const char *second) {
        return std::string(name) + " = " + first + ", 0, 0, 0, 0, 0, " + second +
               ", 0, 0, 0, 0, 0 ;\n";
    };
    const named_files grid = {
        {"g.nc", cdl(grid_dims,
                     grid_coords + on_grid("float", "tx", "degC") + on_grid("float", "tn", "degC") +
                         on_grid("float", "pr", "mm"),
                     grid_data + std::string("time = 0, 1 ;\n") + days("tx", "5", "6") +
                         days("tn", "1", "2") + days("pr", "-3276.7", "2"))}};
    std::vector<std::string> args =
        prepared(dir, grid, {"--tmax", "tx", "--tmin", "tn", "--prcp", "pr"});
    args.insert(args.begin() + 1, {"--stations", "st.csv"});
    const tool_result r = run_import(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("out/x.wth"),
              expected(2001, 1, {{"2001-1-1", "5.0 1.0 -99.99"}, {"2001-1-2", "6.0 2.0 0.2"}}));
    EXPECT_EQ(r.err, "siteprep-import: warning: out/x.wth: 1 prcp value outside 0 to 200 cm a day "
                     "(on 2001-01-01), written as -99.99\n");
    EXPECT_TRUE(has(dir.read("st.csv"), ",2001-01-01,2001-01-02,365,363,363,364,73.05,"))
        << dir.read("st.csv");
}

} // namespace
