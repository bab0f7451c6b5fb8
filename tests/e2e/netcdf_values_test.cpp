// siteprep-import netcdf's values against netCDF4-python's own reading of
// the same files: each case's file, made with ncgen, gives the hand values,
// and, where netCDF4-python is installed and reads it by the same rules,
// the values netCDF4-python reads from it (its default masking and
// scaling) to the printed digit; and a file that netCDF4-python writes with
// its default attributes gives what netCDF4-python reads back.
#include "grids.h"
#include "table.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

// Prints each day of tx, tn and pr of a file as netCDF4-python reads them,
// in the daily file's units (K and degC to degrees C, mm to cm) and as it
// writes them: the shortest text of the float, -99.99 where masked.
const char read_as_netcdf4_python[] = R"(import sys, netCDF4, numpy as np
d = netCDF4.Dataset(sys.argv[1])
to = {"K": lambda v: v + -273.15, "degC": lambda v: v, "mm": lambda v: v / 10}
def text(v, units):
    if np.ma.is_masked(v): return "-99.99"
    return np.format_float_positional(np.float32(to[units](float(v))), unique=True, trim="0")
for i in range(len(d["time"])):
    print("2001-1-%d" % (i + 1), *(text(d[n][i, 0, 0], d[n].units) for n in ("tx", "tn", "pr")))
)";

// The days netCDF4-python reads from file in dir, by date.
std::map<std::string, std::string>
netcdf4_python_days(const scratch_dir &dir, const std::string &python, const std::string &file) {
    dir.write("read.py", read_as_netcdf4_python);
    EXPECT_EQ(run_shell(dir, python + " -W ignore read.py " + file + " > reference.txt"), 0);
    std::map<std::string, std::string> days;
    std::istringstream lines(dir.read("reference.txt"));
    for (std::string date, tx, tn, pr; lines >> date >> tx >> tn >> pr;)
        days[date] = tx + " " + tn + " " + pr;
    return days;
}

// The daily file x gets from file in dir, imported with tx, tn and pr.
std::string imported(const scratch_dir &dir, const std::string &file) {
    dir.write("sites.txt", site_row("x", site_x));
    const tool_result r = run_import(dir.path(), {"netcdf", "--sites", "sites.txt", "--tmax", "tx",
                                                  "--tmin", "tn", "--prcp", "pr", "--force", file});
    EXPECT_EQ(r.status, 0) << r.err;
    return dir.read("x.wth");
}

struct values_case {
    const char *what;
    std::string vars, data; // tx, tn and pr on one cell, days from 2001-01-01
    std::map<std::string, std::string> days;
    bool as_netcdf4_python = true; // false: it leaves out an attribute (see the case)
};

TABLE_TEST(Values, values_case);

TEST_P(Values, AreTheHandValuesAndNetcdf4PythonsReading) {
    NEEDS_GRIDS();
    const values_case &c = GetParam();
    scratch_dir dir;
    make_files(dir, {{"g.nc", cdl("time = UNLIMITED ; lat = 1 ; lon = 1 ;",
                                  "double time(time) ; time:units = \"days since 2001-01-01\" ;\n" +
                                      std::string(grid_latlon) + c.vars,
                                  "lat = 40 ; lon = -110 ; " + c.data)}});
    const std::string written = imported(dir, "g.nc");
    EXPECT_EQ(written, expected(2001, 1, c.days));
    if (const std::string python = netcdf4_python(); !python.empty() && c.as_netcdf4_python) {
        EXPECT_EQ(written, expected(2001, 1, netcdf4_python_days(dir, python, "g.nc")));
    }
}

