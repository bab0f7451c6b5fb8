// The site keyword pass: replaces the position, layer count and elevation
// lines of a site parameter file.
#include "create_site.h"
#include "fd.h"
#include "lines.h"
#include "shown.h"
#include "streams.h"
#include "tokens.h"

#include <cstdio>

// "%c" after the blank tells what "%s" would, without a buffer for the word.
bool is_parameter_line(std::string_view line) {
    std::string text(line); // the scan needs a terminated string
    float number;
    char word_start;
    return std::sscanf(text.c_str(), "%f %c", &number, &word_start) == 2;
}

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

void replace_key_lines(int (*key_of)(std::string_view), const char *const names[],
                       const float values[], std::string &said) {
    os::line_reader reader(oldfp);
    std::string_view line;
    const char *eol = nullptr;
    while (os::next_line(reader, line)) {
        if (eol == nullptr)
            eol = line_end_of(line); // composed lines end like the file's first line
        const int key = key_of(line);
        if (key < 0) {
            newfp->put(line);
            continue;
        }
        const double value = static_cast<double>(values[key]);
        newfp->print("%-10.4f        %-10s%s", value, names[key], eol);
        said += format_message("Update: %-10.4f        %-10s\n", value, names[key]);
    }
}

void create_site(float latitude, float longitude, float layers, float elevation,
                 std::string &said) {
    const float values[] = {latitude, longitude, layers, layers, elevation};
    replace_key_lines(site_key_of_line, site_keys, values, said);
}
