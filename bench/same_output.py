#!/usr/bin/env python3
"""Runs two builds of siteprep on the examples and on random batches, in
every mode, and reports any difference in standard output, standard error,
exit status or the files left behind.

usage: bench/same_output.py BASE_BIN NEW_BIN [BATCHES]
       bench/same_output.py --import BASE_IMPORT NEW_IMPORT [BATCHES]

With --import, two builds of siteprep-import run every command (the daily
formats, fill, netcdf, scenario, soil, sites) and their failures on inputs
made here, seeded, each in a fresh scratch directory; wrong command lines
and the help texts are compared as a group of their own, whose differences
are printed but not counted.
"""
import datetime
import difflib
import filecmp
import json
import math
import os
import random
import shutil
import stat
import struct
import subprocess
import sys
import tempfile

MODES = [
    [], ["--jobs", "1"], ["--check"], ["--check", "--strict", "--jobs", "1"], ["--keep-going"],
    ["--keep-going", "--keep-soils", "--jobs", "3"],
    ["--summary", "s.csv", "--report", "r.html"],
    ["--check", "--summary", "s.csv", "--report", "r.html"],
    ["--keep-going", "--summary", "s.csv", "--report", "r.html", "--keep-soils"],
    ["--part", "1/2", "--failed", "failed.txt"],
    ["--keep-going", "--part", "2/2", "--failed", "failed.txt", "--sync"],
    ["--scratch", "scratch", "--keep-soils", "--jobs", "2"],
    ["--check", "--part", "2/3", "--scratch", "scratch"],
]


def daily_file(rng, years):
    """A daily file with the usual slips: gaps, bad lines, missing values."""
    eol = "\r\n" if rng.random() < 0.1 else "\n"
    lines = []
    first = rng.choice([1950, 1990, 2001])
    for y in range(first, first + years):
        for m in range(1, 13):
            if rng.random() < 0.02:
                continue  # a month missing
            for d in range(1, 32 if m != 2 else 30):
                if rng.random() < 0.01:
                    continue
                tmax = rng.uniform(-10, 35)
                tmin = tmax - rng.uniform(0, 15)
                prec = rng.choice([0, 0, rng.uniform(0, 3), -99.99])
                fmt = rng.choice(["%d %d %d %d %.1f %.1f %.2f",
                                  "%3d %3d %5d %4d %7.2f %7.2f %7.2f"])
                lines.append(fmt % (d, m, y, d, tmax, tmin, prec))
    if rng.random() < 0.05:
        lines.insert(rng.randrange(len(lines)), "1 13 2001 1 1 1 1")
    return eol.join(lines) + eol


def site_file(rng):
    head = ["Site parameters of a plot", "'header two'"]
    block = ["0.0000            'OLD(%d)'" % i for i in range(60)]
    tail = ["%.1f %s" % (rng.uniform(0, 9), k)
            for k in rng.sample(["SITLAT", "SITLNG", "NLAYER", "NLAYPG", "ELEV", "OTHER"], 4)]
    return "\n".join(head + block[:rng.choice([60, 60, 40])] + tail) + "\n"


def make_batch(root, rng):
    rows = []
    for i in range(rng.randint(1, 8)):
        name = rng.choice(["p%d" % i, "data/p%d" % i, "q%d" % i])
        os.makedirs(os.path.join(root, os.path.dirname(name) or "."), exist_ok=True)
        if rng.random() > 0.05:
            with open(os.path.join(root, name + ".sfp"), "w") as f:
                f.write(site_file(rng))
        if rng.random() > 0.05:
            with open(os.path.join(root, name + ".wth"), "w", newline="") as f:
                f.write(daily_file(rng, rng.randint(1, 12)))
        code = rng.choice([1, 3, 9, 12])
        row = "%s %.2f %.2f %s 1.3 0.5 %d %.0f" % (
            name, rng.uniform(-60, 60), rng.uniform(-180, 180),
            rng.choice(["40 40 20", "0.65 0.25 0.10", "0.2 0.3 0.5"]), code,
            rng.uniform(0, 3000))
        if rng.random() < 0.05:
            row = name + " 1 2"
        rows.append(row)
    with open(os.path.join(root, "sites.txt"), "w") as f:
        f.write("\n".join(rows) + "\n")


def run(binary, root, mode):
    if "--scratch" in mode:
        os.makedirs(os.path.join(root, "scratch"), exist_ok=True)
    r = subprocess.run([binary] + mode + ["sites.txt"], cwd=root, capture_output=True)
    return r.returncode, r.stdout, r.stderr


def same_tree(a, b):
    cmp = filecmp.dircmp(a, b)
    if cmp.left_only or cmp.right_only or cmp.diff_files or cmp.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(a, b, cmp.common_files, shallow=False)
    return not mismatch and not errors and all(
        same_tree(os.path.join(a, d), os.path.join(b, d)) for d in cmp.common_dirs)


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--import":
        return import_main(sys.argv[2:])
    base, new = sys.argv[1], sys.argv[2]
    batches = int(sys.argv[3]) if len(sys.argv) > 3 else 40
    here = os.path.dirname(os.path.abspath(__file__))
    rng = random.Random(2026)
    differences = runs = 0
    work = tempfile.mkdtemp()
    try:
        for b in range(batches + 1):
            source = os.path.join(work, "source")
            shutil.rmtree(source, ignore_errors=True)
            if b == 0:
                shutil.copytree(os.path.join(here, "..", "examples"), source)
            else:
                os.makedirs(source)
                make_batch(source, rng)
            for mode in MODES:
                results = []
                for name, binary in (("a", base), ("b", new)):
                    root = os.path.join(work, name)
                    shutil.rmtree(root, ignore_errors=True)
                    shutil.copytree(source, root)
                    results.append(run(binary, root, mode))
                runs += 1
                same = results[0] == results[1] and same_tree(
                    os.path.join(work, "a"), os.path.join(work, "b"))
                if not same:
                    differences += 1
                    print("batch %d, mode %s differs" % (b, " ".join(mode)))
                    shutil.copytree(os.path.join(work, "a"), "diff-%d-a" % differences)
                    shutil.copytree(os.path.join(work, "b"), "diff-%d-b" % differences)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d runs, %d differing" % (runs, differences))
    return 1 if differences else 0


# ---- siteprep-import: both builds on the same inputs ----

IMPORT_BATCHES = 25
IMPORT_TIMEOUT = 120  # seconds a run; a hang shows as a difference, not a stall
SAVED_DIFFERENCES = 20  # the scratch directories kept of the first differences


class Case:
    """One run of the importer: its arguments and the files it starts with.

    files maps a path under the scratch directory to its text (str or bytes),
    or to None for an empty directory; modes gives some of them a mode;
    grids are CDL texts that ncgen makes into netCDF files before the run.
    """

    def __init__(self, mode, args, files=None, stdin=None, modes=None, grids=None, cmdline=False):
        self.mode, self.args = mode, args
        self.files = files or {}
        self.stdin, self.modes, self.grids = stdin, modes or {}, grids or {}
        self.cmdline = cmdline

    def make(self, root):
        os.makedirs(root)
        for path, text in self.files.items():
            full = os.path.join(root, path)
            if text is None:
                os.makedirs(full, exist_ok=True)
                continue
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "wb") as f:
                f.write(text.encode() if isinstance(text, str) else text)
        for path, cdl in self.grids.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full + ".cdl", "w") as f:
                f.write(cdl)
            r = subprocess.run(["ncgen", "-o", full, full + ".cdl"], capture_output=True)
            if r.returncode != 0:
                raise RuntimeError("ncgen refused %s: %s\n%s" % (path, r.stderr.decode(), cdl))
            os.remove(full + ".cdl")
        for path, mode in self.modes.items():
            os.chmod(os.path.join(root, path), mode)


def words(args):
    return " ".join(
        a if a and all(c.isalnum() or c in "-_./=,:" for c in a) else repr(a) for a in args
    )


# ---- the days ----


def days(first, last):
    d = first
    while d <= last:
        yield d
        d += datetime.timedelta(days=1)


def span(rng, years):
    """A first and last day: whole years or parts of the first and last."""
    y0 = rng.choice([1981, 1996, 1999, 2000, 2003, 2012, 2019])
    first = datetime.date(y0, 1, 1)
    last = datetime.date(y0 + years - 1, 12, 31)
    if rng.random() < 0.5:
        first += datetime.timedelta(days=rng.randrange(300))
    if rng.random() < 0.5:
        last -= datetime.timedelta(days=rng.randrange(300))
    if last < first:
        last = first + datetime.timedelta(days=rng.randrange(1, 60))
    return first, last


def num(rng, x, decimals=None):
    d = rng.choice([0, 1, 1, 2, 2, 3]) if decimals is None else decimals
    return "%.*f" % (d, x)


def day_values(rng, day, bias=0.0):
    """Tmax and Tmin in degrees C and precipitation in mm, with the odd
    minimum above the maximum."""
    season = 10 - 12 * math.cos(2 * math.pi * (day.timetuple().tm_yday - 15) / 365.25)
    tmax = season + 5 + bias + rng.gauss(0, 3)
    tmin = tmax - rng.uniform(3, 14)
    if rng.random() < 0.01:
        tmin = tmax + rng.uniform(0, 2)
    prcp = 0.0 if rng.random() < 0.6 else rng.expovariate(1 / 5)
    return tmax, tmin, prcp


def lines_text(rng, lines, eols=("\n", "\n", "\n", "\r\n", "\r"), bom=0.0):
    eol = rng.choice(eols)
    return ("\ufeff" if rng.random() < bom else "") + eol.join(lines) + eol


def spoil(rng, rows, kind):
    """A bad line among the rows of a delimited file (after its header)."""
    at = rng.randrange(1, len(rows)) if len(rows) > 1 else 1
    if kind == "again" and len(rows) > 1:
        rows.insert(at, rows[at - 1] if at > 1 else rows[1])
    elif kind == "fields":
        rows.insert(at, rows[at - 1] + ",9" if at > 1 else "1,2")
    else:
        row = rows[at - 1] if at > 1 else rows[-1]
        cut = row.rfind(",")
        rows.insert(
            at, (row[: cut + 1] if cut >= 0 else row + " ") + rng.choice(["abc", "1e5x", "--"])
        )


# ---- the daily formats, each as its source serves it ----


