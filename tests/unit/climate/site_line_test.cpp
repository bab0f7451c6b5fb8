// Parsing of site list lines.
#include "site_line.h"

#include <gtest/gtest.h>

namespace {

TEST(SiteLine, ReadsTheTenFields) {
    site_line s;
    std::string why;
    ASSERT_EQ(
        parse_site_line("data/plot1 41.5 -105.25 40 40 20 1.3 0.5 3 1530 extra text\r\n", s, why),
        parse_status::ok);
    EXPECT_EQ(s.name, "data/plot1");
    EXPECT_EQ(s.latitude, 41.5f);
    EXPECT_EQ(s.longitude, -105.25f);
    EXPECT_EQ(s.sand, 40.0f);
    EXPECT_EQ(s.silt, 40.0f);
    EXPECT_EQ(s.clay, 20.0f);
    EXPECT_EQ(s.bulk_density, 1.3f);
    EXPECT_EQ(s.pass_through, 0.5f);
    EXPECT_EQ(s.layer_code, 3);
    EXPECT_EQ(s.elevation, 1530.0f);
}

TEST(SiteLine, ClassifiesBlankAndMalformedLines) {
    const struct {
        const char *line;
        parse_status status;
        const char *why_part;
    } cases[] = {
        {"", parse_status::blank, ""},
        {" \t \r\n", parse_status::blank, ""},
        {"plot 41.5 -105 40 40 20 1.3 0.5 3\n", parse_status::bad, "9 fields found"},
        {"plot\n", parse_status::bad, "1 field found"},
        {"plot 41.5 -105 40 40 20 1.3 0.5 9.0 1530\n", parse_status::bad,
         "field 9 (layer-count code) is not a whole number: \"9.0\""},
        {"plot 41.5 -105 40 40 20 1.3 0.5 3abc 1530\n", parse_status::bad, "field 9"},
        {"plot 41.5x -105 40 40 20 1.3 0.5 3 1530\n", parse_status::bad,
         "field 2 (latitude) is not a number: \"41.5x\""},
        {"plot 41.5 -105 40 40 20 1.3 0.5 3 1530m\n", parse_status::bad, "field 10 (elevation)"},
    };
    for (const auto &c : cases) {
        site_line s;
        std::string why;
        EXPECT_EQ(parse_site_line(c.line, s, why), c.status) << c.line;
        EXPECT_NE(why.find(c.why_part), std::string::npos) << c.line << " -> " << why;
    }
}

TEST(SiteLine, HandlesNamesOfAnyLength) {
    std::string name(300, 'n');
    site_line s;
    std::string why;
    ASSERT_EQ(parse_site_line(name + " 1 2 3 4 5 6 7 8 9", s, why), parse_status::ok);
    EXPECT_EQ(s.name, name);
}

} // namespace
