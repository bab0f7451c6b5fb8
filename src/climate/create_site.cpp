// The site keyword pass: replaces the position, layer count and elevation
// lines of a site parameter file.
#include "create_site.h"
#include "fd.h"
#include "lines.h"
#include "printer.h"
#include "streams.h"
#include "tokens.h"

#include <cstdio>

namespace {

// True when the line starts with a number followed by a word, as a
// "%f %s" scan would convert both: "%c" after the blank tells the same
// without a buffer for the word.
bool is_parameter_line(std::string_view line) {
    std::string text(line); // the scan needs a terminated string
    float number;
    char word_start;
    return std::sscanf(text.c_str(), "%f %c", &number, &word_start) == 2;
}

} // namespace

// The site keys in the order they are tested: the first found anywhere in
// a parameter line decides.
static const char *const site_keys[] = {"SITLAT", "SITLNG", "NLAYER", "NLAYPG", "ELEV"};

int site_key_of_line(std::string_view line) {
    // The keys are looked for first: most lines hold none, and the scan
    // costs far more than the search.
    for (int k = 0; k < 5; ++k)
        if (line.find(site_keys[k]) != std::string_view::npos)
            return is_parameter_line(line) ? k : -1;
    return -1;
}

const char *site_key_name(int key) {
    return site_keys[key];
}

void create_site(float latitude, float longitude, float layers, float elevation) {
    const float values[] = {latitude, longitude, layers, layers, elevation};
    line_reader reader(oldfp);
    std::string_view line;
    const char *eol = nullptr;
    while (next_line(reader, line)) {
        if (eol == nullptr)
            eol = line_end_of(line); // composed lines end like the file's first line
        const int key = site_key_of_line(line);
        if (key < 0) {
            newfp->put(line);
            continue;
        }
        const double value = static_cast<double>(values[key]);
        newfp->print("%-10.4f        %-10s%s", value, site_keys[key], eol);
        print_format("Update: %-10.4f        %-10s\n", value, site_keys[key]);
    }
}
