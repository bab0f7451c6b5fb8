// A line of the site list, parsed: ten fields, each a whole token.
#include "site_line.h"
#include "shown.h"

#include <cmath>

static const char *const site_field_names[10] = {
    "site name",    "latitude",           "longitude",        "sand",     "silt", "clay",
    "bulk density", "pass-through value", "layer-count code", "elevation"};

parse_status parse_site_line(std::string_view line, site_line &site, std::string &why) {
    std::string_view tokens[10];
    size_t pos = 0;
    int count = 0;
    while (count < 10) {
        std::string_view t = next_token(line, pos);
        if (t.empty())
            break;
        tokens[count++] = t;
    }
    if (count == 0)
        return parse_status::blank;
    // A NUL byte would cut a file name short, so that another file is opened.
    if (const size_t nul = line.find('\0'); nul != std::string_view::npos) {
        why = "NUL byte at column " + std::to_string(nul + 1);
        return parse_status::bad;
    }
    if (count < 10) {
        why = std::to_string(count) + (count == 1 ? " field" : " fields") +
              " found, 10 needed (site name, latitude, longitude, sand, silt, clay, "
              "bulk density, pass-through value, layer-count code, elevation)";
        return parse_status::bad;
    }
    float *floats[10] = {nullptr,    &site.latitude, &site.longitude,    &site.sand,
                         &site.silt, &site.clay,     &site.bulk_density, &site.pass_through,
                         nullptr,    &site.elevation};
    for (int i = 1; i < 10; ++i) {
        bool ok =
            i == 8 ? parse_int(tokens[i], site.layer_code) : parse_float(tokens[i], *floats[i]);
        // nan, inf and values beyond a float would reach the site file as such.
        const bool finite = i == 8 || !ok || std::isfinite(*floats[i]);
        if (!ok || !finite) {
            why = "field " + std::to_string(i + 1) + " (" + site_field_names[i] + ") is not " +
                  (i == 8   ? "a whole number"
                   : finite ? "a number"
                            : "a finite number") +
                  ": " + quote_token(tokens[i]);
            return parse_status::bad;
        }
    }
    site.name.assign(tokens[0]);
    return parse_status::ok;
}
