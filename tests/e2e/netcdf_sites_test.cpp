// siteprep-import netcdf: the cell a site takes, its own unless the files
// say it has no data (no value of a quantity over the period, or --mask)
// and the nearest with data then; the stations of a CF timeSeries file,
// each site on the one of its name or the nearest; and both as
// netCDF4-python writes them.
#include "data.h"
#include "grids.h"
#include "table.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const std::vector<std::string> the_variables = {"--tmax", "tx", "--tmin", "tn", "--prcp", "pr"};

// Runs the import of files for site x with the stations table; x's daily
// file, its row and what was said are checked against a case.
template <class Case> void imports_as(const Case &c, const named_files &files) {
    scratch_dir dir;
    std::vector<std::string> args = prepared(dir, files, c.args, c.site);
    args.insert(args.begin() + 1, {"--stations", "st.csv"});
    const tool_result r = run_import(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("out/x.wth"), expected(2001, 1, c.days));
    EXPECT_NE(dir.read("st.csv").find("\n" + std::string(c.station) + "\r\n"), std::string::npos)
        << dir.read("st.csv");
    EXPECT_EQ(r.out.find(c.said) != std::string::npos, c.said_it) << r.out;
}

struct cell_case {
    const char *what;
    // tx, tn and pr on the two days in x's cell (latitude 40, longitude
    // 250) and in the other cells (the nearest, east, 77.409 km away);
    // -1 is missing.
    const char *own[3], *others[3];
    const char *mask; // lsm's values, or none
    std::map<std::string, std::string> days;
    const char *station; // x's row
    bool said_it;        // that its cell has no data
    std::vector<std::string> args = the_variables;
    const char *site = site_x;
    const char *said = "its cell has no data; the nearest cell with data, 77.409 km away, is taken";
};

TABLE_TEST(CellTaken, cell_case);

TEST_P(CellTaken, IsItsOwnUnlessTheFilesSayItHasNoData) {
    NEEDS_GRIDS();
    const cell_case &c = GetParam();
    std::string vars, data;
    for (int q = 0; q < 3; ++q) {
        const std::string name = c.args[static_cast<size_t>(2 * q + 1)];
        vars += on_grid("float", name, q == 2 ? "mm" : "degC", name + ":_FillValue = -1.f ;");
        const std::string own = c.own[q], others = c.others[q];
        const auto day = [](const std::string &both, int d) {
            return d == 0 ? both.substr(0, both.find(' ')) : both.substr(both.find(' ') + 1);
        };
        data += name + " = ";
        for (int d = 0; d < 2; ++d)
            for (int cell = 0; cell < 6; ++cell)
                data += day(cell == 0 ? own : others, d) + (d == 1 && cell == 5 ? " ;\n" : ", ");
    }
    cell_case with_mask = c;
    if (c.mask != nullptr) {
        vars += "float lsm(lat, lon) ; lsm:_FillValue = -1.f ;";
        data += "lsm = " + std::string(c.mask) + " ;";
        with_mask.args.insert(with_mask.args.end(), {"--mask", "lsm"});
    }
    imports_as(with_mask, {{"g.nc", cdl(grid_dims, grid_coords + vars,
                                        grid_data + std::string("time = 0, 1 ;\n") + data)}});
}

const std::map<std::string, std::string> east_days = {{"2001-1-1", "7.0 3.0 0.2"},
                                                      {"2001-1-2", "7.0 3.0 0.2"}};
const char east_row[] = "x,netcdf,40,-109,NA,2001-01-01,2001-01-02,365,363,363,363,73.05,77.409";

INSTANTIATE_TABLE(
    CellTaken,
    cell_case{"a_first_day_missing_keeps_its_cell",
              {"5 6", "1 2", "-1 4"},
              {"7 7", "3 3", "2 2"},
              nullptr,
              {{"2001-1-1", "5.0 1.0 -99.99"}, {"2001-1-2", "6.0 2.0 0.4"}},
              "x,netcdf,40,-110,NA,2001-01-01,2001-01-02,365,363,363,364,146.10,14.003",
              false},
    // No cell has the first day: none is masked for it.
    cell_case{"a_first_day_missing_everywhere",
              {"5 6", "1 2", "-1 4"},
              {"7 7", "3 3", "-1 2"},
              nullptr,
              {{"2001-1-1", "5.0 1.0 -99.99"}, {"2001-1-2", "6.0 2.0 0.4"}},
              "x,netcdf,40,-110,NA,2001-01-01,2001-01-02,365,363,363,364,146.10,14.003",
              false},
    cell_case{"no_value_over_the_period_takes_the_nearest",
              {"5 6", "1 2", "-1 -1"},
              {"7 7", "3 3", "2 2"},
              nullptr,
              east_days,
              east_row,
              true},
    // Any value of lsm but 0 (here a land fraction) is land.
    cell_case{"a_mask_above_0_keeps_a_missing_first_day",
              {"5 6", "1 2", "-1 4"},
              {"7 7", "3 3", "2 2"},
              "0.25, 1, 1, 0, 0, 0",
              {{"2001-1-1", "5.0 1.0 -99.99"}, {"2001-1-2", "6.0 2.0 0.4"}},
              "x,netcdf,40,-110,NA,2001-01-01,2001-01-02,365,363,363,364,146.10,14.003",
              false},
    cell_case{"a_mask_of_0_moves_a_cell_with_data",
              {"5 6", "1 2", "1 4"},
              {"7 7", "3 3", "2 2"},
              "0, 1, 1, 1, 1, 1",
              east_days,
              east_row,
              true},
    cell_case{"a_mask_missing_moves_a_cell_with_data",
              {"5 6", "1 2", "1 4"},
              {"7 7", "3 3", "2 2"},
              "-1, 1, 0, 0, 0, 0",
              east_days,
              east_row,
              true});

