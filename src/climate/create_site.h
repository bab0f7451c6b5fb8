// The site keyword pass: the position, layer count and elevation lines of
// a site parameter file replaced, from oldfp to newfp.
#pragma once

#include <string>
#include <string_view>

// True when the line starts with a number followed by a word, as a
// "%f %s" scan would convert both: a line a key pass may replace.
bool is_parameter_line(std::string_view line);

// A key pass: copies oldfp to newfp, each line that key_of gives a key
// (an index, -1 for none) replaced by a parameter line of that key's name
// and value, and an "Update:" line for it appended to said (the caller's
// to print, also when the pass fails partway).
void replace_key_lines(int (*key_of)(std::string_view), const char *const names[],
                       const float values[], std::string &said);

void create_site(float latitude, float longitude, float layers, float elevation, std::string &said);
// Which site key (0 to 4) the pass puts in place of a line; -1 for none.
int site_key_of_line(std::string_view line);
const char *site_key_name(int key);
