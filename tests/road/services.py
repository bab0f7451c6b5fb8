#!/usr/bin/env python3
"""Stand-ins for the web services the README's road and the importer's
plans download from, on the loopback address only. A request names the service's host as its first path
segment (http://127.0.0.1:PORT/power.larc.nasa.gov/api/...); each answer is
made for the place or station asked, in the layout the service documents,
with values drawn from a generator seeded by that place, so that every run
gets the same files. A URL, parameter or request body a service would not
take is refused with 400 or 404: a wrong command in the README fails.

usage: services.py PORT_FILE LOG_FILE
The port chosen is written to PORT_FILE; each request's host and path to
LOG_FILE, a line each."""

import array
import datetime
import gzip
import json
import math
import os
import random
import re
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

POWER_NAMES = {
    "T2M_MAX": ("MERRA-2 Temperature at 2 Meters Maximum", "C"),
    "T2M_MIN": ("MERRA-2 Temperature at 2 Meters Minimum", "C"),
    "PRECTOTCORR": ("MERRA-2 Precipitation Corrected", "mm/day"),
}
# The stations of ghcnd-stations.txt: latitude, longitude, elevation, state,
# name, then the inventory's elements and years. Four near each point have
# PRCP, TMAX and TMIN over the road's years; of the two nearer plot1 and
# plot2, one has PRCP only and one too few years, so neither is chosen.
FULL = ("PRCP", "SNOW", "TMAX", "TMIN")
STATIONS = {
    "USW00024233": (47.4444, -122.3139, 112.8, "WA", "SEATTLE TACOMA AP", FULL, 1985, 2024),
    "USC00459101": (47.9500, -122.9200, 150.0, "WA", "QUILCENE RIDGE", FULL, 1985, 2024),
    "USC00459102": (47.5000, -122.5500, 90.0, "WA", "SOUTHWORTH", FULL, 1985, 2024),
    "USC00459103": (47.7000, -122.7000, 60.0, "WA", "SEABECK", FULL, 1985, 2024),
    "USC00459104": (47.6000, -122.3500, 40.0, "WA", "ALKI POINT", FULL, 1985, 2024),
    "US1WAKP0005": (47.4850, -122.4950, 20.0, "WA", "OLALLA 0.4 N", ("PRCP",), 1985, 2024),
    "USC00459106": (47.9310, -122.9610, 200.0, "WA", "DABOB BAY", FULL, 2010, 2020),
}


class Refused(Exception):
    def __init__(self, status, why):
        super().__init__(why)
        self.status = status


def need(ok, why, status=400):
    if not ok:
        raise Refused(status, why)


def dem_height(lat, lon):
    """The stand-in DEM's height: linear, so that bilinear reading is exact."""
    return -1100 + 1200 * (lat - math.floor(lat)) + 1200 * (lon - math.floor(lon))


def weather(seed, days):
    """(tmax, tmin, prcp mm) for each day: one seasonal cycle, and noise of the seed."""
    rnd = random.Random(seed)
    for day in days:
        season = math.cos(2 * math.pi * (day.timetuple().tm_yday - 200) / 365.25)
        tmax = 14 + 9 * season + rnd.uniform(-2, 2)
        tmin = tmax - 8 - rnd.uniform(0, 3)
        prcp = rnd.expovariate(1 / 6) if rnd.random() < 0.45 - 0.2 * season else 0.0
        yield day, tmax, tmin, prcp


def days_between(first, last):
    day = first
    while day <= last:
        yield day
        day += datetime.timedelta(days=1)


def one(query, key, pattern=r".+"):
    values = query.get(key, [])
    need(len(values) == 1 and re.fullmatch(pattern, values[0]), f"{key}: one value expected")
    return values[0]


def number(query, key, low, high):
    value = float(one(query, key, r"-?\d+(\.\d+)?"))
    need(low <= value <= high, f"{key} out of range")
    return value