struct station_case {
    const char *what;
    named_files files;
    std::map<std::string, std::string> days;
    const char *station; // x's row
    const char *said;    // on standard output
    bool said_it = true;
    std::vector<std::string> args = the_variables;
    const char *site = site_x;
};

TABLE_TEST(StationFile, station_case);

TEST_P(StationFile, GivesEachSiteItsStation) {
    NEEDS_GRIDS();
    imports_as(GetParam(), GetParam().files);
}

const std::map<std::string, std::string> station_x_days = {{"2001-1-1", "3.0 2.0 0.2"},
                                                           {"2001-1-2", "4.0 3.0 0.2"}};

INSTANTIATE_TABLE(
    StationFile,
    // By its name, however far: (40.1, -109.9) to (45, -100), 975.896 km.
    station_case{"by_name_station_by_time",
                 {{"s.nc", station_file("station, time", "\"far\", \"x\", \"near\"")}},
                 station_x_days,
                 "x,netcdf,45,-100,NA,2001-01-01,2001-01-02,365,363,363,363,73.05,975.896",
                 "no station of its name",
                 false},
    station_case{"by_name_time_by_station",
                 {{"s.nc", station_file("time, station", "\"far\", \"x\", \"near\"")}},
                 station_x_days,
                 "x,netcdf,45,-100,NA,2001-01-01,2001-01-02,365,363,363,363,73.05,975.896",
                 "no station of its name",
                 false},
    station_case{"the_nearest_without_one_of_its_name",
                 {{"s.nc", station_file("time, station", "\"far\", \"y\", \"near\"")}},
                 {{"2001-1-1", "5.0 4.0 0.3"}, {"2001-1-2", "6.0 5.0 0.3"}},
                 "x,netcdf,40.2,-109.8,NA,2001-01-01,2001-01-02,365,363,363,363,109.58,13.996",
                 "site \"x\" (sites.txt line 1): no station of its name; the nearest, \"near\", "
                 "13.996 km away, is taken"});

// A grid and a station file as netCDF4-python writes them, with its
// default attributes (no _FillValue: a masked value is the library's
// default fill; names as variable-length strings).
TEST(GridSites, FilesOfNetCDF4PythonAreReadAsItReadsThem) {
    NEEDS_GRIDS();
    const std::string python = netcdf4_python();
    if (python.empty())
        GTEST_SKIP() << "needs netCDF4-python";
    scratch_dir dir;
    dir.write("make.py",
              "import netCDF4, numpy as np\n"
              "def values(d, dims, data):\n"
              "    for name, units, v in zip(('tx', 'tn', 'pr'), ('degC', 'degC', 'mm'), data):\n"
              "        x = d.createVariable(name, 'f4', dims)\n"
              "        x.units = units\n"
              "        if 'station' in dims: x.coordinates = 'lat lon station_name'\n"
              "        x[:] = np.ma.masked_equal(np.array(v, 'f4'), -1)\n"
              "def axes(d, dims, lat, lon):\n"
              "    t = d.createVariable('time', 'f8', ('time',))\n"
              "    t.units = 'days since 2001-01-01'\n"
              "    t[:] = [0, 1]\n"
              "    for name, units, v in (('lat', 'degrees_north', lat), ('lon', 'degrees_east', "
              "lon)):\n"
              "        x = d.createVariable(name, 'f4', dims[name])\n"
              "        x.units = units\n"
              "        x[:] = v\n"
              "with netCDF4.Dataset('g.nc', 'w') as d:\n"
              "    for name, n in (('time', None), ('lat', 2), ('lon', 3)): "
              "d.createDimension(name, n)\n"
              "    axes(d, {'lat': ('lat',), 'lon': ('lon',)}, [40, 41], [250, 251, 252])\n"
              "    values(d, ('time', 'lat', 'lon'), [np.full((2, 2, 3), v) for v in (5, 1, 2)])\n"
              "    d['pr'][0, 0, 0] = np.ma.masked\n"
              "with netCDF4.Dataset('s.nc', 'w') as d:\n"
              "    d.featureType = 'timeSeries'\n"
              "    for name, n in (('time', None), ('station', 2)): d.createDimension(name, n)\n"
              "    axes(d, {'lat': ('station',), 'lon': ('station',)}, [40, 45], [-110, -100])\n"
              "    names = d.createVariable('station_name', str, ('station',))\n"
              "    names.cf_role = 'timeseries_id'\n"
              "    names[0] = 'far'\n"
              "    names[1] = 'x'\n"
              "    values(d, ('time', 'station'), [[[1, 3], [4, -1]], [[0, 2], [1, 3]], "
              "[[1, 2], [1, 2]]])\n");
    ASSERT_EQ(run_shell(dir, python + " make.py"), 0);
    dir.write("sites.txt", site_row("x", site_x));
    for (const char *file : {"g.nc", "s.nc"}) {
        std::vector<std::string> args = {"netcdf", "--sites", "sites.txt", "--force"};
        args.insert(args.end(), the_variables.begin(), the_variables.end());
        args.push_back(file);
        const tool_result r = run_import(dir.path(), args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(
            dir.read("x.wth"),
            file[0] == 'g'
                ? expected(2001, 1, {{"2001-1-1", "5.0 1.0 -99.99"}, {"2001-1-2", "5.0 1.0 0.2"}})
                : expected(2001, 1, {{"2001-1-1", "3.0 2.0 0.2"}, {"2001-1-2", "-99.99 3.0 0.2"}}))
            << file;
    }
}

} // namespace
