// The table of daily formats.
#include "formats.h"

#include "daily_plan.h"
#include "reading.h"

namespace import {

namespace {

const daily_format formats[] = {
    {"daymet", read_daymet, "Daymet's single-pixel CSV (mm, degrees C)",
     "daymet only:\n"
     "  --plan POINTS.csv     print the downloads of these points instead (NAME.csv\n"
     "                        from the single-pixel service, --years its start and\n"
     "                        end) and import nothing: a table of name, lat and\n"
     "                        lon, or a site list\n"
     "  --base-url URL        with --plan: a mirror's scheme, host (and path)\n"
     "                        instead of https://daymet.ornl.gov\n"
     "  --fill-from FILE.wth  fill the days Daymet leaves out (December 31 of leap\n"
     "                        years: its calendar has 365 days) and any other gap\n"
     "                        from this daily file, as fill does (repeatable)\n"
     "  --max-interp N  --min-overlap N  --max-bias X\n"
     "                        the fill's settings, as fill takes them\n",
     false, false, false, true, false, plan_daymet},
    {"ghcn", read_ghcn, "a GHCN-Daily station file (.dly), named by its station ID",
     "ghcn only:\n"
     "  --plan STATIONS.csv   print the downloads of these stations instead (ID.dly)\n"
     "                        and import nothing: a table whose station column\n"
     "                        (else name column) holds the IDs (NA passed over)\n"
     "  --base-url URL        with --plan: a mirror's scheme, host (and path)\n"
     "                        instead of https://www.ncei.noaa.gov\n"
     "  --ghcn-stations FILE  ghcnd-stations.txt, for the stations' places\n"
     "  --lat DEG --lon DEG [--elevation M]\n"
     "                        or the station's place, for a single FILE\n"
     "                        (latitude -90 to 90, longitude -180 to 360)\n"
     "  --points FILE.csv     or the places by station ID: a table of name, lat\n"
     "                        and lon (and elevation_m), or a site list\n"
     "  --fill-from FILE.wth  fill a quantity the station never has (most GHCN\n"
     "                        stations: temperatures) and the gaps of the others\n"
     "                        from this daily file, as fill does (repeatable); a\n"
     "                        temperature taken so is shifted -6.5 degrees C/km\n"
     "                        to the station's height where both are known (the\n"
     "                        donor's from --stations or --ghcn-stations)\n"
     "  --max-interp N  --min-overlap N  --max-bias X\n"
     "                        the fill's settings, as fill takes them\n",
     true, false, true, true, true, plan_ghcn},
    {"power", read_power, "NASA POWER's daily point CSV or JSON",
     "power only:\n"
     "  --plan POINTS.csv     print the downloads of these points instead (NAME.csv\n"
     "                        or NAME.json from the daily point service, --years\n"
     "                        its dates: needed) and import nothing: a table of\n"
     "                        name, lat and lon, or a site list\n"
     "  --plan-format csv|json\n"
     "                        with --plan: the service's CSV (default) or JSON\n"
     "  --base-url URL        with --plan: a mirror's scheme, host (and path)\n"
     "                        instead of https://power.larc.nasa.gov\n",
     false, false, false, false, false, plan_power},
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
     false, true, false, false, true, nullptr},
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