def power(query):
    """POWER's Daily API: the CSV with its header, or the GeoJSON (the default)."""
    number(query, "latitude", -90, 90)
    number(query, "longitude", -180, 180)
    lat, lon = one(query, "latitude"), one(query, "longitude")  # echoed as given
    names = one(query, "parameters").split(",")
    need(all(n in POWER_NAMES for n in names), "unknown parameter")
    one(query, "community", "AG|RE|SB")
    start, end = (datetime.datetime.strptime(one(query, k, r"\d{8}"), "%Y%m%d").date()
                  for k in ("start", "end"))
    fmt = query.get("format", ["JSON"])[0]
    need(fmt in ("CSV", "JSON"), "format: CSV or JSON")
    elevation = round(dem_height(float(lat), float(lon)) + 37.25, 2)
    rows = [(d, {"T2M_MAX": x, "T2M_MIN": n, "PRECTOTCORR": p})
            for d, x, n, p in weather(f"power {lat} {lon}", days_between(start, end))]
    if fmt == "JSON":
        body = {"type": "Feature",
                "geometry": {"type": "Point", "coordinates": [float(lon), float(lat), elevation]},
                "properties": {"parameter": {n: {d.strftime("%Y%m%d"): round(v[n], 2)
                                                 for d, v in rows} for n in names}},
                "header": {"title": "NASA/POWER CERES/MERRA2 Native Resolution Daily Data",
                           "fill_value": -999.0, "start": start.strftime("%Y%m%d"),
                           "end": end.strftime("%Y%m%d")},
                "messages": [],
                "parameters": {n: {"units": POWER_NAMES[n][1], "longname": POWER_NAMES[n][0]}
                               for n in names}}
        return "application/json", json.dumps(body).encode()
    lines = ["-BEGIN HEADER-", "NASA/POWER CERES/MERRA2 Native Resolution Daily Data ",
             f"Dates (month/day/year): {start:%m/%d/%Y} through {end:%m/%d/%Y} ",
             f"Location: Latitude  {lat}   Longitude {lon} ",
             "Elevation from MERRA-2: Average for 0.5 x 0.625 degree lat/lon region = "
             f"{elevation} meters",
             "The value for missing source data that cannot be computed or is outside of the "
             "sources availability range: -999 ", "Parameter(s): "]
    lines += [f"{n:<22}{POWER_NAMES[n][0]} ({POWER_NAMES[n][1]}) " for n in names]
    lines += ["-END HEADER-", "YEAR,MO,DY," + ",".join(names)]
    lines += [f"{d.year},{d.month},{d.day}," + ",".join(f"{v[n]:.2f}" for n in names)
              for d, v in rows]
    return "text/csv", ("\n".join(lines) + "\n").encode()


DAYMET_UNITS = {"dayl": "s", "prcp": "mm/day", "srad": "W/m^2", "swe": "kg/m^2",
                "tmax": "deg c", "tmin": "deg c", "vp": "Pa"}
DAYMET_YEARS = range(1980, 2024)


def daymet_days(first, last):
    """Daymet's calendar: 365 days a year, December 31 of a leap year left out."""
    for day in days_between(first, last):
        if not (day.month == 12 and day.day == 31 and day.timetuple().tm_yday == 366):
            yield day


def daymet(query):
    """The Daymet Single Pixel Extraction API's CSV: a preamble with the place,
    then year, yday and the variables asked, in the service's order."""
    lat, lon = number(query, "lat", 14.5, 52), number(query, "lon", -131, -53)
    names = one(query, "vars").split(",")
    need(all(n in DAYMET_UNITS for n in names), "unknown variable")
    need(query.get("format", ["csv"]) == ["csv"], "format: csv")
    start, end = (datetime.datetime.strptime(one(query, k, r"\d{4}-\d{2}-\d{2}"), "%Y-%m-%d").date()
                  if k in query else None for k in ("start", "end"))
    start = start or datetime.date(DAYMET_YEARS[0], 1, 1)
    end = end or datetime.date(DAYMET_YEARS[-1], 12, 31)
    need(DAYMET_YEARS[0] <= start.year <= end.year <= DAYMET_YEARS[-1], "years out of range")
    names = [n for n in DAYMET_UNITS if n in names]
    lines = [f"Latitude: {lat}  Longitude: {lon}", "X & Y on Lambert Conformal Conic: "
             "X (km): -1500.25  Y (km): 400.75", "Tile: 12270",
             f"Elevation: {round(dem_height(lat, lon) + 1200, 1)} meters",
             f"All years; all variables; Daymet Software Version 4.0; "
             f"Daymet Data Version 4.0.", "How to cite: Thornton et al.", "",
             "year,yday," + ",".join(f"{n} ({DAYMET_UNITS[n]})" for n in names)]
    for d, tmax, tmin, prcp in weather(f"daymet {lat} {lon}", daymet_days(start, end)):
        values = {"dayl": 43200.0, "prcp": prcp, "srad": 300.0, "swe": 0.0, "tmax": tmax,
                  "tmin": tmin, "vp": 800.0}
        yday = d.timetuple().tm_yday
        lines.append(f"{d.year},{yday}," + ",".join(f"{values[n]:.2f}" for n in names))
    return "text/csv", ("\n".join(lines) + "\n").encode()


