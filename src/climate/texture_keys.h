// The texture-key pass (--texture-keys): the SAND, SILT, CLAY and BULKD
// lines of a site parameter file replaced with the texture the soil rows
// took and the bulk density they computed, from oldfp to newfp.
#pragma once

#include <string>
#include <string_view>

// The values the pass writes: the texture as fractions (normalised as the
// soil rows normalise it) and the bulk density the soil rows show.
struct texture_values {
    float sand = 0, silt = 0, clay = 0, bulk_density = 0;
};

// The name of a parameter line: its second token, without quotes.
std::string_view parameter_name(std::string_view line);

// Which texture key (0 to 3: SAND, SILT, CLAY, BULKD) a parameter line is
// named, the whole name; -1 for none.
int texture_key_of_line(std::string_view line);
const char *texture_key_name(int key);

// The pass; its "Update:" lines appended to said, as the site keys' are.
void create_texture_keys(const texture_values &values, std::string &said);
