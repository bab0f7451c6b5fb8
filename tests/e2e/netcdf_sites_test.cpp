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
#include <string_view>
#include <tuple>

namespace {

const std::vector<std::string> the_options = {"--tmax", "tx", "--tmin",     "tn",
                                              "--prcp", "pr", "--stations", "st.csv"};

// What an import of files for site x gives: x's daily file and its row
// of the stations table, and whether standard output says a text.
struct outcome {
    std::map<std::string, std::string> days;
    const char *station, *said;
    bool said_it;
};

void imports_as(const named_files &files, const std::vector<std::string> &options,
                const outcome &o) {
    scratch_dir dir;
    const tool_result r = run_import(dir.path(), prepared(dir, files, options));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("out/x.wth"), expected(2001, 1, o.days));
    EXPECT_NE(dir.read("st.csv").find("\n" + std::string(o.station) + "\r\n"), std::string::npos)
        << dir.read("st.csv");
    EXPECT_EQ(r.out.find(o.said) != std::string::npos, o.said_it) << r.out;
}

struct cell_case {
    const char *what;
    // pr on the two days in x's cell (40 N 250 E; tx 5, 6, tn 1, 2) and in the
    // others (the nearest east, 77.409 km away; tx 7, tn 3); - is missing.
    const char *own_pr, *others_pr;
    const char *mask; // lsm's values, or none
    bool moved;       // to the cell east, and said so
};

TABLE_TEST(CellTaken, cell_case);

const char moved_text[] = "its cell has no data; the nearest cell with data, 77.409 km away";
const outcome kept = {
    {{"2001-1-1", "5.0 1.0 -99.99"}, {"2001-1-2", "6.0 2.0 0.4"}},
    "x,netcdf,40.1,-109.9,NA,2001-01-01,2001-01-02,365,363,363,364,146.10,14.003,40,-110",
    moved_text,
    false};
const outcome moved = {
    {{"2001-1-1", "7.0 3.0 0.2"}, {"2001-1-2", "7.0 3.0 0.2"}},
    "x,netcdf,40.1,-109.9,NA,2001-01-01,2001-01-02,365,363,363,363,73.05,77.409,40,-109",
    moved_text,
    true};

TEST_P(CellTaken, IsItsOwnUnlessTheFilesSayItHasNoData) {
    NEEDS_GRIDS();
    const cell_case &c = GetParam();
    std::string vars, data;
    for (const auto &[name, own, others] :
         {std::tuple{"tx", "5 6", "7 7"}, std::tuple{"tn", "1 2", "3 3"},
          std::tuple{"pr", c.own_pr, c.others_pr}}) {
        vars += on_grid("float", name, name[0] == 'p' ? "mm" : "degC",
                        name + std::string(":_FillValue = -1.f ;"));
        data += name + std::string(" = ");
        for (size_t d = 0; d < 2; ++d)
            for (int cell = 0; cell < 6; ++cell) {
                const char v = std::string_view(cell == 0 ? own : others)[2 * d];
                data += (v == '-' ? std::string("-1") : std::string(1, v)) +
                        (d == 1 && cell == 5 ? " ;\n" : ", ");
            }
    }
    std::vector<std::string> args = the_options;
    if (c.mask != nullptr) {
        vars += "float lsm(lat, lon) ; lsm:_FillValue = -1.f ;";
        data += "lsm = " + std::string(c.mask) + " ;";
        args.insert(args.end(), {"--mask", "lsm"});
    }
    imports_as({{"g.nc", cdl(grid_dims, grid_coords + vars,
                             grid_data + std::string("time = 0, 1 ;\n") + data)}},
               args, c.moved ? moved : kept);
}

INSTANTIATE_TABLE(
    CellTaken, cell_case{"a_first_day_missing_keeps_its_cell", "- 4", "2 2", nullptr, false},
    // No cell has the first day: none is masked for it.
    cell_case{"a_first_day_missing_everywhere", "- 4", "- 2", nullptr, false},
    cell_case{"no_value_over_the_period_takes_the_nearest", "- -", "2 2", nullptr, true},
    // Any value of lsm but 0 (here a land fraction) is land.
    cell_case{"a_mask_above_0_keeps_a_missing_first_day", "- 4", "2 2", "0.25, 1, 1, 0, 0, 0",
              false},
    cell_case{"a_mask_of_0_moves_a_cell_with_data", "1 4", "2 2", "0, 1, 1, 1, 1, 1", true},
    cell_case{"a_mask_missing_moves_a_cell_with_data", "1 4", "2 2", "-1, 1, 0, 0, 0, 0", true});

struct station_case {
    const char *what, *dims, *names; // of station_file
    outcome o;
    const char *elevation = nullptr; // --elevation's variable
};

TABLE_TEST(StationFile, station_case);

TEST_P(StationFile, GivesEachSiteItsStation) {
    NEEDS_GRIDS();
    const station_case &c = GetParam();
    std::vector<std::string> args = the_options;
    if (c.elevation != nullptr)
        args.insert(args.end(), {"--elevation", c.elevation});
    imports_as({{"s.nc", station_file(c.dims, c.names)}}, args, c.o);
}

