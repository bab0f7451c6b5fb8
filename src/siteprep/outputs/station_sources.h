// Where each site's daily file came from, for the page's overview: the
// stations table the importer writes (siteprep-import --stations), when
// one named stations.csv stands beside the site list.
#pragma once

#include <map>
#include <string>

struct station_sources {
    std::map<std::string, std::string> format; // a station's name: its format
    std::string note; // what the page says of the table; empty when there is none
};

// Where the table beside the site list at list_path would be.
std::string stations_table_path(const std::string &list_path);

// The table beside the site list at list_path, read strictly: one that is
// not the importer's (another header, a row that is not well formed or has
// another number of fields) is not used, and the note says why.
station_sources read_station_sources(const std::string &list_path);

// A site's source: its row's format (the row of its name, or else of the
// name's last part, as the importer names a daily file's station), or else
// its daily file's name.
std::string source_of(const station_sources &sources, const std::string &site_name);