def daymet_file(rng, first, last, bad=None):
    lat, lon = rng.uniform(25, 50), rng.uniform(-125, -65)
    head = [
        "Latitude: %.4f  Longitude: %.4f" % (lat, lon),
        "X & Y on Lambert Conformal Conic: X (km): 123.0  Y (km): -456.0",
        "Tile: 11744",
        "Elevation: %d meters" % rng.randrange(0, 3000),
        "All years; all variables; Daymet Software Version 4.0",
        "How to cite: Thornton et al.",
        "",
        "year,yday,dayl (s),prcp (mm/day),srad (W/m^2),swe (kg/m^2),tmax (deg c),tmin (deg c),vp (Pa)",
    ]
    rows = [head[-1]]
    floats = rng.random() < 0.2
    for d in days(first, last):
        yday = d.timetuple().tm_yday
        if yday == 366 or rng.random() < 0.01:
            continue  # Daymet's year has 365 days: no December 31 in a leap year
        tmax, tmin, prcp = day_values(rng, d)
        v = [
            num(rng, prcp, 2),
            num(rng, tmax, rng.choice([1, 2])),
            num(rng, tmin, rng.choice([1, 2])),
        ]
        for i in range(3):
            if rng.random() < 0.02:
                v[i] = "-9999"
        rows.append(
            "%s,%s,%d,%s,%d,0,%s,%s,%d"
            % (
                "%d.0" % d.year if floats else d.year, "%d.0" % yday if floats else yday,
                rng.randrange(30000, 50000), v[0], rng.randrange(50, 400), v[1], v[2],
                rng.randrange(200, 2000),
            )
        )
    if bad:
        spoil(rng, rows, bad)
    return lines_text(rng, head[:-1] + rows, bom=0.05)


def power_file(rng, first, last, bad=None):
    missing = rng.choice(["-999", "-999", "-99"])
    prec = rng.choice(["PRECTOTCORR", "PRECTOT"])
    params = [prec, "T2M_MAX", "T2M_MIN"] + (["RH2M"] if rng.random() < 0.3 else [])
    rng.shuffle(params)
    doy = rng.random() < 0.4
    head = [
        "-BEGIN HEADER-",
        "NASA/POWER CERES/MERRA2 Native Resolution Daily Data",
        "Dates (month/day/year): %s through %s"
        % (first.strftime("%m/%d/%Y"), last.strftime("%m/%d/%Y")),
        "Location: Latitude  %.4f   Longitude %.4f"
        % (rng.uniform(-60, 60), rng.uniform(-180, 180)),
        "Elevation from MERRA-2: Average for 0.5 x 0.625 degree lat/lon region = %.2f meters"
        % rng.uniform(0, 3000),
        "The value for missing source data that cannot be computed or is outside of the "
        "sources availability range: %s" % missing,
        "Parameter(s):",
    ]
    head += ["%-15s MERRA-2 %s" % (p, p) for p in params] + ["-END HEADER-"]
    rows = [",".join((["YEAR", "DOY"] if doy else ["YEAR", "MO", "DY"]) + params)]
    for d in days(first, last):
        if rng.random() < 0.01:
            continue
        tmax, tmin, prcp = day_values(rng, d)
        value = {
            prec: num(rng, prcp, 2),
            "T2M_MAX": num(rng, tmax, 2),
            "T2M_MIN": num(rng, tmin, 2),
            "RH2M": num(rng, rng.uniform(10, 100), 2),
        }
        for p in params:
            if rng.random() < 0.02:
                value[p] = rng.choice([missing, missing + ".0", "-999"])
        date = (
            [str(d.year), str(d.timetuple().tm_yday)]
            if doy
            else [str(d.year), str(d.month), str(d.day)]
        )
        rows.append(",".join(date + [value[p] for p in params]))
    if bad:
        spoil(rng, rows, bad)
    return lines_text(rng, head + rows, bom=0.05)


def station_id(rng):
    return rng.choice(["USC00", "USW00", "CA000", "GME00"]) + "%06d" % rng.randrange(10**6)


