// GHCN-Daily's ghcnd-stations.txt read into each station's place.
#include "ghcn_stations.h"
#include "input.h"

#include <cstring>

namespace import {

failure read_station_places(const std::string &path, station_places &places) {
    input in(path);
    if (!in.opened())
        return {"Error opening " + input_name(path) + ": " + std::strerror(in.err)};
    while (in.next()) {
        if (trimmed(in.line).empty())
            continue;
        if (in.line.size() < 37)
            return {at_line(in, "shorter than the 37 columns of ID, latitude, longitude and "
                                "elevation")};
        station_place &p = places[std::string(trimmed(in.line.substr(0, 11)))];
        p.latitude = trimmed(in.line.substr(12, 8));
        p.longitude = trimmed(in.line.substr(21, 9));
        p.elevation = trimmed(in.line.substr(31, 6));
        p.line = in.number;
        if (p.elevation == "-999.9")
            p.elevation.clear(); // unknown
    }
    if (in.err != 0)
        return {read_failure(in)};
    return {};
}

} // namespace import
