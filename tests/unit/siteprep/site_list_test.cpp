// The site list read whole: what a malformed line is told.
#include "site_list.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

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

} // namespace
