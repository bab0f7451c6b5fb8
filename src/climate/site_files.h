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

// What the importer's fill writes beside a daily file NAME.wth (or any
// name without that extension): its record of every value filled,
// NAME.fill.csv, and its skill table, NAME.fill-skill.csv.
inline std::string fill_stem_of(const std::string &weather_file) {
    const size_t n = weather_file.size();
    return n > 4 && weather_file.compare(n - 4, 4, ".wth") == 0 ? weather_file.substr(0, n - 4)
                                                                : weather_file;
}
inline std::string fill_record_of(const std::string &weather_file) {
    return fill_stem_of(weather_file) + ".fill.csv";
}
inline std::string fill_skill_of(const std::string &weather_file) {
    return fill_stem_of(weather_file) + ".fill-skill.csv";
}
