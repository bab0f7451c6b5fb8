// The table of daily formats.
#include "formats.h"

#include "reading.h"

namespace import {

namespace {

const daily_format formats[] = {
    {"daymet", read_daymet, "Daymet's single-pixel CSV (mm, degrees C)",
     "daymet only:\n"
     "  --fill-from FILE.wth  fill the days Daymet leaves out (December 31 of leap\n"
     "                        years: its calendar has 365 days) and any other gap\n"
     "                        from this daily file, as fill does (repeatable)\n"
     "  --max-interp N  --min-overlap N  --max-bias X\n"
     "                        the fill's settings, as fill takes them\n",
     false, false, false, true, false},
    {"ghcn", read_ghcn, "a GHCN-Daily station file (.dly), named by its station ID",
     "ghcn only:\n"
     "  --ghcn-stations FILE  ghcnd-stations.txt, for the stations' places\n"
     "  --lat DEG --lon DEG [--elevation M]\n"
     "                        or the station's place, for a single FILE\n"
     "                        (latitude -90 to 90, longitude -180 to 360)\n"
     "  --points FILE.csv     or the places by station ID: a table of name, lat\n"
     "                        and lon (and elevation_m), or a site list\n"
     "  --fill-from FILE.wth  fill a quantity the station never has (most GHCN\n"
     "                        stations: temperatures) and the gaps of the others\n"
     "                        from this daily file, as fill does (repeatable)\n"
     "  --max-interp N  --min-overlap N  --max-bias X\n"
     "                        the fill's settings, as fill takes them\n",
     true, false, true, true, true},
    {"power", read_power, "NASA POWER's daily point CSV or JSON", "", false, false, false, false,
     false},
    {"csv", read_csv, "a plain CSV whose columns and units you name",
     "csv only (the units and columns have no default):\n"
     "  --prcp-unit mm|cm|in  --temp-unit C|F|K\n"
     "  --date COL (YYYY-MM-DD), or --year COL --month COL --day COL\n"
     "  --tmax COL  --tmin COL  --prcp COL\n"
     "  --missing VALUE       a value that means missing (repeatable; an empty\n"
     "                        field always does)\n"
     "  --delimiter CHAR      the field separator (default ','; 'tab' for a tab;\n"
     "                        'space' for runs of blanks and tabs)\n"
     "  --lat DEG --lon DEG [--elevation M]\n"
     "                        the station's place, for a single FILE (latitude\n"
     "                        -90 to 90, longitude -180 to 360)\n"
     "  --points FILE.csv     the places by name: a table of name, lat and lon\n"
     "                        (and elevation_m), or a site list\n",
     false, true, false, false, true},
};

} // namespace

std::span<const daily_format> daily_formats() {
    return formats;
}

const daily_format *find_daily_format(std::string_view name) {
    for (const daily_format &f : formats)
        if (name == f.name)
            return &f;
    return nullptr;
}

std::string daily_format_names() {
    std::string names;
    for (const daily_format &f : formats)
        names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names;
}

} // namespace import
