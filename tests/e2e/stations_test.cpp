// The stations command's choice against answers computed by hand: on the
// equator a degree of longitude (or of latitude along a meridian) is
// 6371.0 * pi / 180 = 111.19 km, so 0.5 degrees is 55.6 km, 0.3 is 33.4,
// 0.25 is 27.8, 0.35 is 38.9 and 0.8 is 89.0. Ties at the tenth of a km, coverage below
// and at the share, a point beyond reach, the antimeridian, temperatures
// asked, elevations from the table and from a DEM, and the inventory's
// lines read strictly.
#include "data.h"
#include "table.h"

#include <gtest/gtest.h>

namespace {

std::string place(const char *id, double lat, double lon, double elevation) {
    char line[100];
    std::snprintf(line, sizeof line, "%-11s %8.4f %9.4f %6.1f    %-30s\n", id, lat, lon, elevation,
                  "TEST STATION");
    return line;
}

std::string inventory(const char *id, double lat, double lon, const char *element, int first,
                      int last) {
    char line[100];
    std::snprintf(line, sizeof line, "%-11s %8.4f %9.4f %-4s %4d %4d\n", id, lat, lon, element,
                  first, last);
    return line;
}

// Around (0, 0): A4 nearest but below the share (23 of 1991-2020's 30
// years), A1 and A2 tied at 55.6 km (A2 0.4 km farther, 44 m in fact),
// A3 of unknown height, A5 at the share exactly (24 years) and without
// temperatures, as A2 is. Across the antimeridian, B1 and B2.
void write_stations(const scratch_dir &dir, const std::string &more_inventory) {
    dir.write("st.txt", place("USA00000001", 0, 0.5, 100) + place("USA00000002", 0, -0.5004, 40) +
                            place("USA00000003", 0.5, 0, -999.9) +
                            place("USA00000004", 0, 0.3, 60) + place("USA00000005", 0, 0.8, 70) +
                            place("USB00000001", 0, 179.8, -999.9) +
                            place("USB00000002", 0, -179.6, -999.9));
    std::string inv;
    for (const char *e : {"PRCP", "TMAX", "TMIN", "SNOW"})
        inv += inventory("USA00000001", 0, 0.5, e, 1981, 2020);
    inv += inventory("USA00000002", 0, -0.5, "PRCP", 1981, 2020);
    for (const char *e : {"PRCP", "TMAX", "TMIN"})
        inv += inventory("USA00000003", 0.5, 0, e, 1995, 2020);
    inv += inventory("USA00000004", 0, 0.3, "PRCP", 1991, 2013);
    inv += inventory("USA00000005", 0, 0.8, "PRCP", 1991, 2014);
    inv += inventory("USB00000001", 0, 179.8, "PRCP", 1950, 2024);
    inv += inventory("USB00000002", 0, -179.6, "PRCP", 1950, 2024);
    dir.write("inv.txt", inv + more_inventory);
    // A DEM that puts (0, 0) at 90 m.
    dir.write("g.asc", "ncols 2\nnrows 2\nxllcorner -0.5\nyllcorner -0.5\ncellsize 0.5\n"
                       "NODATA_value -9999\n90 90\n90 90\n");
}

constexpr char at_50m[] = "name,lat,lon,elevation_m\np,0,0,50\n";
constexpr char usual[] = "p,0,0,50,USA00000002,55.6,-10.0,30,USA00000001 USA00000003 USA00000005";

struct choice_case {
    const char *what;
    const char *points;
    std::vector<std::string> options;
    int status;
    const char *rows; // the choice table after its header ("": not written)
    const char *said; // standard error (its start)
    std::string more_inventory = "";
    std::vector<std::string> out = {}; // parts of standard output
};

TABLE_TEST(StationChoice, choice_case);

TEST_P(StationChoice, IsTheHandComputedOne) {
    const choice_case &c = GetParam();
    scratch_dir dir;
    dir.write("p.csv", c.points);
    write_stations(dir, c.more_inventory);
    std::vector<std::string> args = {"stations",  "--points",    "p.csv",   "--ghcn-stations",
                                     "st.txt",    "--inventory", "inv.txt", "--years",
                                     "1991-2020", "--choice",    "c.csv"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const tool_result r = run_import(dir.path(), args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.err.rfind(c.said, 0), 0u) << r.err;
    for (const std::string &part : c.out)
        EXPECT_NE(r.out.find(part), std::string::npos) << part << " in:\n" << r.out;
    if (*c.rows == '\0') {
        EXPECT_FALSE(dir.exists("c.csv"));
        return;
    }
    std::string rows;
    for (const char *at = c.rows; *at != '\0'; ++at)
        rows += *at == '\n' ? std::string("\r\n") : std::string(1, *at);
    EXPECT_EQ(dir.read("c.csv"), "name,latitude,longitude,elevation_m,station,distance_km,"
                                 "elevation_difference_m,years,donors\r\n" +
                                     rows + "\r\n");
}

INSTANTIATE_TABLE(
    StationChoice, choice_case{"tie_at_the_tenth_broken_by_height", at_50m, {}, 0, usual, ""},
    choice_case{"tie_broken_by_id_without_heights",
                "name,lat,lon\np,0,0\n",
                {},
                0,
                "p,0,0,NA,USA00000001,55.6,NA,30,USA00000002 USA00000003 USA00000005",
                ""},
    choice_case{"height_from_a_dem",
                at_50m,
                {"--dem", "g.asc"},
                0,
                "p,0,0,90.0,USA00000001,55.6,10.0,30,USA00000002 USA00000003 USA00000005",
                ""},
    choice_case{"temperatures_asked",
                at_50m,
                {"--temperatures"},
                0,
                "p,0,0,50,USA00000001,55.6,50.0,30,USA00000003",
                ""},
    choice_case{"coverage_below_the_share_taken_at_a_lower_share",
                at_50m,
                {"--share", "0.75", "--donors", "1"},
                0,
                "p,0,0,50,USA00000004,33.4,10.0,23,USA00000002",
                ""},
    choice_case{"antimeridian",
                "name,lat,lon\nq,0,-179.95\nr,0,180.05\n",
                {"--donors", "1"},
                0,
                "q,0,-179.95,NA,USB00000001,27.8,NA,30,USB00000002\n"
                "r,0,180.05,NA,USB00000001,27.8,NA,30,USB00000002",
                ""},
    choice_case{"nothing_within_the_distance",
                at_50m,
                {"--max-distance", "55.5"},
                1,
                "",
                "siteprep-import: p: no station with PRCP over 80 % of the years 1991-2020 "
                "within 55.5 km\n"},
    choice_case{"far_point_left_out",
                "name,lat,lon,elevation_m\np,0,0,50\nfar,45,45,NA\n",
                {"--keep-going"},
                1,
                usual,
                "siteprep-import: left out: far: no station with PRCP over 80 % of the years "
                "1991-2020 within 100 km\nsiteprep-import: 1 point without a station, listed "
                "above, left out of c.csv\n"},
    choice_case{"plan_fetches_each_file_once",
                "name,lat,lon,elevation_m\np,0,0,50\np2,0,0,50\n",
                {"--plan", "--base-url", "http://127.0.0.1:9/"},
                0,
                "p,0,0,50,USA00000002,55.6,-10.0,30,USA00000001 USA00000003 USA00000005\n"
                "p2,0,0,50,USA00000002,55.6,-10.0,30,USA00000001 USA00000003 USA00000005",
                "siteprep-import: 4 of 4 files left to fetch",
                "",
                {"\nleft=4\n", "\nfetch 'USA00000002.dly' "
                               "'http://127.0.0.1:9/pub/data/ghcn/daily/all/USA00000002.dly'\n"}},
    choice_case{"station_of_the_inventory_not_in_the_list",
                at_50m,
                {},
                0,
                usual,
                "siteprep-import: warning: 1 station of inv.txt that qualifies (USZ00000009) not "
                "in st.txt: not chosen\n",
                inventory("USZ00000009", 0, 0.1, "PRCP", 1981, 2020)},
    choice_case{"inventory_year_not_a_number",
                at_50m,
                {},
                1,
                "",
                "siteprep-import: inv.txt line 13: column \"FIRSTYEAR\": \"19x1\" in columns 37 to "
                "40 is not a year\n",
                "USA00000007   0.0000    0.0000 PRCP 19x1 2020\n"},
    choice_case{"inventory_out_of_its_columns",
                at_50m,
                {},
                1,
                "",
                "siteprep-import: inv.txt line 13: column 31 is not blank",
                "USA00000007  0.0000    0.0000 PRCP 1981 2020 \n"},
    choice_case{"inventory_latitude_out_of_range",
                at_50m,
                {},
                1,
                "",
                "siteprep-import: inv.txt line 13: column \"LATITUDE\": \"91.0000\" in columns 13 "
                "to 20 is not a number from -90 to 90\n",
                inventory("USA00000007", 91, 0, "PRCP", 1981, 2020)},
    choice_case{"inventory_years_reversed",
                at_50m,
                {},
                1,
                "",
                "siteprep-import: inv.txt line 13: column \"LASTYEAR\": 1981 is before FIRSTYEAR "
                "2020\n",
                inventory("USA00000007", 0, 0, "PRCP", 2020, 1981)},
    choice_case{"inventory_element_again",
                at_50m,
                {},
                1,
                "",
                "siteprep-import: inv.txt line 13: PRCP of USA00000001 again (first on line 1)\n",
                inventory("USA00000001", 0, 0.5, "PRCP", 1981, 2020)});

} // namespace