def ghcn_file(rng, sid, first, last, elements, bad=None):
    months = sorted({(d.year, d.month) for d in days(first, last)})
    lines = []
    by_element = rng.random() < 0.5
    order = (
        [(e, ym) for e in elements for ym in months]
        if by_element
        else [(e, ym) for ym in months for e in elements]
    )
    for element, (y, m) in order:
        if rng.random() < 0.02:
            continue  # a month missing
        length = (datetime.date(y + m // 12, m % 12 + 1, 1) - datetime.date(y, m, 1)).days
        line = "%s%04d%02d%s" % (sid, y, m, element)
        for day in range(1, 32):
            value, flags = -9999, "   "
            if day <= length and first <= datetime.date(y, m, day) <= last and rng.random() > 0.02:
                tmax, tmin, prcp = day_values(rng, datetime.date(y, m, day))
                value = {
                    "TMAX": round(tmax * 10), "TMIN": round(tmin * 10), "PRCP": round(prcp * 10),
                    "SNOW": rng.randrange(0, 50),
                }[element]
                flags = " " + rng.choice("        XI") + rng.choice("7 0")
                if element == "PRCP" and rng.random() < 0.05:
                    value, flags = 0, "T " + flags[2]
            line += "%5d%s" % (value, flags)
        lines.append(line)
    if bad and lines:
        at = rng.randrange(len(lines))
        if bad == "again":
            lines.insert(at, lines[at])
        elif bad == "fields":
            lines[at] = lines[at][:-1]
        else:
            lines[at] = lines[at][:21] + "  1x3" + lines[at][26:]
    return lines_text(rng, lines, eols=("\n", "\n", "\r\n", "\r"), bom=0.05)


def ghcn_stations_file(rng, ids):
    rows = []
    for sid in ids + [station_id(rng)]:
        rows.append(
            "%-11s %8.4f %9.4f %6.1f %-2s %-30s"
            % (
                sid, rng.uniform(-60, 70), rng.uniform(-180, 180), rng.uniform(-5, 3000),
                rng.choice(["IA", "CO", "  "]),
                rng.choice(["SOME PLACE", "FORT COLLINS"]),
            )
        )
    rng.shuffle(rows)
    return "\n".join(rows) + "\n"


CSV_NAMES = {
    "tmax": ["temp_max", "tmax", "TX"],
    "tmin": ["temp_min", "tmin", "TN"],
    "prcp": ["precipitation", "prcp", "RR"],
}


def csv_layout(rng):
    """The columns, units and options of one csv layout."""
    layout = {
        "delimiter": rng.choice([",", ",", ",", ";", "tab", "space"]),
        "prcp_unit": rng.choice(["mm", "cm", "in"]),
        "temp_unit": rng.choice(["C", "F", "K"]),
        "ymd": rng.random() < 0.3,
        "missing": rng.sample(["NA", "M", "-999", "-9999.0"], rng.randint(0, 2)),
        "extra": rng.random() < 0.5,
        "say_delimiter": rng.random() < 0.3,
        "columns": {},
    }
    for key, names in CSV_NAMES.items():
        name = rng.choice(names)
        header, given = name, name
        unit = layout["prcp_unit"] if key == "prcp" else layout["temp_unit"]
        r = rng.random()
        if r < 0.2:
            header = name.upper() if name != name.upper() else name.lower()
        elif r < 0.4 and layout["delimiter"] != "space":
            header = "%s (%s)" % (name, unit)
        layout["columns"][key] = (header, given)
    return layout


def csv_args(layout):
    args = ["csv"]
    if layout["ymd"]:
        args += ["--year", "yr", "--month", "mo", "--day", "dy"]
    else:
        args += ["--date", "date"]
    for key in ("tmax", "tmin", "prcp"):
        args += ["--" + key, layout["columns"][key][1]]
    args += ["--prcp-unit", layout["prcp_unit"], "--temp-unit", layout["temp_unit"]]
    for m in layout["missing"]:
        args += ["--missing", m]
    if layout["delimiter"] != "," or layout["say_delimiter"]:
        args += ["--delimiter", layout["delimiter"]]
    return args


def csv_file(rng, layout, first, last, bad=None):
    sep = {"tab": "\t", "space": " "}.get(layout["delimiter"], layout["delimiter"])
    keys = ["tmax", "tmin", "prcp"] + (["wind", "weather"] if layout["extra"] else [])
    rng.shuffle(keys)
    date_cols = ["yr", "mo", "dy"] if layout["ymd"] else ["date"]
    header = date_cols + [layout["columns"][k][0] if k in layout["columns"] else k for k in keys]
    rows = [sep.join(header)]
    empty = [""] + layout["missing"] if sep != " " else layout["missing"] or None
    for d in days(first, last):
        if rng.random() < 0.01:
            continue
        tmax, tmin, prcp = day_values(rng, d)
        conv = {"C": lambda t: t, "F": lambda t: t * 9 / 5 + 32, "K": lambda t: t + 273.15}[
            layout["temp_unit"]
        ]
        pconv = {"mm": 1, "cm": 0.1, "in": 1 / 25.4}[layout["prcp_unit"]]
        value = {
            "tmax": num(rng, conv(tmax)),
            "tmin": num(rng, conv(tmin)),
            "prcp": num(rng, prcp * pconv, rng.choice([1, 2, 3, 4])),
            "wind": num(rng, rng.uniform(0, 9), 1),
            "weather": rng.choice(["rain", "sun"]),
        }
        for k in ("tmax", "tmin", "prcp"):
            if empty and rng.random() < 0.03:
                value[k] = rng.choice(empty)
        date = [str(d.year), str(d.month), str(d.day)] if layout["ymd"] else [d.isoformat()]
        row = sep.join(date + [value[k] for k in keys])
        if layout["delimiter"] == "space" and rng.random() < 0.05:
            row = "  " + row.replace(" ", " \t ", 1) + " "
        rows.append(row)
    if bad:
        if sep != ",":
            rows = [r.replace(sep, ",") for r in rows]
        spoil(rng, rows, bad)
        if sep != ",":
            rows = [r.replace(",", sep) for r in rows]
    return lines_text(rng, rows, bom=0.1)


# ---- the daily files of siteprep, as fill and scenario read them ----


def wth_lines(rng, first, last, bias=0.0, gaps=0.0, missing=0.0, runs=0.0, extra=False):
    out = []
    run = 0
    fmt = rng.choice(["%d %d %d %d %s %s %s", "%3d %3d %5d %4d %s %s %s"])
    for d in days(first, last):
        if run:
            run -= 1
            continue
        if rng.random() < runs:
            run = rng.randint(1, 6)  # a run of days missing
            continue
        if rng.random() < gaps:
            continue
        tmax, tmin, prcp = day_values(rng, d, bias)
        v = [
            num(rng, tmax, rng.choice([1, 2])),
            num(rng, tmin, rng.choice([1, 2])),
            num(rng, prcp / 10, rng.choice([2, 3])),
        ]
        for i in range(3):
            if rng.random() < missing:
                v[i] = "-99.99"
        line = fmt % (d.day, d.month, d.year, d.timetuple().tm_yday, v[0], v[1], v[2])
        if extra:
            line += " 7"
        out.append(line)
    return out


def wth_file(rng, first, last, **kw):
    return "\n".join(wth_lines(rng, first, last, **kw)) + "\n"


STATIONS_HEADER = (
    "name,format,latitude,longitude,elevation_m,first_date,last_date,days,"
    "missing_tmax,missing_tmin,missing_prcp,mean_annual_prcp_cm"
)


def stations_table(rng, names, fmt="csv"):
    rows = [STATIONS_HEADER]
    for n in names:
        rows.append(
            "%s,%s,%.4f,%.4f,%s,2001-01-01,2001-12-31,365,0,1,2,%.2f"
            % (
                n, fmt, rng.uniform(-60, 60), rng.uniform(-180, 180),
                rng.choice(["NA", "310", "12.5"]), rng.uniform(10, 200),
            )
        )
    return "\r\n".join(rows) + "\r\n"


# ---- the daily formats' cases ----

DAILY_FORMATS = ["daymet", "ghcn", "power", "csv"]


def random_daily_options(rng, fmt):
    o = {"inputs": rng.choice([1, 1, 2, 3]), "years": rng.choice([1, 1, 2, 3])}
    for key, p in (
        ("out", 0.5), ("stations", 0.5), ("existing", 0.3), ("window", 0.3), ("bad_input", 0.15),
        ("bad_line", 0.1), ("subdir", 0.3),
    ):
        o[key] = rng.random() < p
    o["force"] = o["existing"] and rng.random() < 0.8
    o["keep_going"] = rng.random() < (0.8 if o["bad_input"] or o["bad_line"] else 0.2)
    o["stations_existing"] = o["stations"] and rng.random() < 0.5
    o["name"] = o["inputs"] == 1 and not o["bad_input"] and rng.random() < 0.3
    o["stdin"] = o["name"] and rng.random() < 0.4
    if fmt == "ghcn":
        o["ghcn_stations"] = rng.random() < 0.5
        o["fill_from"] = rng.random() < 0.3
        o["fill_options"] = o["fill_from"] and rng.random() < 0.5
    return o


def daily_case(rng, fmt, o):
    files = {}
    layout = csv_layout(rng) if fmt == "csv" else None
    args = csv_args(layout) if fmt == "csv" else [fmt]
    first, last = span(rng, o.get("years", 1))
    inputs, names = [], []
    for i in range(o.get("inputs", 1)):
        stem = rng.choice(["site%d" % i, "plot_%d" % i, "St%d.x" % i])
        path = ("downloads/" if o.get("subdir") else "") + stem
        bad = rng.choice(["again", "fields", "number"]) if o.get("bad_line") and i == 0 else None
        f0, l0 = first, last
        if i:  # the same years, give or take a season
            f0 += datetime.timedelta(days=rng.randint(-200, 200))
            l0 = max(f0, last + datetime.timedelta(days=rng.randint(-200, 200)))
        if fmt == "daymet":
            path += ".csv"
            text = daymet_file(rng, f0, l0, bad)
        elif fmt == "power":
            path += ".csv"
            text = power_file(rng, f0, l0, bad)
        elif fmt == "csv":
            path += rng.choice([".csv", ".txt"])
            text = csv_file(rng, layout, f0, l0, bad)
        else:
            sid = station_id(rng)
            path = ("downloads/" if o.get("subdir") else "") + sid + ".dly"
            stem = sid
            elements = (
                ["PRCP"]
                if o.get("fill_from") and rng.random() < 0.7
                else rng.sample(["TMAX", "TMIN", "PRCP", "SNOW"], 4)
            )
            if not o.get("fill_from") and "SNOW" in elements and rng.random() < 0.5:
                elements.remove("SNOW")
            text = ghcn_file(rng, sid, f0, l0, elements, bad)
        files[path] = text
        inputs.append(path)
        names.append(stem.rsplit(".", 1)[0] if fmt != "ghcn" else stem)
    if o.get("name"):
        names = ["named"]
        args += ["--name", "named"]
        if o.get("stdin"):
            stdin = files.pop(inputs[0]).encode()
            inputs = ["-"]
    out = rng.choice(["wth", "out/deep/er"]) if o.get("out") else "."
    if o.get("out"):
        args += [rng.choice(["-o", "--output-dir"]), out]
    if o.get("existing"):
        victim = os.path.normpath(os.path.join(out, rng.choice(names) + ".wth"))
        files[victim] = "the user's own\n"
        o.setdefault("modes", {})[victim] = 0o640
    if o.get("force"):
        args.append("--force")
    if o.get("window"):
        y = rng.randint(first.year, last.year) if rng.random() < 0.85 else first.year - 3
        args += ["--years", "%d-%d" % (y, y + rng.choice([0, 1, 4]))]
    if o.get("stations"):
        st = rng.choice(["st.csv", "tables/stations.csv"])
        if o.get("stations_existing"):
            files[st] = stations_table(rng, [rng.choice(names), "other"], fmt)
        elif "/" in st:
            files[os.path.dirname(st)] = None
        args += ["--stations", st]
    if fmt == "ghcn" and o.get("ghcn_stations"):
        ids = [n for n in names if n != "named"]
        files["ghcnd-stations.txt"] = ghcn_stations_file(rng, rng.sample(ids, len(ids)))
        args += ["--ghcn-stations", "ghcnd-stations.txt"]
    if fmt == "ghcn" and o.get("fill_from"):
        for i in range(rng.choice([1, 1, 2])):
            donor = "near%d.wth" % i
            files[donor] = wth_file(
                rng,
                first - datetime.timedelta(days=rng.randrange(400)),
                last + datetime.timedelta(days=rng.randrange(400)),
                bias=rng.uniform(-2, 2),
                gaps=0.01,
                missing=0.02,
            )
            args += ["--fill-from", donor]
        if o.get("fill_options"):
            args += [
                "--max-interp", str(rng.randint(0, 5)), "--min-overlap",
                str(rng.choice([10, 30, 60])), "--max-bias", rng.choice(["1", "2.5", "5"]),
            ]
    if o.get("keep_going"):
        args.append("--keep-going")
    if o.get("bad_input"):
        kind = rng.choice(["missing", "header", "empty"])
        bad = "broken." + ("dly" if fmt == "ghcn" else "csv")
        if kind == "header":
            files[bad] = "a,b\n1,2\n" if fmt != "ghcn" else "USC00000001200101TMAX   1\n"
        elif kind == "empty":
            files[bad] = ""
        inputs.insert(rng.randrange(len(inputs) + 1), bad)
    case = Case(fmt, args + inputs, files, modes=o.get("modes"))
    if o.get("stdin"):
        case.stdin = stdin
    return case


def fixed_daily_cases():
    """Each option on its own, then together, for every format."""
    shapes = [
        {}, {"out": True}, {"name": True}, {"name": True, "stdin": True}, {"existing": True},
        {"existing": True, "force": True}, {"window": True, "years": 3},
        {"stations": True, "inputs": 2},
        {"stations": True, "stations_existing": True},
        {"bad_input": True, "keep_going": True, "inputs": 2},
        {"bad_input": True, "inputs": 2},
        {"bad_line": True},
        {"bad_line": True, "keep_going": True, "inputs": 3},
        {
            "inputs": 3, "years": 2, "out": True, "stations": True, "force": True,
            "existing": True, "subdir": True,
        },
    ]
    cases = []
    for fmt in DAILY_FORMATS:
        more = (
            [
                {"ghcn_stations": True},
                {"fill_from": True},
                {"fill_from": True, "fill_options": True},
                {"fill_from": True, "ghcn_stations": True, "stations": True},
            ]
            if fmt == "ghcn"
            else []
        )
        for i, o in enumerate(shapes + more):
            cases.append(daily_case(random.Random("fixed %s %d" % (fmt, i)), fmt, dict(o)))
    return cases


# ---- fill ----


def fill_case(rng, o=None):
    o = o or {}
    first, last = span(rng, rng.choice([3, 4]))
    files = {}
    target = rng.choice(["plot7.wth", "wth/plot7.wth"])
    files[target] = wth_file(rng, first, last, gaps=0.03, missing=0.05, runs=0.02)
    args = ["fill", target]
    for i in range(o.get("donors", rng.choice([1, 2, 3]))):
        donor = "wth/USW%05d.wth" % i
        f0 = first - datetime.timedelta(days=rng.choice([0, 200, 800]))
        l0 = last - datetime.timedelta(days=rng.choice([0, 0, 400]))
        files[donor] = wth_file(rng, f0, l0, bias=rng.uniform(-4, 4), gaps=0.02, missing=0.02)
        args += ["--donor", donor]
    out = o.get("out", rng.choice(["-o", "--force", "-o --force"]))
    if "-o" in out:
        args += ["-o", "filled"]
        if "--force" in out:
            files["filled/plot7.wth"] = "old\n"
            files["filled/plot7.fill.csv"] = "date,quantity,value,method,source,adjustment\r\n"
    if "--force" in out:
        args.append("--force")
    if o.get("record", rng.random() < 0.2):
        files[target[:-4] + ".fill.csv"] = (
            "date,quantity,value,method,source,adjustment\r\n"
            "%s,tmax,12.5,interpolation,,\r\n" % first.isoformat()
        )
    if o.get("tuned", rng.random() < 0.5):
        args += [
            "--max-interp", str(rng.randint(0, 6)), "--min-overlap",
            str(rng.choice([1, 20, 60, 200])), "--max-bias", rng.choice(["0.5", "3", "8"]),
        ]
    return Case("fill", args, files)


def fixed_fill_cases():
    shapes = [
        {"out": "-o", "donors": 1, "tuned": False, "record": False},
        {"out": "--force", "donors": 2, "tuned": False, "record": False},
        {"out": "-o --force", "donors": 2, "tuned": False},
        {"out": "-o", "donors": 3, "tuned": True, "record": True},
        {"out": "--force", "donors": 1, "tuned": True, "record": True},
    ]
    return [fill_case(random.Random("fixed fill %d" % i), o) for i, o in enumerate(shapes)]


# ---- scenario ----


def deltas_table(rng, sites, scenarios, drop=False):
    head = (["scenario"] if scenarios else []) + ["site", "month", "dtmax", "dtmin", "pfactor"]
    rows = [",".join(head)]
    for sc in scenarios or [None]:
        for m in range(1, 13):
            for site in ["*"] + [s for s in sites if rng.random() < 0.3]:
                row = [
                    site, str(m), num(rng, rng.uniform(-2, 4)), num(rng, rng.uniform(-2, 4)),
                    num(rng, rng.uniform(0, 2), rng.choice([1, 2, 3])),
                ]
                rows.append(",".join(([sc] if sc else []) + row))
    if drop:
        rows.pop(rng.randrange(1, len(rows)))
    return "\n".join(rows) + "\n"


def scenario_case(rng, o=None):
    o = o or {}
    files, inputs = {}, []
    names = ["plot%d" % i for i in range(o.get("inputs", rng.randint(1, 3)))]
    for n in names:
        first, last = span(rng, rng.choice([1, 2]))
        path = rng.choice(["", "wth/"]) + n + ".wth"
        files[path] = wth_file(rng, first, last, missing=0.03, extra=rng.random() < 0.2)
        inputs.append(path)
    scenarios = o.get("scenarios", rng.choice([[], [], ["ssp245"], ["warm", "dry"]]))
    files["deltas.csv"] = deltas_table(rng, names, scenarios, o.get("drop", rng.random() < 0.1))
    out = rng.choice(["sc", "out/scenarios"])
    args = ["scenario", "--deltas", "deltas.csv", "-o", out]
    if o.get("existing", rng.random() < 0.3):
        where = os.path.join(out, scenarios[0]) if scenarios else out
        files[os.path.join(where, names[0] + ".wth")] = "old\n"
        files[os.path.join(where, "deltas_applied.csv")] = (
            "site,month,dtmax,dtmin,pfactor,deltas_line,days,tmin_above_tmax\r\n"
            "gone,1,0,0,1,2,31,0\r\n"
        )
        if o.get("force", rng.random() < 0.7):
            args.append("--force")
    if o.get("bad", rng.random() < 0.2):
        files["bad.wth"] = "1 1 2001 1 10 2 0.1\n2 1 2001 2 x 2 0.1\n"
        inputs.insert(rng.randrange(len(inputs) + 1), "bad.wth")
        if o.get("keep_going", rng.random() < 0.7):
            args.append("--keep-going")
    return Case("scenario", args + inputs, files)


def fixed_scenario_cases():
    shapes = [
        {"scenarios": [], "existing": False, "bad": False, "drop": False},
        {"scenarios": ["warm", "dry"], "existing": False, "bad": False, "drop": False},
        {"scenarios": ["ssp245"], "existing": True, "force": True, "bad": False, "drop": False},
        {"scenarios": [], "existing": True, "force": False, "bad": False, "drop": False},
        {"scenarios": [], "existing": False, "bad": True, "keep_going": True, "drop": False},
        {"scenarios": [], "existing": False, "bad": True, "keep_going": False, "drop": False},
        {"scenarios": ["a"], "existing": False, "bad": False, "drop": True, "inputs": 1},
    ]
    return [scenario_case(random.Random("fixed scenario %d" % i), o) for i, o in enumerate(shapes)]


# ---- netcdf: CF files from CDL text ----


def cdl_values(values, kind):
    def one(v):
        if v is None:
            return {"float": "-999.f", "double": "-999.", "short": "-32768s"}[kind]
        if isinstance(v, str):
            return v
        return str(int(v)) if kind == "short" else "%.6g" % v

    return ", ".join(one(v) for v in values)


def netcdf_case(rng, o=None):
    o = o or {}
    layout = o.get("layout", rng.choice(["grid"] * 6 + ["projected", "cell_methods"]))
    nlat, nlon = rng.randint(1, 4), rng.randint(1, 4)
    step = rng.choice([0.25, 0.5, 1.0])
    lat0, lon0 = rng.choice([40.0, -33.5, 61.0]), rng.choice([-110.0, 250.0, 10.5])
    lats = [lat0 + i * step for i in range(nlat)]
    lons = [lon0 + j * step for j in range(nlon)]
    if rng.random() < 0.3:
        lats.reverse()
    sub_daily = layout == "grid" and o.get("daily", rng.random() < 0.2)
    start = datetime.date(
        rng.choice([2000, 2001, 2003]), rng.choice([1, 2, 12]), rng.choice([1, 27])
    )
    ndays = o.get("days", rng.choice([2, 5, 30, 70]))
    calendar = rng.choice([None, None, None, "noleap", "proleptic_gregorian", "366_day"])
    if sub_daily:
        times = [6 * i for i in range(ndays * 4)]
        time_units = "hours since %s" % start.isoformat()
    else:
        times = list(range(ndays))
        time_units = "days since %s" % start.isoformat()
    nt = len(times)
    mask = o.get("mask", rng.random() < 0.5)
    masked = {(i, j) for i in range(nlat) for j in range(nlon) if mask and rng.random() < 0.15}
    if len(masked) == nlat * nlon:
        masked.discard((0, 0))
    lon_first = layout == "grid" and rng.random() < 0.2
    if layout == "projected":
        dims, plane = "(time, y, x)", "(y, x)"
        dimline = "time = UNLIMITED ; y = %d ; x = %d ;" % (nlat, nlon)
        coords = (
            'double x(x) ; x:units = "m" ; x:standard_name = "projection_x_coordinate" ;\n'
            'double y(y) ; y:units = "m" ; y:standard_name = "projection_y_coordinate" ;\n'
            'float lat(y, x) ; lat:units = "degrees_north" ;\n'
            'float lon(y, x) ; lon:units = "degrees_east" ;'
        )
        # A grid turned a little against the meridians, as a Lambert tile is.
        coord_data = "x = %s ; y = %s ;\nlat = %s ;\nlon = %s ;" % (
            cdl_values([1000.0 * j for j in range(nlon)], "double"),
            cdl_values([1000.0 * i for i in range(nlat)], "double"),
            cdl_values([lats[i] + 0.02 * j for i in range(nlat) for j in range(nlon)], "float"),
            cdl_values(
                [(lons[j] + 0.03 * i + 180) % 360 - 180 for i in range(nlat) for j in range(nlon)],
                "float",
            ),
        )
    else:
        dims = "(time, lon, lat)" if lon_first else "(time, lat, lon)"
        plane = "(lat, lon)"
        dimline = "time = UNLIMITED ; lat = %d ; lon = %d ;" % (nlat, nlon)
        coords = (
            'float lat(lat) ; lat:units = "degrees_north" ;\n'
            'float lon(lon) ; lon:units = "degrees_east" ;'
        )
        coord_data = "lat = %s ; lon = %s ;" % (
            cdl_values(lats, "float"),
            cdl_values(lons, "float"),
        )

    def field(fn):
        out = []
        cells = (
            [(i, j) for j in range(nlon) for i in range(nlat)]
            if lon_first
            else [(i, j) for i in range(nlat) for j in range(nlon)]
        )
        for t in range(nt):
            for i, j in cells:
                # A cell without a value at the first step is masked.
                gone = (i, j) in masked or (t > 0 and rng.random() < 0.02)
                out.append(None if gone else fn(t, i, j))
        return out

    def temp(t, i, j, hi):
        day = start + datetime.timedelta(days=times[t] / (24 if sub_daily else 1))
        tmax, tmin, _ = day_values(rng, day, bias=-0.5 * lats[i] / 10)
        return tmax if hi else tmin

    pr_unit = rng.choice(["mm", "kg m-2 s-1", "mm/day", "m", "cm"])
    pr_scale = {"mm": 1, "kg m-2 s-1": 1 / 86400, "mm/day": 1, "m": 0.001, "cm": 0.1}[pr_unit]
    if sub_daily:
        pr_unit, pr_scale = rng.choice([("mm", 0.25), ("m", 0.00025)])
    # (file, name, type, units, more attributes, values)
    tvars = []
    if sub_daily:
        tvars.append(
            ("grid.nc", "t", "float", "K", "", lambda t, i, j: temp(t, i, j, t % 4 == 2) + 273.15)
        )
        names = ["--tmax", "t", "--tmin", "t"]
    elif layout == "cell_methods":
        for f, method, hi in (
            ("max.nc", "time: maximum", True),
            ("min.nc", "area: mean time: minimum", False),
        ):
            tvars.append(
                (
                    f, "t", "float", "degC",
                    't:cell_methods = "%s" ;' % method,
                    lambda t, i, j, hi=hi: temp(t, i, j, hi),
                )
            )
        names = ["--tmax", "t", "--tmin", "t"]
    else:
        kind, unit = rng.choice(["float degC", "short K", "float degF", "double K"]).split()
        conv = {"degC": lambda x: x, "K": lambda x: x + 273.15, "degF": lambda x: x * 9 / 5 + 32}[
            unit
        ]
        split = o.get("split", rng.random() < 0.3)
        if kind == "short":
            tvars.append(
                (
                    "nc/temps.nc" if split else "grid.nc", "tx", "short", "K",
                    "tx:scale_factor = 0.01 ; tx:add_offset = 273.15 ;",
                    lambda t, i, j: round(temp(t, i, j, True) * 100),
                )
            )
        else:
            tvars.append(
                (
                    "nc/temps.nc" if split else "grid.nc", "tx", kind, unit, "",
                    lambda t, i, j: conv(temp(t, i, j, True)),
                )
            )
        tvars.append(
            (
                "nc/temps.nc" if split else "grid.nc", "tn", rng.choice(["float", "double"]),
                rng.choice(["degC", "Celsius"]), "",
                lambda t, i, j: temp(t, i, j, False),
            )
        )
        names = ["--tmax", "tx", "--tmin", "tn"]
    rest = {"grid.nc": "grid.nc", "nc/temps.nc": "nc/rest.nc", "max.nc": "max.nc"}[tvars[0][0]]
    tvars.append(
        (
            rest, "pr", "float", pr_unit, "",
            lambda t, i, j: (0 if rng.random() < 0.6 else rng.expovariate(1 / 5)) * pr_scale,
        )
    )
    parts = {}
    for f, name, kind, unit, more, fn in tvars:
        attrs = '%s:units = "%s" ; %s:_FillValue = %s ; %s' % (
            name,
            unit,
            name,
            {"float": "-999.f", "double": "-999.", "short": "-32768s"}[kind],
            more,
        )
        if layout == "projected":
            attrs += ' %s:coordinates = "%s" ;' % (name, rng.choice(["lat lon", "lon lat"]))
        var, data = parts.setdefault(f, ([], []))
        var.append("%s %s%s ; %s" % (kind, name, dims, attrs))
        data.append("%s = %s ;" % (name, cdl_values(field(fn), kind)))
    elevation = o.get("elevation", rng.random() < 0.4)
    if elevation:
        eunit = rng.choice(["m", "km"])
        var, data = parts[rest]
        var.append(
            'float elev%s ; elev:units = "%s" ;%s'
            % (plane, eunit, ' elev:coordinates = "lat lon" ;' if layout == "projected" else "")
        )
        data.append(
            "elev = %s ;"
            % cdl_values(
                [
                    rng.uniform(0, 3000) / (1000 if eunit == "km" else 1)
                    for _ in range(nlat * nlon)
                ],
                "float",
            )
        )
    time_var = 'double time(time) ; time:units = "%s" ;%s' % (
        time_units,
        ' time:calendar = "%s" ;' % calendar if calendar else "",
    )
    grids = {}
    for f, (var, data) in parts.items():
        grids[f] = (
            "netcdf g {\ndimensions:\n%s\nvariables:\n%s\n%s\n%s\ndata:\n%s\ntime = %s ;\n%s\n}\n"
            % (
                dimline, time_var, coords, "\n".join(var), coord_data,
                cdl_values(times, "double"), "\n".join(data),
            )
        )
    # The sites: on the grid, between its cells, on a masked cell, far off it.
    files, rows = {}, []
    for k in range(rng.randint(1, 6)):
        lat = rng.choice(lats) + rng.uniform(-step, step)
        lon = (rng.choice(lons) + rng.uniform(-step, step) + 180) % 360 - 180
        rows.append(("s%d" % k, lat, lon))
    if o.get("far", rng.random() < 0.15):
        rows.insert(rng.randrange(len(rows) + 1), ("far", lat0 - 30, -140.0))
    if rng.random() < 0.5:
        files["sites.txt"] = "".join("%s %.3f %.3f 40 40 20 1.3 0.5 3 1530\n" % r for r in rows)
    else:
        files["sites.txt"] = "name,latitude,longitude\r\n" + "".join(
            "%s,%.3f,%.3f\r\n" % r for r in rows
        )
    args = ["netcdf", "--sites", "sites.txt"] + names + ["--prcp", "pr"]
    if sub_daily:
        args.append("--daily")
    out = "."
    if rng.random() < 0.6:
        out = rng.choice(["wth", "out/grid"])
        args += ["-o", out]
    if elevation:
        args += ["--elevation", "elev"]
    if o.get("stations", rng.random() < 0.5):
        if rng.random() < 0.3:
            files["st.csv"] = stations_table(rng, ["s0", "other"], "power")
        args += ["--stations", "st.csv"]
    if o.get("max_distance", rng.random() < 0.3):
        args += ["--max-distance", rng.choice(["1", "50", "200"])]
    if o.get("window", rng.random() < 0.2):
        args += ["--years", "%d-%d" % (start.year, start.year + 1)]
    if o.get("existing", rng.random() < 0.2):
        files[os.path.normpath(os.path.join(out, rows[0][0] + ".wth"))] = "old\n"
        if o.get("force", rng.random() < 0.8):
            args.append("--force")
    if o.get("keep_going", rng.random() < 0.4):
        args.append("--keep-going")
    inputs = sorted(grids)
    rng.shuffle(inputs)
    return Case("netcdf", args + inputs, files, grids=grids)


def fixed_netcdf_cases():
    plain = {"far": False, "existing": False, "mask": False}
    shapes = [
        dict(plain, layout="grid", daily=False, split=False, stations=True, elevation=True),
        dict(plain, layout="grid", daily=True, existing=True, force=True),
        dict(
            plain, layout="grid", daily=False, split=True, max_distance=True, days=400, window=True
        ),
        dict(plain, layout="projected", stations=True, elevation=True),
        dict(plain, layout="cell_methods"),
        dict(plain, layout="grid", mask=True, max_distance=True, keep_going=True),
        dict(plain, layout="grid", existing=True, force=False),
        dict(plain, layout="grid", far=True, keep_going=True),
        dict(plain, layout="grid", far=True, keep_going=False, stations=True),
    ]
    return [netcdf_case(random.Random("fixed netcdf %d" % i), o) for i, o in enumerate(shapes)]


# ---- soil ----

SOILS_HEADER = (
    "name,sand,silt,clay,bulk_density,layer_code,top_cm,bottom_cm,coverage,"
    "texture_sum,pass_through,source"
)


def soils_table(rng, names):
    rows = [SOILS_HEADER]
    for n in names:
        rows.append("%s,0.4,0.4,0.2,1.3,3,0,45,1.000,100.00,0.5,horizons; layer code given" % n)
    return "\r\n".join(rows) + "\r\n"


def texture(rng):
    sand = rng.uniform(5, 90)
    silt = rng.uniform(0, 100 - sand)
    clay = 100 - sand - silt
    if rng.random() < 0.05:
        clay += 20  # sums far from 100
    return sand, silt, clay


def horizons_case(rng, o=None):
    o = o or {}
    frac = rng.random() < 0.4
    unit = "frac" if frac else "pct"
    share = rng.random() < 0.5
    head = "name,top_cm,bottom_cm,sand_%s,silt_%s,clay_%s,bulk_density" % (unit, unit, unit)
    rows = [head + (",share" if share else "")]
    names = ["plot%d" % i for i in range(rng.randint(1, 4))]
    for n in names:
        profiles = rng.choice([1, 2]) if share else 1
        for p in range(profiles):
            top, portion = 0, str(rng.choice([70, 30, 50]))
            for h in range(rng.randint(1, 4)):
                bottom = top + rng.choice([5, 10, 20, 30, 50])
                s = texture(rng)
                v = [num(rng, x / (100 if frac else 1), 3 if frac else 1) for x in s]
                bd = num(rng, rng.uniform(0.9, 1.8), 2)
                if rng.random() < 0.1:
                    v, bd = ["NA"] * 3, "NA"
                row = [n, str(top), str(bottom)] + v + [bd]
                if share:
                    row.append(portion)
                rows.append(",".join(row))
                top = bottom
    if o.get("empty_site", rng.random() < 0.15):
        rows.append("bare,0,10,NA,NA,NA,NA" + (",100" if share else ""))
    files = {"horizons.csv": "\n".join(rows) + "\n"}
    args = ["soil", "horizons", "horizons.csv"]
    args += [rng.choice(["--layer-code", "--default-layer-code"]), str(rng.randint(1, 9))]
    args += ["--pass-through", num(rng, rng.uniform(0, 2), rng.choice([1, 2]))]
    out = rng.choice(["soils.csv", "tables/soils.csv"])
    if o.get("existing", rng.random() < 0.4):
        files[out] = soils_table(rng, [rng.choice(names), "kept"])
    elif "/" in out:
        files[os.path.dirname(out)] = None
    args += ["--soils", out]
    if o.get("keep_going", rng.random() < 0.4):
        args.append("--keep-going")
    return Case("soil horizons", args, files)


SOILGRIDS_DEPTHS = [(0, 5), (5, 15), (15, 30), (30, 60), (60, 100), (100, 200)]


def soilgrids_json(rng, lat, lon, quantile):
    layers = []
    depths = SOILGRIDS_DEPTHS[: rng.randint(2, 6)]
    per_depth = [texture(rng) for _ in depths]
    for prop, factor, mapped, target in (
        ("sand", 10, "g/kg", "%"),
        ("silt", 10, "g/kg", "%"),
        ("clay", 10, "g/kg", "%"),
        ("bdod", 100, "cg/cm\u00b3", "kg/dm\u00b3"),
        ("phh2o", 10, "pH*10", "-log(H+)"),
    ):
        ds = []
        for k, (top, bottom) in enumerate(depths):
            if prop in ("sand", "silt", "clay"):
                v = round(per_depth[k][["sand", "silt", "clay"].index(prop)] * 10)
            elif prop == "bdod":
                v = rng.randrange(90, 180)
            else:
                v = rng.randrange(40, 85)
            if rng.random() < 0.08:
                v = None
            values = {"mean": v}
            if quantile:
                for q in ("Q0.05", "Q0.5", "Q0.95"):
                    values[q] = None if v is None else max(0, v + rng.randrange(-30, 30))
                if rng.random() < 0.5:
                    del values["mean"]
            ds.append(
                {
                    "range": {"top_depth": top, "bottom_depth": bottom, "unit_depth": "cm"},
                    "label": "%d-%dcm" % (top, bottom),
                    "values": values,
                }
            )
        layers.append(
            {
                "name": prop,
                "unit_measure": {
                    "d_factor": factor,
                    "mapped_units": mapped,
                    "target_units": target,
                },
                "depths": ds,
            }
        )
    doc = {
        "type": "Feature",
        "geometry": {"type": "Point", "coordinates": [lon, lat]},
        "properties": {"layers": layers},
        "query_time_s": 0.5,
    }
    return json.dumps(doc, indent=rng.choice([None, 1]), ensure_ascii=rng.random() < 0.5)


def soilgrids_case(rng, o=None):
    o = o or {}
    quantile = o.get("quantile", rng.random() < 0.3)
    files, inputs = {}, []
    for i in range(o.get("inputs", rng.randint(1, 3))):
        path = "sg/plot%d.json" % i
        files[path] = soilgrids_json(rng, rng.uniform(-50, 60), rng.uniform(-180, 180), quantile)
        inputs.append(path)
    args = ["soil", "soilgrids"]
    stdin = None
    named = len(inputs) == 1 and rng.random() < 0.3
    if named:
        args += ["--name", "given"]
        if rng.random() < 0.5:
            stdin = files.pop(inputs[0]).encode()
            inputs = ["-"]
    if o.get("bad", rng.random() < 0.2) and not named:
        files["sg/bad.json"] = rng.choice(["{type", '{"type":"Feature"}', ""])
        inputs.append("sg/bad.json")
    args += inputs
    args += [rng.choice(["--layer-code", "--default-layer-code"]), str(rng.randint(1, 9))]
    if rng.random() < 0.5:
        args += ["--pass-through-from", "phh2o"]
    else:
        args += ["--pass-through", num(rng, rng.uniform(0, 2), 1)]
    if quantile:
        args += ["--quantile", rng.choice(["Q0.05", "Q0.5", "Q0.95"])]
    if rng.random() < 0.3:
        files["soils.csv"] = soils_table(rng, ["plot0", "kept"])
    args += ["--soils", "soils.csv"]
    if o.get("keep_going", rng.random() < 0.4):
        args.append("--keep-going")
    return Case("soil soilgrids", args, files, stdin=stdin)


SDA_COLUMNS = [
    "name", "mukey", "cokey", "comppct_r", "majcompflag", "compkind", "hzdept_r", "hzdepb_r",
    "sandtotal_r", "silttotal_r", "claytotal_r", "dbthirdbar_r", "resdept_r",
]


def sda_case(rng, o=None):
    o = o or {}
    points = o.get("points", rng.random() < 0.3)
    columns = SDA_COLUMNS[1:] if points and rng.random() < 0.5 else SDA_COLUMNS
    table = [columns]
    sites, cokey = [], 0
    for i in range(rng.randint(1, 4)):
        name, mukey = "plot%d" % i, str(100 + i)
        sites.append((name, mukey))
        for c in range(rng.randint(1, 3)):
            cokey += 1
            share = str(rng.choice([10, 30, 60, 85]))
            major = "Yes" if c == 0 else rng.choice(["Yes", "Yes", "No "])
            kind = "Series" if c == 0 or rng.random() > 0.2 else "Miscellaneous area"
            restriction = rng.choice([None, None, "50", "25", "5", "120"])
            top = 0
            for h in range(rng.randint(1, 3)):
                bottom = top + rng.choice([10, 20, 35, 50])
                s = texture(rng)
                v = ["%.1f" % x for x in s] + ["%.2f" % rng.uniform(0.9, 1.8)]
                if rng.random() < 0.1:
                    v = [None] * 4
                row = (
                    [name, mukey, str(cokey), share, major, kind, str(top), str(bottom)]
                    + v
                    + [restriction]
                )
                table.append(row[len(SDA_COLUMNS) - len(columns) :])
                top = bottom
    files = {"sda.json": json.dumps({"Table": table})}
    args = ["soil", "sda", "sda.json"]
    if points:
        files["points.csv"] = "name,mukey\n" + "".join(
            "%s,%s\n" % (rng.choice(["north", "south", n]), k) for n, k in sites[:2]
        )
        args += ["--points", "points.csv"]
    if rng.random() < 0.3:
        args += ["--layer-code", str(rng.randint(1, 9))]
    else:
        args += ["--default-layer-code", str(rng.randint(1, 9))]
    args += ["--pass-through", num(rng, rng.uniform(0, 2), 1), "--soils", "soils.csv"]
    if rng.random() < 0.3:
        files["soils.csv"] = soils_table(rng, ["plot0", "kept"])
    if o.get("keep_going", rng.random() < 0.4):
        args.append("--keep-going")
    return Case("soil sda", args, files)


def plan_case(rng, source=None):
    source = source or rng.choice(["soilgrids", "sda"])
    header = rng.choice(["name,lat,lon", "name,latitude,longitude", STATIONS_HEADER])
    eol = "\r\n" if header == STATIONS_HEADER or rng.random() < 0.3 else "\n"
    rows = [header]
    for i in range(rng.randint(1, 5)):
        name = rng.choice(["plot%d" % i, "plot'%d" % i, '"plot""%d"' % i])
        lat = num(rng, rng.uniform(-60, 60), rng.choice([0, 2, 4]))
        lon = num(rng, rng.uniform(-180, 180), rng.choice([0, 2, 4]))
        if header == STATIONS_HEADER:
            rows.append(
                "%s,power,%s,%s,NA,2001-01-01,2001-12-31,365,0,0,0,80.5" % (name, lat, lon)
            )
        else:
            rows.append("%s,%s,%s" % (name, lat, lon))
    args = ["soil", source, "--plan", "points.csv"]
    if source == "soilgrids":
        if rng.random() < 0.5:
            args += ["--quantile", rng.choice(["Q0.05", "Q0.5", "Q0.95"])]
        if rng.random() < 0.5:
            args += ["--pass-through-from", "phh2o"]
    return Case("soil --plan", args, {"points.csv": eol.join(rows) + eol})


# ---- sites ----


def esri_grid(rng, west, south):
    ncols, nrows = rng.randint(2, 6), rng.randint(2, 5)
    size = rng.choice([0.25, 0.1, 0.5])
    centre = rng.random() < 0.3
    lines = [
        "ncols        %d" % ncols,
        "nrows        %d" % nrows,
        "%s    %s" % ("xllcenter" if centre else "xllcorner", west + (size / 2 if centre else 0)),
        "%s    %s" % ("yllcenter" if centre else "yllcorner", south + (size / 2 if centre else 0)),
        "cellsize     %s" % size,
        "NODATA_value -9999",
    ]
    for r in range(nrows):
        lines.append(
            " ".join(
                "-9999" if rng.random() < 0.1 else str(rng.randrange(0, 3000))
                for _ in range(ncols)
            )
        )
    return "\n".join(lines) + "\n", (west, south, west + ncols * size, south + nrows * size)


def hgt_tile(rng, lat, lon):
    n = rng.choice([11, 21])
    samples = [-32768 if rng.random() < 0.05 else rng.randrange(-50, 3000) for _ in range(n * n)]
    name = "%s%02d%s%03d.hgt" % (
        "N" if lat >= 0 else "S",
        abs(lat),
        "E" if lon >= 0 else "W",
        abs(lon),
    )
    return name, struct.pack(">%dh" % len(samples), *samples)


def sites_case(rng, o=None):
    o = o or {}
    files = {}
    boxes, dems = [], []
    if o.get("dem", rng.random() < 0.7):
        text, box = esri_grid(rng, rng.choice([-105.5, 10.0]), rng.choice([41.0, -20.0]))
        files["dem/grid.asc"] = text
        boxes.append(box)
        dems.append("dem/grid.asc")
        if rng.random() < 0.5:
            lat, lon = rng.choice([(47, -123), (-21, 10)])
            name, data = hgt_tile(rng, lat, lon)
            files["dem/" + name] = data
            boxes.append((lon, lat, lon + 1, lat + 1))
            dems.insert(rng.randrange(2), "dem/" + name)
    incomplete = o.get("incomplete", rng.random() < 0.3)
    st = [STATIONS_HEADER if rng.random() < 0.5 else "name,format,latitude,longitude,elevation_m"]
    so = [rng.choice([SOILS_HEADER, "name,sand,silt,clay,bulk_density,pass_through,layer_code"])]
    for i in range(rng.randint(1, 6)):
        name = "p%d" % i
        if boxes and rng.random() < 0.8:
            w, s, e, n = rng.choice(boxes)
            lat, lon = rng.uniform(s, n), rng.uniform(w, e)
        else:
            lat, lon = rng.uniform(-60, 60), rng.uniform(-180, 180)
        elev = "NA" if rng.random() < 0.15 else num(rng, rng.uniform(0, 3000), rng.choice([0, 1]))
        lat_t, lon_t = num(rng, lat, rng.choice([2, 4, 6])), num(rng, lon, rng.choice([2, 4, 6]))
        if incomplete and rng.random() < 0.3:
            lat_t = "NA"
        more = ",2001-01-01,2001-12-31,365,0,0,0,80.5" if st[0] == STATIONS_HEADER else ""
        st.append("%s,power,%s,%s,%s%s" % (name, lat_t, lon_t, elev, more))
        if incomplete and rng.random() < 0.2:
            continue  # not in the soils table
        s = [x / 100 for x in texture(rng)]
        code = str(rng.randint(1, 9))
        if incomplete and rng.random() < 0.2:
            code = rng.choice(["3.5", "4.0", "NA"])
        bd, pt = num(rng, rng.uniform(0.9, 1.8), rng.choice([2, 7])), num(
            rng, rng.uniform(0, 2), 1
        )
        sv = [num(rng, x, rng.choice([2, 8])) for x in s]
        if so[0] == SOILS_HEADER:
            so.append(",".join([name] + sv + [bd, code, "0", "45", "1.000", "100.00", pt, "x"]))
        else:
            so.append(",".join([name] + sv + [bd, pt, code]))
    files["stations.csv"] = "\r\n".join(st) + "\r\n"
    files["soils.csv"] = "\n".join(so) + "\n"
    args = ["sites", "--stations", "stations.csv", "--soils", "soils.csv"]
    for d in dems:
        args += ["--dem", d]
    if o.get("skip", rng.random() < 0.5):
        args.append("--skip-incomplete")
    return Case("sites", args, files)


# ---- failures: an input that is not there, a directory that cannot be made ----


def small_inputs(seed):
    """One good input of each kind, and a file where a directory would go."""
    rng = random.Random(seed)
    first, last = datetime.date(2001, 1, 1), datetime.date(2002, 12, 31)
    wth = wth_file(rng, first, last)
    return {
        "good.csv": daymet_file(rng, first, last),
        "plain.wth": wth,
        "near.wth": wth,
        "USC00000001.dly": ghcn_file(rng, "USC00000001", first, last, ["PRCP"]),
        "blocker": "a file, not a directory\n",
        "deltas.csv": deltas_table(rng, [], []),
        "horizons.csv": "name,top_cm,bottom_cm,sand_pct,silt_pct,clay_pct,bulk_density\n"
        "p,0,30,40,40,20,1.3\n",
        "st.csv": "name,format,latitude,longitude,elevation_m\r\n" "p,power,41.5,-105.2,1500\r\n",
        "so.csv": "name,sand,silt,clay,bulk_density,pass_through,layer_code\n"
        "p,0.4,0.4,0.2,1.3,0.5,3\n",
        "pts.csv": "name,lat,lon\np,41.5,-105.2\n",
    }


def failure_cases(json_ok, netcdf_ok):
    good = small_inputs("failures")
    lines = [
        ["daymet", "missing.csv"],
        ["daymet", "--keep-going", "good.csv", "missing.csv"],
        ["power", "-o", "blocker/sub", "good.csv"],
        ["daymet", "-o", "blocker", "good.csv"],
        ["daymet", "--stations", "blocker/st.csv", "good.csv"],
        ["ghcn", "missing.dly"],
        ["ghcn", "--fill-from", "missing.wth", "USC00000001.dly"],
        [
            "csv", "--date", "date", "--tmax", "a", "--tmin", "b", "--prcp", "c", "--prcp-unit",
            "mm", "--temp-unit", "C", "missing.csv",
        ],
        ["fill", "missing.wth", "--donor", "near.wth", "-o", "filled"],
        ["fill", "plain.wth", "--donor", "missing.wth", "-o", "filled"],
        ["fill", "plain.wth", "--donor", "near.wth", "-o", "blocker/filled"],
        ["scenario", "--deltas", "missing.csv", "-o", "sc", "plain.wth"],
        ["scenario", "--deltas", "deltas.csv", "-o", "sc", "missing.wth"],
        ["scenario", "--deltas", "deltas.csv", "-o", "blocker/sc", "plain.wth"],
        [
            "soil", "horizons", "missing.csv", "--layer-code", "3", "--pass-through", "0",
            "--soils", "s.csv",
        ],
        [
            "soil", "horizons", "horizons.csv", "--layer-code", "3", "--pass-through", "0",
            "--soils", "blocker/s.csv",
        ],
        ["soil", "sda", "--plan", "missing.csv"],
        ["soil", "soilgrids", "--plan", "missing.csv"],
        ["sites", "--stations", "missing.csv", "--soils", "so.csv"],
        ["sites", "--stations", "st.csv", "--soils", "missing.csv"],
        ["sites", "--stations", "st.csv", "--soils", "so.csv", "--dem", "missing.asc"],
    ]
    if json_ok:
        lines += [
            [
                "soil", "soilgrids", "missing.json", "--layer-code", "3", "--pass-through", "0",
                "--soils", "s.csv",
            ],
            [
                "soil", "sda", "missing.json", "--layer-code", "3", "--pass-through", "0",
                "--soils", "s.csv",
            ],
        ]
    if netcdf_ok:
        nc = ["--tmax", "tx", "--tmin", "tn", "--prcp", "pr"]
        lines += [
            ["netcdf", "--sites", "st.csv"] + nc + ["missing.nc"],
            ["netcdf", "--sites", "missing.txt"] + nc + ["missing.nc"],
            ["netcdf", "--sites", "st.csv", "-o", "blocker/out"] + nc + ["missing.nc"],
        ]
    return [Case("failures", args, dict(good)) for args in lines]


# ---- wrong command lines and the help texts ----


def cmdline_cases():
    good = small_inputs("command lines")
    csv = ["csv", "--date", "date", "--tmax", "a", "--tmin", "b", "--prcp", "c"]
    nc = ["--tmax", "tx", "--tmin", "tn", "--prcp", "pr"]
    soil = ["--layer-code", "3", "--pass-through", "0", "--soils", "s.csv"]
    lines = [[], ["--help"], ["-h"], ["--version"], ["--bogus"], ["bogus", "good.csv"]]
    for command in [
        "daymet", "ghcn", "power", "csv", "fill", "netcdf", "scenario", "soil", "sites",
    ]:
        lines += [[command, "--help"], [command, "-h"], [command]]
    lines += [
        ["soil", "horizons", "--help"], ["soil", "sda", "--help"],
        ["soil", "soilgrids", "--help"], ["daymet", "--bogus", "good.csv"], ["daymet", "-o"],
        ["daymet", "--years", "2001", "good.csv"],
        ["daymet", "--years", "2005-2001", "good.csv"],
        ["daymet", "--years", "1000-1600", "good.csv"],
        ["daymet", "--name", "x", "good.csv", "plain.wth"],
        ["daymet", "--prcp-unit", "mm", "good.csv"],
        ["daymet", "--fill-from", "plain.wth", "good.csv"],
        ["daymet", "--max-interp", "2", "good.csv"],
        ["power", "--name"], ["ghcn", "--fill-from"], ["--force", "daymet", "good.csv"],
        ["-o", "out", "power", "good.csv"],
        ["--keep-going", "scenario", "--deltas", "deltas.csv", "-o", "sc", "plain.wth"],
        ["--stations", "st.csv", "sites", "--soils", "so.csv"],
        ["--force", "fill", "plain.wth", "--donor", "plain.wth"],
        ["--keep-going", "soil", "horizons", "horizons.csv"] + soil,
        ["--daily", "netcdf", "--sites", "st.csv"] + nc + ["g.nc"],
        csv + ["good.csv"],
        csv + ["--prcp-unit", "mm", "good.csv"],
        csv + ["--prcp-unit", "furlongs", "--temp-unit", "C", "good.csv"],
        csv + ["--prcp-unit", "mm", "--temp-unit", "R", "good.csv"],
        csv + ["--prcp-unit", "mm", "--temp-unit", "C", "--delimiter", "ab", "good.csv"],
        csv + ["--prcp-unit", "mm", "--temp-unit", "C", "--year", "y", "good.csv"],
        [
            "csv", "--tmax", "a", "--tmin", "b", "--prcp", "c", "--prcp-unit", "mm",
            "--temp-unit", "C", "good.csv",
        ],
        ["fill", "plain.wth"],
        ["fill", "plain.wth", "--donor", "plain.wth"],
        ["fill", "plain.wth", "--donor", "plain.wth", "-o", "f", "--max-interp", "-1"],
        ["fill", "plain.wth", "--donor", "plain.wth", "-o", "f", "--min-overlap", "x"],
        ["fill", "plain.wth", "--donor", "plain.wth", "-o", "f", "--max-bias", "-2"],
        ["fill", "--donor", "plain.wth", "-o", "f"],
        ["fill", "a.wth", "b.wth", "--donor", "plain.wth", "-o", "f"],
        ["netcdf", "--sites", "st.csv", "g.nc"],
        ["netcdf"] + nc + ["g.nc"],
        ["netcdf", "--sites", "st.csv"] + nc,
        ["netcdf", "--sites", "st.csv", "--max-distance", "-3"] + nc + ["g.nc"],
        ["netcdf", "--sites", "st.csv", "--name", "x"] + nc + ["g.nc"],
        ["scenario", "plain.wth"],
        ["scenario", "--deltas", "deltas.csv", "plain.wth"],
        ["scenario", "--deltas", "deltas.csv", "-o", "sc"],
        ["scenario", "--deltas", "deltas.csv", "-o", "sc", "--years", "2001-2002", "plain.wth"],
        ["soil", "bogus", "horizons.csv"] + soil,
        ["soil", "horizons", "horizons.csv"],
        ["soil", "horizons", "horizons.csv", "--soils", "s.csv"],
        [
            "soil", "horizons", "horizons.csv", "--layer-code", "12", "--pass-through", "0",
            "--soils", "s.csv",
        ],
        [
            "soil", "horizons", "horizons.csv", "--layer-code", "3", "--pass-through", "0",
            "--pass-through-from", "phh2o", "--soils", "s.csv",
        ],
        ["soil", "horizons", "--plan", "pts.csv"],
        ["soil", "soilgrids", "--plan", "pts.csv", "--quantile", "Q0.3"],
        ["soil", "sda", "--plan", "pts.csv", "--soils", "s.csv"],
        ["soil", "horizons", "horizons.csv", "--bogus"] + soil,
        ["sites"],
        ["sites", "--stations", "st.csv"],
        ["sites", "--soils", "so.csv"],
        ["sites", "--stations", "st.csv", "--soils", "so.csv", "extra"],
        ["sites", "--stations", "st.csv", "--soils", "so.csv", "--dem"],
        ["sites", "--stations", "st.csv", "--soils", "so.csv", "--bogus"],
    ]
    return [Case("command line", args, dict(good), cmdline=True) for args in lines]


# ---- running and comparing ----


def run_import(binary, root, case):
    try:
        r = subprocess.run(
            ["siteprep-import"] + case.args,
            executable=binary,
            cwd=root,
            input=case.stdin if case.stdin is not None else b"",
            capture_output=True,
            timeout=IMPORT_TIMEOUT,
        )
        return r.returncode, r.stdout, r.stderr
    except subprocess.TimeoutExpired as e:
        return "timed out after %d s" % IMPORT_TIMEOUT, e.stdout or b"", e.stderr or b""


def tree(root):
    """Every path under root: its kind, mode and bytes (or link target)."""
    found = {}
    for here, dirs, files in os.walk(root):
        for name in dirs + files:
            full = os.path.join(here, name)
            rel = os.path.relpath(full, root)
            st = os.lstat(full)
            if stat.S_ISLNK(st.st_mode):
                found[rel] = ("link", os.readlink(full))
            elif stat.S_ISDIR(st.st_mode):
                found[rel] = ("directory", stat.S_IMODE(st.st_mode))
            elif stat.S_ISREG(st.st_mode):
                with open(full, "rb") as f:
                    found[rel] = ("file", stat.S_IMODE(st.st_mode), f.read())
            else:
                found[rel] = ("other", stat.S_IFMT(st.st_mode))
    return found


def text_difference(what, a, b, limit=12):
    la = a.decode(errors="backslashreplace").splitlines(keepends=True)
    lb = b.decode(errors="backslashreplace").splitlines(keepends=True)
    diff = list(difflib.unified_diff(la, lb, "base", "new", n=1))
    if not diff:  # the same lines, other line ends
        return ["  %s differs in line ends or a last newline" % what]
    shown = []
    for line in diff[2 : 2 + limit]:
        body = line[1:-1] if line.endswith("\n") else line[1:]
        # Escapes show a control character or a CR; the LF that ends a line is left out.
        shown.append(
            "    " + (line[0] + repr(body)[1:-1] if line[0] in "+- " else line.rstrip("\n"))
        )
    more = len(diff) - 2 - limit
    return (
        ["  %s:" % what] + shown + (["    ... %d more lines of diff" % more] if more > 0 else [])
    )


def tree_difference(ta, tb):
    out = []
    for path in sorted(set(ta) | set(tb)):
        a, b = ta.get(path), tb.get(path)
        if a == b:
            continue
        if a is None or b is None:
            out.append(
                "  %s: a %s only in %s" % (path, (a or b)[0], "new" if a is None else "base")
            )
        elif a[0] != b[0]:
            out.append("  %s: a %s in base, a %s in new" % (path, a[0], b[0]))
        elif a[0] == "file" and a[2] != b[2]:
            at = next(
                (i for i, (x, y) in enumerate(zip(a[2], b[2])) if x != y),
                min(len(a[2]), len(b[2])),
            )
            line = a[2][:at].count(b"\n") + 1
            out.append(
                "  %s: bytes differ from offset %d (line %d; %d bytes in base, %d in new)"
                % (path, at, line, len(a[2]), len(b[2]))
            )
            out += text_difference(path, a[2], b[2], limit=6)[1:]
        elif a[0] == "link":
            out.append("  %s: a link to %s in base, to %s in new" % (path, a[1], b[1]))
        else:
            out.append("  %s: mode %o in base, %o in new" % (path, a[1], b[1]))
    return out


def compare(ra, rb, ta, tb):
    out = []
    if ra[0] != rb[0]:
        out.append("  status %s in base, %s in new" % (ra[0], rb[0]))
    if ra[1] != rb[1]:
        out += text_difference("stdout", ra[1], rb[1])
    if ra[2] != rb[2]:
        out += text_difference("stderr", ra[2], rb[2])
    return out + tree_difference(ta, tb)


def probe(binary, work, args):
    root = os.path.join(work, "probe")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    status, out, err = run_import(binary, root, Case("probe", args))
    shutil.rmtree(root, ignore_errors=True)
    return status, (out + err).decode(errors="replace")


def capabilities(binary, work):
    """Whether a build reads netCDF files and JSON soil sources, from what
    it says of itself and what it does with such a command."""
    _, top = probe(binary, work, ["--help"])
    _, nc_help = probe(binary, work, ["netcdf", "--help"])
    _, nc = probe(
        binary,
        work,
        ["netcdf", "--sites", "s.txt", "--tmax", "a", "--tmin", "b", "--prcp", "c", "g.nc"],
    )
    _, soil_help = probe(binary, work, ["soil", "--help"])
    _, sg = probe(
        binary,
        work,
        [
            "soil", "soilgrids", "x.json", "--layer-code", "1", "--pass-through", "0", "--soils",
            "s.csv",
        ],
    )
    netcdf = not any(
        "netcdf is not in this build" in t or "netcdf format is not in this build" in t
        for t in (top, nc_help, nc)
    )
    reads_json = not any("reads no JSON" in t for t in (soil_help, sg))
    return netcdf, reads_json


def import_cases(batches, netcdf_ok, json_ok):
    """The fixed cases, then BATCHES rounds of random ones."""
    cases = fixed_daily_cases() + fixed_fill_cases() + fixed_scenario_cases()
    if netcdf_ok:
        cases += fixed_netcdf_cases()
    cases += [
        horizons_case(
            random.Random("fixed horizons %d" % i),
            {"existing": i % 2 == 1, "keep_going": i == 2, "empty_site": i >= 2},
        )
        for i in range(4)
    ]
    cases += [
        plan_case(random.Random("fixed plan %d" % i), s)
        for i, s in enumerate(["soilgrids", "sda", "soilgrids", "sda"])
    ]
    if json_ok:
        cases += [
            soilgrids_case(random.Random("fixed soilgrids %d" % i), o)
            for i, o in enumerate(
                [
                    {"inputs": 1, "quantile": False, "bad": False},
                    {"inputs": 3, "quantile": True},
                    {"inputs": 2, "bad": True, "keep_going": True},
                    {"inputs": 2, "bad": True, "keep_going": False},
                ]
            )
        ]
        cases += [
            sda_case(random.Random("fixed sda %d" % i), o)
            for i, o in enumerate([{"points": False}, {"points": True}, {"keep_going": True}])
        ]
    cases += [
        sites_case(random.Random("fixed sites %d" % i), o)
        for i, o in enumerate(
            [
                {"dem": True, "incomplete": False},
                {"dem": True, "incomplete": True, "skip": False},
                {"dem": True, "incomplete": True, "skip": True},
                {"dem": False, "incomplete": False},
            ]
        )
    ]
    cases += failure_cases(json_ok, netcdf_ok)
    for b in range(1, batches + 1):
        # A seed of each case's own, so that a case is the same whatever
        # the builds leave out.
        def rng(what):
            return random.Random("batch %d %s" % (b, what))

        for fmt in DAILY_FORMATS:
            for i in range(2):
                r = rng("%s %d" % (fmt, i))
                cases.append(daily_case(r, fmt, random_daily_options(r, fmt)))
        makers = [("fill", fill_case), ("scenario", scenario_case), ("horizons", horizons_case),
                  ("plan", plan_case), ("sites", sites_case)]
        if netcdf_ok:
            makers.append(("netcdf", netcdf_case))
        if json_ok:
            makers += [("soilgrids", soilgrids_case), ("sda", sda_case)]
        cases += [make(rng(what)) for what, make in makers]
    return cases + cmdline_cases()


def run_both(case, base, new, work):
    """Each build in a copy of the case's files, in the same directory one
    after the other, so that a path either prints is the same path; the
    directories left are work/a and work/b."""
    source, root = os.path.join(work, "source"), os.path.join(work, "run")
    shutil.rmtree(source, ignore_errors=True)
    case.make(source)
    results, trees = [], []
    for side, binary in (("a", base), ("b", new)):
        shutil.rmtree(root, ignore_errors=True)
        shutil.copytree(source, root, symlinks=True)
        results.append(run_import(binary, root, case))
        trees.append(tree(root))
        shutil.rmtree(os.path.join(work, side), ignore_errors=True)
        os.rename(root, os.path.join(work, side))
    return results, trees


def keep_difference(keep, case, results, work):
    shutil.rmtree(keep, ignore_errors=True)
    os.makedirs(keep)
    with open(os.path.join(keep, "command"), "w") as f:
        f.write("siteprep-import %s\n" % words(case.args))
    for side, (status, out, err) in zip("ab", results):
        shutil.copytree(os.path.join(work, side), os.path.join(keep, side), symlinks=True)
        for part, data in (
            ("stdout", out),
            ("stderr", err),
            ("status", b"%s\n" % str(status).encode()),
        ):
            with open(os.path.join(keep, "%s.%s" % (side, part)), "wb") as f:
                f.write(data)


def import_main(argv):
    verbose = argv[:1] == ["-v"]
    if verbose:
        argv = argv[1:]
    if len(argv) not in (2, 3) or not all(os.access(b, os.X_OK) for b in argv[:2]):
        print(
            "usage: bench/same_output.py --import [-v] BASE_IMPORT NEW_IMPORT [BATCHES]",
            file=sys.stderr,
        )
        return 2
    base, new = os.path.abspath(argv[0]), os.path.abspath(argv[1])
    batches = int(argv[2]) if len(argv) > 2 else IMPORT_BATCHES
    work = tempfile.mkdtemp(prefix="same_output.")
    runs = differing = cmdline_runs = cmdline_differing = saved = 0
    statuses, notes = {}, []  # a mode's count of each status of the base build
    try:
        (nc_a, json_a), (nc_b, json_b) = capabilities(base, work), capabilities(new, work)
        have_ncgen = shutil.which("ncgen") is not None
        for what, a, b in (("netCDF files", nc_a, nc_b), ("JSON soil sources", json_a, json_b)):
            if a != b:
                runs += 1
                differing += 1
                print(
                    "the builds differ: %s reads %s, %s does not"
                    % ((base, what, new) if a else (new, what, base))
                )
        netcdf_ok, json_ok = nc_a and nc_b and have_ncgen, json_a and json_b
        if not netcdf_ok:
            notes.append(
                "netcdf skipped: %s"
                % (
                    "no ncgen (netcdf-bin) to make its files"
                    if not have_ncgen
                    else "a build without the netCDF library"
                )
            )
        if not json_ok:
            notes.append("soil soilgrids and sda skipped: a build that reads no JSON")
        for note in notes:
            print("note: " + note)
        for n, case in enumerate(import_cases(batches, netcdf_ok, json_ok)):
            results, trees = run_both(case, base, new, work)
            found = compare(results[0], results[1], trees[0], trees[1])
            if verbose:
                said = (results[0][2] or results[0][1]).decode(errors="replace").splitlines()
                print(
                    "case %d, %s: status %s: siteprep-import %s\n    %s"
                    % (n, case.mode, results[0][0], words(case.args), said[0] if said else "")
                )
            # A line the base build refuses belongs with the command lines,
            # whatever it was meant to test.
            if not case.cmdline and results[0][0] == 2:
                print(
                    "note: case %d (%s) is a wrong command line to the base build: %s"
                    % (n, case.mode, words(case.args))
                )
            if case.cmdline or results[0][0] == 2:
                cmdline_runs += 1
                if found:
                    cmdline_differing += 1
                    print(
                        "case %d, command line (expected to change): siteprep-import %s"
                        % (n, words(case.args))
                    )
                    print("\n".join(found))
                continue
            runs += 1
            counts = statuses.setdefault(case.mode, {})
            counts[results[0][0]] = counts.get(results[0][0], 0) + 1
            if found:
                differing += 1
                print("case %d, %s differs: siteprep-import %s" % (n, case.mode, words(case.args)))
                print("\n".join(found))
                if saved < SAVED_DIFFERENCES:
                    saved += 1
                    keep_difference("import-diff-%d" % saved, case, results, work)
                    print(
                        "  (kept in import-diff-%d: a/ the base build's, b/ the new one's)" % saved
                    )
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for mode in sorted(statuses):
        print(
            "  %-15s %s"
            % (
                mode,
                ", ".join(
                    "%d with status %s" % (c, s)
                    for s, c in sorted(statuses[mode].items(), key=str)
                ),
            )
        )
    for note in notes:
        print("note: " + note)
    print(
        "command-line cases: %d differing (expected to change), of %d"
        % (cmdline_differing, cmdline_runs)
    )
    print("%d runs in %d modes, %d differing" % (runs, len(statuses), differing))
    return 1 if differing else 0

if __name__ == "__main__":
    sys.exit(main())