SOILGRIDS_UNITS = {"sand": (10, "g/kg", "%"), "silt": (10, "g/kg", "%"),
                   "clay": (10, "g/kg", "%"), "bdod": (100, "cg/cm³", "kg/dm³"),
                   "phh2o": (10, "pH*10", "-")}
SOILGRIDS_DEPTHS = {"0-5cm": (0, 5), "5-15cm": (5, 15), "15-30cm": (15, 30),
                    "30-60cm": (30, 60), "60-100cm": (60, 100), "100-200cm": (100, 200)}


def soilgrids(query):
    """SoilGrids v2.0 properties/query: a layer a property, its depths' values."""
    lon, lat = number(query, "lon", -180, 180), number(query, "lat", -90, 90)
    props, depths = query.get("property", []), query.get("depth", [])
    values = query.get("value", [])
    need(props and all(p in SOILGRIDS_UNITS for p in props), "unknown property")
    need(depths and all(d in SOILGRIDS_DEPTHS for d in depths), "unknown depth")
    need(values and all(v in ("mean", "Q0.05", "Q0.5", "Q0.95", "uncertainty")
                        for v in values), "unknown value")
    rnd = random.Random(f"soilgrids {lon} {lat}")
    layers = []
    for p in props:
        factor, mapped, target = SOILGRIDS_UNITS[p]
        base = {"sand": 400, "silt": 350, "clay": 230, "bdod": 135, "phh2o": 58}[p]
        layers.append({"name": p, "unit_measure": {"d_factor": factor, "mapped_units": mapped,
                                                   "target_units": target},
                       "depths": [{"range": {"top_depth": SOILGRIDS_DEPTHS[d][0],
                                             "bottom_depth": SOILGRIDS_DEPTHS[d][1],
                                             "unit_depth": "cm"},
                                   "label": d,
                                   "values": {v: base + rnd.randint(-20, 20) for v in values}}
                                  for d in depths]})
    body = {"type": "Feature", "geometry": {"type": "Point", "coordinates": [lon, lat]},
            "properties": {"layers": layers}, "query_time_s": 0.5}
    return "application/json", json.dumps(body).encode()


SDA_COLUMNS = ["name", "mukey", "cokey", "comppct_r", "majcompflag", "compkind", "hzdept_r",
               "hzdepb_r", "sandtotal_r", "silttotal_r", "claytotal_r", "dbthirdbar_r",
               "resdept_r"]
SDA_POINT = re.compile(r"SELECT '([^']+)' AS name, mukey FROM "
                       r"SDA_Get_Mukey_from_intersection_with_WktWgs84\('point\((\S+) (\S+)\)'\)")


def sda(request):
    """Soil Data Access post.rest: the query's points, each a map unit of two
    major components with horizons, as JSON+COLUMNNAME (every value a string)."""
    need(request.get("format") == "JSON+COLUMNNAME", "format: JSON+COLUMNNAME")
    query = request.get("query", "")
    points = SDA_POINT.findall(query)
    need(points and all(c in query for c in SDA_COLUMNS[1:]), "not a query of the components")
    table = [SDA_COLUMNS]
    for n, (name, lon, lat) in enumerate(points):
        rnd = random.Random(f"sda {lon} {lat}")
        for cokey, share, restriction in ((2 * n + 1, 70, "85"), (2 * n + 2, 30, None)):
            for top, bottom in ((0, 20), (20, 60), (60, 150)):
                sand, clay = rnd.uniform(20, 60), rnd.uniform(5, 30)
                table.append([name, str(1000 + n), str(cokey), str(share), "Yes", "Series",
                              str(top), str(bottom), f"{sand:.1f}", f"{100 - sand - clay:.1f}",
                              f"{clay:.1f}", f"{rnd.uniform(1.2, 1.6):.2f}", restriction])
    return "application/json", json.dumps({"Table": table}).encode()


def ghcn_station_list():
    lines = [f"{sid} {lat:8.4f} {lon:9.4f} {elev:6.1f} {state} {name:<30}{'':>5}"
             for sid, (lat, lon, elev, state, name, *_) in STATIONS.items()]
    return "text/plain", ("\n".join(lines) + "\n").encode()


def ghcn_inventory():
    """ghcnd-inventory.txt: a line an element of a station, its first and last year."""
    lines = [f"{sid} {lat:8.4f} {lon:9.4f} {e} {first} {last}"
             for sid, (lat, lon, _, _, _, elements, first, last) in STATIONS.items()
             for e in elements]
    return "text/plain", ("\n".join(lines) + "\n").encode()


