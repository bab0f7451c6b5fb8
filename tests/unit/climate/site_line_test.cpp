// Parsing of site list lines and of single numeric tokens.
#include "lines.h"
#include "site_list.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

struct token_case {
    const char *token;
    bool valid;
    float value;
};

class FloatToken : public ::testing::TestWithParam<token_case> {};

TEST_P(FloatToken, ParsesOnlyWholeNumbers) {
    const token_case &c = GetParam();
    float v = -12345.0f;
    EXPECT_EQ(parse_float(c.token, v), c.valid) << c.token;
    if (c.valid && !std::isnan(c.value)) {
        EXPECT_EQ(v, c.value) << c.token;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, FloatToken,
    ::testing::Values(token_case{"41.5", true, 41.5f}, token_case{"-0.25", true, -0.25f},
                      token_case{"+3", true, 3.0f}, token_case{"1e2", true, 100.0f},
                      token_case{"0x1p3", true, 8.0f}, token_case{"1e50", true, INFINITY},
                      token_case{"nan", true, NAN}, token_case{".5", true, 0.5f},
                      token_case{"41.5x", false, 0}, token_case{"1e", false, 0},
                      token_case{"+-1", false, 0}, token_case{"++1", false, 0},
                      token_case{"+", false, 0}, token_case{"", false, 0},
                      token_case{"abc", false, 0}, token_case{"1,5", false, 0}),
    [](const ::testing::TestParamInfo<token_case> &info) {
        return "case" + std::to_string(info.index);
    });

TEST(IntToken, AcceptsOnlyWhole32BitNumbers) {
    const struct {
        const char *token;
        bool valid;
        int value;
    } cases[] = {{"9", true, 9},           {"-3", true, -3},
                 {"+12", true, 12},        {"2147483647", true, INT32_MAX},
                 {"9.0", false, 0},        {"3abc", false, 0},
                 {"2147483648", false, 0}, {"0x10", false, 0},
                 {"+-1", false, 0},        {"", false, 0}};
    for (const auto &c : cases) {
        int v = -1;
        EXPECT_EQ(parse_int(c.token, v), c.valid) << c.token;
        if (c.valid) {
            EXPECT_EQ(v, c.value) << c.token;
        }
    }
}

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

// A list from a spreadsheet (commas, a header row) is told the layout;
// other malformed lines keep their message as it is.
TEST(SiteList, TellsTheLayoutToAListThatLooksLikeASpreadsheet) {
    const std::string comma = "; it looks comma-separated, but fields are separated by white "
                              "space, one site a line";
    const std::string header = "; it looks like a header row, but fields are separated by white "
                               "space, one site a line, with no header row";
    const std::string needed = " needed (site name, latitude, longitude, sand, silt, clay, bulk "
                               "density, pass-through value, layer-count code, elevation)";
    const struct {
        const char *list;
        std::string problem; // of the list's last line
    } cases[] = {
        {"plot,41.5,-105,40,40,20,1.3,0.5,3,1530\n", "1 field found, 10" + needed + comma},
        {"plot, 41.5, -105, 40, 40, 20, 1.3, 0.5, 3, 1530\n",
         "field 2 (latitude) is not a number: \"41.5,\"" + comma},
        {"plot;41,5;-105;40;40;20;1,3;0,5;3;1530\n", "1 field found, 10" + needed + comma},
        {"\n\xef\xbb\xbfsite lat lon sand silt clay bd pt code elev\n",
         "field 2 (latitude) is not a number: \"lat\"" + header},
        {"site latitude longitude\n", "3 fields found, 10" + needed + header},
        // A decimal comma, a header row further down.
        {"plot 41,5 -105 40 40 20 1.3 0.5 3 1530\n",
         "field 2 (latitude) is not a number: \"41,5\""},
        {"plot 41.5 -105 40 40 20 1.3 0.5 3 1530\nsite lat lon sand silt clay bd pt code elev\n",
         "field 2 (latitude) is not a number: \"lat\""},
    };
    for (const auto &c : cases) {
        std::string text = c.list;
        FILE *fp = fmemopen(text.data(), text.size(), "r");
        ASSERT_NE(fp, nullptr);
        const site_list sites = read_site_list(fp, "sites.txt");
        fclose(fp);
        ASSERT_FALSE(sites.lines.empty()) << c.list;
        const listed_site &last = sites.lines.back();
        EXPECT_EQ(last.problem, "Error in site list sites.txt line " +
                                    std::to_string(last.line_number) + ": " + c.problem)
            << c.list;
    }
}

TEST(SiteLine, HandlesNamesOfAnyLength) {
    std::string name(300, 'n');
    site_line s;
    std::string why;
    ASSERT_EQ(parse_site_line(name + " 1 2 3 4 5 6 7 8 9", s, why), parse_status::ok);
    EXPECT_EQ(s.name, name);
}

TEST(LineReader, HandsOutWholeLinesOfAnyLength) {
    std::string long_line(200000, 'x');
    std::string content = "a\r\n" + long_line + "\n\nlast";
    FILE *fp = fmemopen(content.data(), content.size(), "r");
    ASSERT_NE(fp, nullptr);
    line_reader reader(fp);
    std::vector<std::string> lines;
    std::string_view line;
    while (next_line(reader, line))
        lines.emplace_back(line);
    fclose(fp);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "a\r\n");
    EXPECT_EQ(lines[1], long_line + "\n");
    EXPECT_EQ(lines[2], "\n");
    EXPECT_EQ(lines[3], "last");
    EXPECT_STREQ(line_end_of(lines[0]), "\r\n");
    EXPECT_STREQ(line_end_of(lines[1]), "\n");
}

} // namespace
