// The table of daily formats: a row a source, with its name (the word of
// its command, and the format column of the stations table), its reader,
// its line in the program's help, the help of its own options, and which
// of the daily formats' options it takes. A new format is a reader and a
// row here.
#pragma once

#include "failure.h"

#include <span>
#include <string>
#include <string_view>

namespace import {

class input;
struct import_options;
class wth_writer;
struct station_row;
struct import_request;
struct daily_plan;

struct daily_format {
    const char *name;
    failure (*read)(input &in, const import_options &o, wth_writer &writer, station_row &row);
    const char *help;         // its line in the program's help
    const char *options_help; // the help of its own options ("": none)
    bool named_by_station;    // its daily file named after the station the file holds
    bool user_columns;        // its columns and units named by the user (no default)
    bool station_extras;      // takes --ghcn-stations
    bool fills;               // takes --fill-from and the fill's settings
    bool placeless;           // its files carry no place: takes --lat, --lon, --points
    // Its --plan: the service and the downloads of the request's table
    // (nullptr: it has none); or what is wrong.
    failure (*plan)(const import_request &r, daily_plan &plan);
};

// The formats, in the order the help lists them.
std::span<const daily_format> daily_formats();
// The format of that name, or none.
const daily_format *find_daily_format(std::string_view name);
// Their names as a list in a message: "daymet, ghcn, power, csv".
std::string daily_format_names();

} // namespace import
