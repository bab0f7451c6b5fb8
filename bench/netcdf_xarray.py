#!/usr/bin/python3
"""The same extraction done with xarray, for the netCDF benchmark: each
site's nearest cell by vectorized selection, the values converted as
siteprep-import converts them (float64, then float32: K - 273.15 to
degrees C, kg m-2 s-1 * 86400 / 10 to cm a day), and the same daily files
written (each value the shortest text that gives its float32 back, with at
least one decimal; -99.99 where missing).

usage: netcdf_xarray.py GRID.nc SITES.txt OUTDIR
"""
import datetime
import os
import sys

import numpy as np
import xarray as xr


def texts(values):
    """The text of each float32, formatting each distinct value once."""
    unique, where = np.unique(values, return_inverse=True)
    shown = np.array([("-99.99" if np.isnan(v) else
                       np.format_float_positional(v, unique=True, trim="0")) for v in unique],
                     dtype=object)
    return shown[where].reshape(values.shape)


def main():
    grid, sites_path, out = sys.argv[1:4]
    names, lats, lons = [], [], []
    with open(sites_path) as f:
        for line in f:
            fields = line.split()
            if fields:
                names.append(fields[0])
                lats.append(float(fields[1]))
                lons.append(float(fields[2]))
    ds = xr.open_dataset(grid)
    at = ds[["tmax", "tmin", "prcp"]].sel(lat=xr.DataArray(np.array(lats), dims="site"),
                                          lon=xr.DataArray(np.array(lons), dims="site"),
                                          method="nearest")
    tmax = (at["tmax"].values.astype(np.float64) - 273.15).astype(np.float32)
    tmin = (at["tmin"].values.astype(np.float64) - 273.15).astype(np.float32)
    prcp = ((at["prcp"].values.astype(np.float64) * 86400.0) / 10.0).astype(np.float32)
    days = [datetime.date(1970, 1, 1) + datetime.timedelta(days=int(t))
            for t in ds["time"].values.astype("datetime64[D]").astype(np.int64)]
    prefix = ["%d %d %d %d " % (d.day, d.month, d.year, d.timetuple().tm_yday) for d in days]
    tx, tn, pr = texts(tmax), texts(tmin), texts(prcp)
    os.makedirs(out, exist_ok=True)
    for s, name in enumerate(names):
        with open(os.path.join(out, name + ".wth"), "w") as f:
            f.write("".join(p + a + " " + b + " " + c + "\n"
                            for p, a, b, c in zip(prefix, tx[:, s], tn[:, s], pr[:, s])))


if __name__ == "__main__":
    main()
