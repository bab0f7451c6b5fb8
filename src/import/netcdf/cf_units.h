// The units and cell methods of CF variables: what a value of a
// temperature, a precipitation or an elevation is in the units daily files
// and the stations table use, and how a value was taken over time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace import::cf {

// A temperature unit: degrees C = (value + offset) * scale.
struct temperature_unit {
    double offset = 0, scale = 1;
};
// K (kelvin), degC (°C, Celsius, degree_Celsius, ...), degF (°F, ...);
// false for anything else.
bool parse_temperature_unit(std::string_view units, temperature_unit &unit);

// A precipitation unit: an amount (mm of water a value) or a rate (mm of
// water a second, a value).
struct precipitation_unit {
    double mm = 1;
    bool rate = false;
};
// A length (mm, m, cm), a mass of water on an area (kg m-2), either of them
// over a time (kg m-2 s-1, mm s-1, mm/day, mm d-1, ...); false for anything
// else.
bool parse_precipitation_unit(std::string_view units, precipitation_unit &unit);

// A length in metres (m, km, ...); false for anything else.
bool parse_length_unit(std::string_view units, double &metres);

// The units CF gives latitude and longitude: degrees_north and its
// spellings, degrees_east and its.
bool is_latitude_unit(std::string_view units);
bool is_longitude_unit(std::string_view units);

// The method cell_methods states over time, named by any of time_names
// (its dimension, its coordinate variable, their standard name) or by
// "time", the standard name of every time coordinate: "maximum",
// "minimum", "mean", "sum", "point", ... in lower case; empty when it
// states none.
std::string time_method(std::string_view cell_methods, const std::vector<std::string> &time_names);

} // namespace import::cf
