// The files of a site, named after it, in one place for both programs.
#pragma once

#include <string>

// A site's own files: its site parameter file, its daily weather file and
// its own soil file (--keep-soils: NAME.soils.in beside its site file).
struct site_paths {
    std::string site_file, weather_file, soil_file;
};

inline site_paths paths_of(const std::string &site_name) {
    return {site_name + ".sfp", site_name + ".wth", site_name + ".soils.in"};
}