def dly_slot(value, flag=" "):
    return f"{value:5d} {flag}0" if value != -9999 else "-9999   "


def ghcn_dly(station):
    """A station's .dly, fixed width as the GHCN-Daily readme gives it, a line
    an element a month, its inventory's elements and years. Gaps, shifted by
    k days, the station's place in STATIONS, so that its donors have its days:
    each year's July 10-14 not reported (TMAX, TMIN), every 37th day's PRCP
    missing and every 53rd TMAX failed a check (I)."""
    # A station the lists lack (the plans' tests ask for one) has every element and year.
    *_, elements, first, last = STATIONS.get(station, (None,) * 5 + (FULL, 1985, 2024))
    k = list(STATIONS).index(station) if station in STATIONS else 0
    days = days_between(datetime.date(first, 1, 1), datetime.date(last, 12, 31))
    months = {}
    for n, (d, tmax, tmin, prcp) in enumerate(weather(f"ghcn {station}", days), start=k):
        gap = d.month == 7 and 10 + k <= d.day <= 14 + k
        month = months.setdefault((d.year, d.month), {e: ["-9999   "] * 31 for e in elements})
        values = {"TMAX": "-9999   " if gap else dly_slot(round(tmax * 10),
                                                         "I" if n % 53 == 0 else " "),
                  "TMIN": "-9999   " if gap else dly_slot(round(tmin * 10)),
                  "PRCP": "-9999   " if n % 37 == 0 else dly_slot(round(prcp * 10)),
                  "SNOW": dly_slot(0)}
        for e in elements:
            month[e][d.day - 1] = values[e]
    lines = [f"{station}{y:04d}{m:02d}{e}" + "".join(slots)
             for (y, m), elements in sorted(months.items()) for e, slots in elements.items()]
    return "text/plain", ("\n".join(lines) + "\n").encode()


def srtm_tile():
    """An SRTM tile of 1201 x 1201 big-endian 16-bit samples, rows north to
    south, gzipped as the Skadi tiles are served."""
    # Every tile has dem_height's heights over its own south-west corner:
    # 100 - r + c at row r, column c.
    samples = array.array("h")
    for r in range(1201):
        samples.extend(range(100 - r, 100 - r + 1201))
    if sys.byteorder == "little":
        samples.byteswap()
    return "application/octet-stream", gzip.compress(samples.tobytes(), compresslevel=1)


def answer(method, path, query, body):
    if method == "POST":
        need(path == "/sdmdataaccess.sc.egov.usda.gov/Tabular/post.rest", "unknown URL", 404)
        try:
            return sda(json.loads(body))
        except ValueError:
            raise Refused(400, "the body is no JSON request")
    if path == "/daymet.ornl.gov/single-pixel/api/data":
        return daymet(query)
    if path == "/power.larc.nasa.gov/api/temporal/daily/point":
        return power(query)
    if path == "/rest.isric.org/soilgrids/v2.0/properties/query":
        return soilgrids(query)
    if path == "/www.ncei.noaa.gov/pub/data/ghcn/daily/ghcnd-stations.txt":
        return ghcn_station_list()
    if path == "/www.ncei.noaa.gov/pub/data/ghcn/daily/ghcnd-inventory.txt":
        return ghcn_inventory()
    if m := re.fullmatch(r"/www\.ncei\.noaa\.gov/pub/data/ghcn/daily/all/([A-Z0-9]{11})\.dly",
                         path):
        return ghcn_dly(m[1])
    if m := re.fullmatch(r"/s3\.amazonaws\.com/elevation-tiles-prod/skadi/([NS]\d\d)/(\1[EW]\d{3})"
                         r"\.hgt\.gz", path):
        return srtm_tile()
    raise Refused(404, "unknown URL")


class Handler(BaseHTTPRequestHandler):
    def serve(self, method):
        url = urlsplit(self.path)
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with open(sys.argv[2], "a") as log:
            print(method, url.path, file=log)
        try:
            if method == "POST":
                need(self.headers.get("Content-Type") == "application/json", "not JSON")
            kind, data = answer(method, url.path, parse_qs(url.query), body)
            self.send_response(200)
        except Refused as e:
            kind, data = "text/plain", f"{e}\n".encode()
            self.send_response(e.status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        self.serve("GET")

    def do_POST(self):
        self.serve("POST")

    def log_message(self, *args):
        pass


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    with open(sys.argv[1] + ".tmp", "w") as f:
        print(server.server_address[1], file=f)
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
