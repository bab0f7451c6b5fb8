// The site keyword pass: replaces the position, layer count and elevation
// lines of a site parameter file.
#include "siteprep.h"

#include <cstdio>

namespace {

struct site_key {
    const char *name;
    float value;
};

// True when the line starts with a number followed by a word, as a
// "%f %s" scan would convert both.
bool is_parameter_line(std::string_view line) {
    std::string text(line); // the scan needs a terminated string
    float number;
    char word_start;
    return std::sscanf(text.c_str(), "%f %c", &number, &word_start) == 2;
}

} // namespace

void create_site(float latitude, float longitude, float layers, float elevation) {
    // Tested in this order: the first key found anywhere in the line decides.
    const site_key keys[] = {{"SITLAT", latitude},
                             {"SITLNG", longitude},
                             {"NLAYER", layers},
                             {"NLAYPG", layers},
                             {"ELEV", elevation}};
    line_reader reader(oldfp);
    std::string_view line;
    const char *eol = nullptr;
    while (next_line(reader, line)) {
        if (eol == nullptr)
            eol = line_end_of(line); // composed lines end like the file's first line
        const site_key *found = nullptr;
        if (is_parameter_line(line)) {
            for (const site_key &key : keys) {
                if (line.find(key.name) != std::string_view::npos) {
                    found = &key;
                    break;
                }
            }
        }
        if (found == nullptr) {
            put_text(newfp, line);
            continue;
        }
        put_format(newfp, "%-10.4f        %-10s%s", static_cast<double>(found->value), found->name,
                   eol);
        std::printf("Update: %-10.4f        %-10s\n", static_cast<double>(found->value),
                    found->name);
    }
}
