// The layer-count code a restriction depth gives: the largest code whose
// soil rows end at or above it (the depths of the soil rows: 10, 30, 45,
// 60, 90, 120, 150, 180 and 210 cm), code 1 above 10 cm; and the site
// list's numbers written as text that reads back as the same float.
#include "csv_table.h"
#include "site_line.h"
#include "soil/soil.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(Soil, TheCodeAboveARestriction) {
    const struct {
        double depth;
        int code;
    } cases[] = {{5, 1},  {10, 1}, {29.9, 1}, {30, 2},  {44.9, 2}, {45, 3},
                 {59, 3}, {60, 4}, {90, 5},   {179, 7}, {210, 9},  {400, 9}};
    for (const auto &c : cases)
        EXPECT_EQ(import::code_above_restriction(c.depth), c.code) << c.depth;
}

} // namespace

// The site list's values are written as the shortest text that the site
// list's reader turns back into the very same float, however small, large
// or unround.
TEST(SiteListText, ReadsBackTheSameFloats) {
    const float values[] = {1.0f / 3,       23.0f / 60, 47.93f, -122.96f,
                            1e-7f,          3.4e38f,    0.1f,   std::nextafter(1.0f, 2.0f),
                            16777215.0f / 7};
    for (size_t i = 0; i + 7 <= std::size(values); ++i) {
        std::string line = "p";
        for (size_t k = 0; k < 7; ++k)
            line += " " + import::float_text(values[i + k]) + (k == 6 ? " 3" : "");
        line += " " + import::float_text(values[i]);
        site_line site;
        std::string why;
        ASSERT_EQ(parse_site_line(line, site, why), parse_status::ok) << line << ": " << why;
        const float read[] = {site.latitude, site.longitude,    site.sand,        site.silt,
                              site.clay,     site.bulk_density, site.pass_through};
        for (size_t k = 0; k < 7; ++k)
            EXPECT_EQ(std::memcmp(&read[k], &values[i + k], sizeof(float)), 0) << line;
        EXPECT_EQ(site.elevation, values[i]) << line;
    }
}
