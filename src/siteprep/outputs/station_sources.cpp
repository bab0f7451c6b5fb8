// The stations table beside a site list, read for the sources of the
// sites' daily files.
#include "station_sources.h"
#include "csv.h"
#include "fd.h"
#include "file_paths.h"
#include "open.h"
#include "shown.h"
#include "site_files.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// The importer's columns, in its order; a grid's import adds more after.
constexpr const char *importer_columns[] = {
    "name",      "format", "latitude",     "longitude",    "elevation_m",  "first_date",
    "last_date", "days",   "missing_tmax", "missing_tmin", "missing_prcp", "mean_annual_prcp_cm"};

bool is_importer_header(const std::vector<std::string> &header) {
    if (header.size() < std::size(importer_columns))
        return false;
    for (size_t i = 0; i < std::size(importer_columns); ++i)
        if (header[i] != importer_columns[i])
            return false;
    return true;
}

// The rows' formats by name (the first row of a name kept), or why the
// table is not used.
std::string take_rows(const std::string &text, station_sources &s) {
    std::vector<std::string> fields;
    size_t at = 0;
    if (!next_csv_record(text, at, fields) || !is_importer_header(fields))
        return "its first line is not the header siteprep-import writes";
    const size_t columns = fields.size();
    for (long line = 2; at < text.size(); ++line) {
        if (!next_csv_record(text, at, fields))
            return "its record " + std::to_string(line) + " is not well-formed CSV";
        if (fields.size() != columns)
            return "its record " + std::to_string(line) + " has " + std::to_string(fields.size()) +
                   " fields, its header " + std::to_string(columns);
        s.format.emplace(fields[0], fields[1]);
    }
    return std::string();
}

} // namespace

std::string stations_table_path(const std::string &list_path) {
    const std::string dir = os::dir_of(list_path);
    return dir == "." ? "stations.csv" : dir + "/stations.csv";
}

station_sources read_station_sources(const std::string &list_path) {
    station_sources s;
    const std::string path = stations_table_path(list_path);
    const std::string shown = shown_name(path);
    os::result<os::regular_file> opened = os::open_regular(path);
    if (!opened) {
        if (opened.err() != ENOENT)
            s.note = shown + " beside the site list could not be read (" +
                     std::strerror(opened.err()) + "): sources are the daily files' names.";
        return s;
    }
    os::result<std::string> text = os::read_rest(opened->file);
    const std::string why = text
                                ? take_rows(*text, s)
                                : std::string("it could not be read: ") + std::strerror(text.err());
    if (why.empty()) {
        s.note = "Sources from " + shown + " beside the site list.";
        return s;
    }
    s.format.clear();
    s.note = shown + " beside the site list was not used: " + why +
             "; sources are the daily files' names.";
    return s;
}

std::string source_of(const station_sources &sources, const std::string &site_name) {
    for (const std::string &name : {site_name, os::base_of(site_name)})
        if (const auto found = sources.format.find(name);
            found != sources.format.end() && found->second != "NA")
            return shown_name(found->second); // no line end, which would break the row's line
    return shown_name(paths_of(site_name).weather_file);
}
