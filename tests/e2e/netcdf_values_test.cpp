// siteprep-import netcdf against netCDF4-python's own reading: a file that
// netCDF4-python writes with its default attributes (the library's default
// fill, _Unsigned, packing with double and with float attributes,
// missing_value and valid_max cast to the variable's type) gives the
// values netCDF4-python reads from it, masked and unpacked by default, to
// the printed digit. Skipped where netCDF4-python is not installed; the
// hand values of netcdf_test's tables still run.
#include "grids.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

// Writes py.nc as a user of netCDF4-python would, five days on one cell
// (tn's fifth day never written: the default fill), then prints each day
// as the daily file writes it: degrees C and cm, each the shortest text of
// its float, -99.99 where netCDF4-python masks the value.
const char write_and_read[] = R"(import netCDF4, numpy as np
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
d.close()
d = netCDF4.Dataset("py.nc")
def text(v, to):
    if np.ma.is_masked(v): return "-99.99"
    return np.format_float_positional(np.float32(to(float(v))), unique=True, trim="0")
for i in range(5):
    print("2001-1-%d" % (i + 1), text(d["tx"][i, 0, 0], lambda k: k + -273.15),
          text(d["tn"][i, 0, 0], lambda c: c), text(d["pr"][i, 0, 0], lambda mm: mm / 10))
)";

TEST(NetcdfValues, AreThoseNetcdf4PythonReads) {
    NEEDS_GRIDS();
    const std::string python = netcdf4_python();
    if (python.empty())
        GTEST_SKIP() << "needs netCDF4-python (python3-netcdf4)";
    scratch_dir dir;
    dir.write("write_and_read.py", write_and_read);
    ASSERT_EQ(run_shell(dir, python + " -W ignore write_and_read.py > reference.txt"), 0);
    std::map<std::string, std::string> days;
    std::istringstream lines(dir.read("reference.txt"));
    for (std::string date, tx, tn, pr; lines >> date >> tx >> tn >> pr;)
        days[date] = tx + " " + tn + " " + pr;
    ASSERT_EQ(days.size(), 5u) << dir.read("reference.txt");
    dir.write("sites.txt", site_row("x", site_x));
    const tool_result r = run_import(dir.path(), {"netcdf", "--sites", "sites.txt", "--tmax", "tx",
                                                  "--tmin", "tn", "--prcp", "pr", "py.nc"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("x.wth"), expected(2001, 1, days)) << dir.read("reference.txt");
}

} // namespace
