// The site keyword pass: the position, layer count and elevation lines of
// a site parameter file replaced, from oldfp to newfp.
#pragma once

#include <string_view>

void create_site(float latitude, float longitude, float layers, float elevation);
// Which site key (0 to 4) the pass puts in place of a line; -1 for none.
int site_key_of_line(std::string_view line);
const char *site_key_name(int key);
