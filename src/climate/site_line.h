// A line of the site list: the site's name and the values its files are
// made from.
#pragma once

#include "tokens.h"

#include <string>
#include <string_view>

// One line of the site list.
struct site_line {
    std::string name;
    float latitude = 0, longitude = 0;
    float sand = 0, silt = 0, clay = 0;
    float bulk_density = 0;
    float pass_through = 0;
    int layer_code = 0;
    float elevation = 0;
};

// Parses a site list line; on bad, why says what is wrong.
parse_status parse_site_line(std::string_view line, site_line &site, std::string &why);
