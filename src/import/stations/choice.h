// Each point's GHCN-Daily station and its donors, chosen from the
// inventory's years of each element and the stations' places: the
// stations whose elements cover a share of a period, nearest first.
#pragma once

#include "failure.h"
#include "ghcn_stations.h"

#include <map>
#include <string>
#include <vector>

namespace import {

// The elements a choice can ask for: PRCP always, TMAX and TMIN on request.
enum ghcn_element { element_prcp, element_tmax, element_tmin, ghcn_elements };

// A station's first and last year of each element, from
// ghcnd-inventory.txt (first 0: the element is not there).
struct inventory_years {
    int first[ghcn_elements] = {0, 0, 0};
    int last[ghcn_elements] = {0, 0, 0};
    long line[ghcn_elements] = {0, 0, 0};
};
using ghcn_inventory = std::map<std::string, inventory_years>;

// Reads ghcnd-inventory.txt as NOAA's readme documents it (ID 1-11,
// LATITUDE 13-20, LONGITUDE 22-30, ELEMENT 32-35, FIRSTYEAR 37-40,
// LASTYEAR 42-45), strictly; the elements other than the three are
// checked and passed over. Or what is wrong, naming the file, the line
// and the column.
failure read_inventory(const std::string &path, ghcn_inventory &inventory);

// What a station must have to be chosen, and how many are taken.
struct choice_rule {
    int first_year = 0, last_year = 0; // the period
    double share = 0.8;                // of its years, each element asked
    bool temperatures = false;         // TMAX and TMIN asked too
    double max_distance_km = 100;
    int donors = 3;
};

// A station that qualifies: its place and how many of the period's years
// its elements cover (the fewest of the elements asked).
struct candidate {
    std::string id;
    double latitude = 0, longitude = 0;
    double elevation = 0; // NaN: unknown
    int years = 0;
};

// The stations of the inventory that qualify, in order of latitude, placed
// by the list of stations; a qualifying station that the list lacks goes
// into unplaced. Or what is wrong with a station's line of the list.
failure qualifying_stations(const ghcn_inventory &inventory, const station_places &places,
                            const std::string &places_path, const choice_rule &rule,
                            std::vector<candidate> &stations, std::vector<std::string> &unplaced);

// A station ranked for a point: its distance in tenths of a km and its
// height above the point in tenths of a metre (has_difference: known), as
// the table prints them and the ranking compares them.
struct ranked_station {
    const candidate *station = nullptr;
    long long distance_tenths = 0;
    long long difference_tenths = 0;
    bool has_difference = false;
};

// The great-circle distance in km between two places in degrees: the
// haversine formula on a sphere of 6371.0 km (any longitudes, so across the
// antimeridian too).
double great_circle_km(double lat1, double lon1, double lat2, double lon2);

// The point's station and then its donors (at most 1 + rule.donors),
// within rule.max_distance_km, ranked by the distance to the tenth of a
// km, then the difference of heights to the tenth of a metre (known
// before unknown), then the station's ID; none when no station is within
// reach. stations in order of latitude; elevation NaN when unknown.
std::vector<ranked_station> choose_stations(const std::vector<candidate> &stations, double latitude,
                                            double longitude, double elevation,
                                            const choice_rule &rule);

} // namespace import