const std::map<std::string, std::string> station_x_days = {{"2001-1-1", "3.0 2.0 0.2"},
                                                           {"2001-1-2", "4.0 3.0 0.2"}};
const outcome by_name = {station_x_days,
                         "x,netcdf,40.1,-109.9,NA,2001-01-01,2001-01-02,365,363,363,363,73.05,"
                         "975.896,45,-100",
                         "no station of its name", false};

INSTANTIATE_TABLE(
    StationFile,
    // By its name, however far: (40.1, -109.9) to (45, -100), 975.896 km.
    station_case{"by_name_station_by_time", "station, time", "\"far\", \"x\", \"near\"", by_name},
    station_case{"by_name_time_by_station", "time, station", "\"far\", \"x\", \"near\"", by_name},
    station_case{"the_nearest_without_one_of_its_name",
                 "time, station",
                 "\"far\", \"y\", \"near\"",
                 {{{"2001-1-1", "5.0 4.0 0.3"}, {"2001-1-2", "6.0 5.0 0.3"}},
                  "x,netcdf,40.1,-109.9,NA,2001-01-01,2001-01-02,365,363,363,363,109.58,13.996,"
                  "40.2,-109.8",
                  "site \"x\" (sites.txt line 1): no station of its name; the nearest, \"near\", "
                  "13.996 km away, is taken",
                  true}},
    // The stations' altitude, which names no coordinates.
    station_case{"the_altitude_of_the_station",
                 "station, time",
                 "\"far\", \"x\", \"near\"",
                 {station_x_days,
                  "x,netcdf,40.1,-109.9,2,2001-01-01,2001-01-02,365,363,363,363,73.05,975.896,45,"
                  "-100",
                  "no station of its name", false},
                 "alt"});

// A grid and a station file as netCDF4-python writes them, with its
// default attributes (no _FillValue: a masked value is the library's
// default fill; the names variable-length strings).
TEST(GridSites, FilesOfNetCDF4PythonAreReadAsItWritesThem) {
    NEEDS_GRIDS();
    const std::string python = netcdf4_python();
    if (python.empty())
        GTEST_SKIP() << "needs netCDF4-python";
    scratch_dir dir;
    dir.write("make.py",
              "import netCDF4, numpy as np\n"
              "def make(path, dims, lat, lon, data, names=None):\n"
              "    d = netCDF4.Dataset(path, 'w')\n"
              "    for name, n in dims: d.createDimension(name, n)\n"
              "    axes = [name for name, n in dims]\n"
              "    on = ['time'] + (axes[1:] if names is None else axes[1:2] * 2)\n"
              "    for name, units, v, dim in zip(('time', 'lat', 'lon'), ('days since "
              "2001-01-01', 'degrees_north', 'degrees_east'), ([0, 1], lat, lon), on):\n"
              "        x = d.createVariable(name, 'f8', (dim,)); x.units = units; x[:] = v\n"
              "    if names:\n"
              "        d.featureType = 'timeSeries'\n"
              "        n = d.createVariable('station_name', str, ('station',))\n"
              "        n.cf_role = 'timeseries_id'; n[:] = np.array(names, dtype=object)\n"
              "    for name, units, v in zip(('tx', 'tn', 'pr'), ('degC', 'degC', 'mm'), data):\n"
              "        x = d.createVariable(name, 'f4', tuple(axes)); x.units = units\n"
              "        if names: x.coordinates = 'lat lon station_name'\n"
              "        x[:] = np.ma.masked_equal(np.array(v, 'f4'), -1)\n"
              "    d.close()\n"
              "make('g.nc', [('time', None), ('lat', 2), ('lon', 3)], [40, 41], [250, 251, 252],"
              " [np.full((2, 2, 3), 5), np.full((2, 2, 3), 1), [[[-1, 2, 2], [2] * 3]] + [[[2] * 3]"
              " * 2]])\n"
              "make('s.nc', [('time', None), ('station', 2)], [40, 45], [-110, -100],"
              " [[[1, 3], [4, -1]], [[0, 2], [1, 3]], [[1, 2], [1, 2]]], ['far', 'x'])\n");
    ASSERT_EQ(run_shell(dir, python + " make.py"), 0);
    dir.write("sites.txt", site_row("x", site_x));
    for (const auto &[file, days] :
         {std::pair{"g.nc", std::map<std::string, std::string>{{"2001-1-1", "5.0 1.0 -99.99"},
                                                               {"2001-1-2", "5.0 1.0 0.2"}}},
          std::pair{"s.nc", std::map<std::string, std::string>{{"2001-1-1", "3.0 2.0 0.2"},
                                                               {"2001-1-2", "-99.99 3.0 0.2"}}}}) {
        const tool_result r =
            run_import(dir.path(), {"netcdf", "--sites", "sites.txt", "--force", "--tmax", "tx",
                                    "--tmin", "tn", "--prcp", "pr", file});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(dir.read("x.wth"), expected(2001, 1, days)) << file;
    }
}

} // namespace