INSTANTIATE_TABLE(
    Values,
    // _Unsigned reads -9536 as 56000 (280 K, 6.85 degC) and the _FillValue
    // -1 as 65535; missing_value as a vector; the default fill of a short.
    values_case{"unsigned_missing_values_default_fill",
                on_grid("short", "tx", "K",
                        "tx:_Unsigned = \"true\" ; tx:scale_factor = 0.005 ; "
                        "tx:add_offset = 0. ; tx:_FillValue = -1s ;") +
                    on_grid("float", "tn", "degC", "tn:missing_value = -999.f, -888.f ;") +
                    on_grid("short", "pr", "mm"),
                "time = 0, 1, 2 ; tx = -9536, -1, -9036 ; tn = 1.5, -888, -999 ; "
                "pr = 3, _, 0 ;",
                {{"2001-1-1", "6.85 1.5 0.3"},
                 {"2001-1-2", "-99.99 -99.99 -99.99"},
                 {"2001-1-3", "9.35 -99.99 0.0"}}},
    // Packing attributes of type float unpack in float (13 * 0.1f is
    // 1.3000001 mm; -5000 * 0.01f + 273.15f is 223.14999 K, 273.15f being
    // 273.149994); a valid_range given as floats bounds the stored values
    // (3000 > 1000), as does a valid_max of the variable's type.
    values_case{
        "float_packing_and_ranges_of_the_stored_values",
        on_grid("float", "tx", "degC", "tx:valid_max = 50.f ;") +
            on_grid("short", "tn", "K", "tn:scale_factor = 0.01f ; tn:add_offset = 273.15f ;") +
            on_grid("short", "pr", "mm",
                    "pr:scale_factor = 0.1f ; pr:add_offset = 0.f ; "
                    "pr:valid_range = 0.f, 1000.f ;"),
        "time = 0, 1 ; tx = 20, 51 ; tn = 1000, -5000 ; pr = 13, 3000 ;",
        {{"2001-1-1", "20.0 9.999994 0.13000001"}, {"2001-1-2", "-99.99 -50.000008 -99.99"}}},
    // A double missing_value 1e20 and valid_min -0.1 of a float are 1e20f
    // and -0.1f, as the netCDF library converts them to the variable's
    // type; netCDF4-python leaves both out ("cannot be safely cast") and
    // reads 1e20 as a value.
    values_case{"attributes_of_another_type_than_the_variable",
                on_grid("float", "tx", "degC", "tx:missing_value = 1e20 ; tx:valid_min = -0.1 ;") +
                    on_grid("float", "tn", "degC") + on_grid("float", "pr", "mm"),
                "time = 0, 1 ; tx = -0.1, 1e20 ; tn = 1, 2 ; pr = 1, 2 ;",
                {{"2001-1-1", "-0.1 1.0 0.1"}, {"2001-1-2", "-99.99 2.0 0.2"}},
                false},
    // Packed precipitation whose offset holds no exact zero: -32766 is
    // -5e-8 m, within a step (1.5e-7 m) of zero, so a day of no rain, not
    // one outside the physical range; one step more below is a value.
    values_case{
        "packed_precipitation_a_step_from_zero",
        on_grid("float", "tx", "degC") + on_grid("float", "tn", "degC") +
            on_grid("short", "pr", "m", "pr:scale_factor = 1.5e-07 ; pr:add_offset = 0.00491485 ;"),
        "time = 0, 1 ; tx = 1, 2 ; tn = 0, 1 ; pr = -32766, -32756 ;",
        {{"2001-1-1", "1.0 0.0 0.0"}, {"2001-1-2", "2.0 1.0 0.000145"}},
        false});

// Writes py.nc as a user of netCDF4-python would: tx packed by it through
// _Unsigned, tn with missing_value and valid_max cast to its type (its
// fifth day never written: the default fill), pr packed with float
// attributes and a valid_range of the stored values.
const char write_as_netcdf4_python[] = R"(import netCDF4, numpy as np
d = netCDF4.Dataset("py.nc", "w")
d.createDimension("time", None); d.createDimension("lat", 1); d.createDimension("lon", 1)
t = d.createVariable("time", "f8", ("time",)); t.units = "days since 2001-01-01"
la = d.createVariable("lat", "f4", ("lat",)); la.units = "degrees_north"; la[:] = [40]
lo = d.createVariable("lon", "f4", ("lon",)); lo.units = "degrees_east"; lo[:] = [-110]
dims = ("time", "lat", "lon")
tx = d.createVariable("tx", "i2", dims, fill_value=-1)
tx._Unsigned = "true"; tx.units = "K"; tx.scale_factor = 0.005; tx.add_offset = 0.0
tn = d.createVariable("tn", "f4", dims); tn.units = "degC"
tn.missing_value = -999.0; tn.valid_max = 60.0
pr = d.createVariable("pr", "i2", dims); pr.units = "mm"
pr.scale_factor = np.float32(0.1); pr.add_offset = np.float32(0); pr.valid_range = [0, 3000]
t[:] = np.arange(5)
tx[:, 0, 0] = np.ma.masked_values([280.0, 300.5, -7, 250.0, 301.23], -7)
tn[0:4, 0, 0] = [1.5, -999.0, 61.0, 20.25]
pr[:, 0, 0] = [1.3, 2.3, 4.7, 350.0, 0.0]
)";

TEST(NetcdfValues, OfAFileNetcdf4PythonWroteAreThoseItReads) {
    NEEDS_GRIDS();
    const std::string python = netcdf4_python();
    if (python.empty())
        GTEST_SKIP() << "needs netCDF4-python (python3-netcdf4)";
    scratch_dir dir;
    dir.write("write.py", write_as_netcdf4_python);
    ASSERT_EQ(run_shell(dir, python + " -W ignore write.py"), 0);
    const std::map<std::string, std::string> days = netcdf4_python_days(dir, python, "py.nc");
    ASSERT_EQ(days.size(), 5u) << dir.read("reference.txt");
    EXPECT_EQ(imported(dir, "py.nc"), expected(2001, 1, days)) << dir.read("reference.txt");
}

} // namespace
