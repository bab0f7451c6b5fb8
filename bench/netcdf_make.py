#!/usr/bin/python3
"""Makes the netCDF benchmark's data: a CF file of a daily 0.05-degree grid
over a 30 x 20 degree box (600 x 400 cells) for DAYS days of 2001, with
tmax and tmin in K and prcp in kg m-2 s-1 (float32), and site lists of
random places inside the box.

usage: netcdf_make.py DIR [DAYS] [SITES...]   (DAYS 365; SITES 10000 100000)
Writes DIR/grid_DAYS.nc (about 2.9 MB a day) and DIR/sites_N.txt.
"""
import os
import sys

import numpy as np
import netCDF4

LAT0, LON0, STEP, ROWS, COLS = 30.0, -110.0, 0.05, 400, 600


def make_grid(path, days):
    rng = np.random.default_rng(1)
    ds = netCDF4.Dataset(path, "w", format="NETCDF4")
    ds.Conventions = "CF-1.8"
    ds.createDimension("time", days)
    ds.createDimension("lat", ROWS)
    ds.createDimension("lon", COLS)
    time = ds.createVariable("time", "f8", ("time",))
    time.units = "days since 2001-01-01 00:00:00"
    time.calendar = "standard"
    time[:] = np.arange(days, dtype="f8")
    lat = ds.createVariable("lat", "f4", ("lat",))
    lat.units = "degrees_north"
    lat[:] = LAT0 + STEP / 2 + STEP * np.arange(ROWS)
    lon = ds.createVariable("lon", "f4", ("lon",))
    lon.units = "degrees_east"
    lon[:] = LON0 + STEP / 2 + STEP * np.arange(COLS)
    made = {}
    for name, units, method in (("tmax", "K", "time: maximum"), ("tmin", "K", "time: minimum"),
                                ("prcp", "kg m-2 s-1", "time: mean")):
        v = ds.createVariable(name, "f4", ("time", "lat", "lon"), fill_value=np.float32(-9999))
        v.units = units
        v.cell_methods = method
        made[name] = v
    y, x = np.meshgrid(np.arange(ROWS), np.arange(COLS), indexing="ij")
    relief = 8 * np.sin(x / 37.0) * np.cos(y / 23.0) - 0.03 * y
    for d in range(days):
        season = 12 * np.sin(2 * np.pi * (d - 105) / 365.0)
        tmax = 290 + season + relief + rng.normal(0, 2, (ROWS, COLS))
        made["tmax"][d] = tmax.astype("f4")
        made["tmin"][d] = (tmax - 9 - np.abs(rng.normal(0, 2, (ROWS, COLS)))).astype("f4")
        wet = rng.random((ROWS, COLS)) < 0.3
        made["prcp"][d] = np.where(wet, rng.gamma(0.8, 6e-5, (ROWS, COLS)), 0).astype("f4")
    ds.close()


def make_sites(path, count):
    rng = np.random.default_rng(count)
    lats = LAT0 + 20 * rng.random(count)
    lons = LON0 + 30 * rng.random(count)
    with open(path, "w") as out:
        for i in range(count):
            out.write("s%06d %.5f %.5f 40 40 20 1.3 0.5 3 1000\n" % (i, lats[i], lons[i]))


def main():
    folder = sys.argv[1]
    days = int(sys.argv[2]) if len(sys.argv) > 2 else 365
    counts = [int(a) for a in sys.argv[3:]] or [10000, 100000]
    os.makedirs(folder, exist_ok=True)
    grid = os.path.join(folder, "grid_%d.nc" % days)
    if not os.path.exists(grid):
        make_grid(grid + ".part", days)
        os.rename(grid + ".part", grid)
    for n in counts:
        sites = os.path.join(folder, "sites_%d.txt" % n)
        if not os.path.exists(sites):
            make_sites(sites, n)


if __name__ == "__main__":
    main()
