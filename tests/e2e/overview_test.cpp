// The --report page's overview and map over a field of 500 sites whose
// climate varies smoothly: a row and a point a site, each point where its
// coordinates put it, the table sorted as the URL asks once the page's
// script ran in headless Chromium, and the sites planted wrong (and only
// they) flagged with their cause.
#include "data.h"
#include "table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

// A site of a 25 by 20 grid 0.2 degrees apart, its elevation rising to the
// east and north, its temperatures those of its place and elevation (a
// lapse rate of 6.5 degrees a km), its precipitation rising to the east;
// planted: its file's precipitation in mm, its listed elevation 1500 m
// off, or its latitude and longitude swapped in the list.
std::string field_site(int row, int col, const std::string &planted, std::string &daily) {
    const double lat = 45 + 0.2 * row, lon = 9 + 0.2 * col, elevation = 200 + 40 * col + 30 * row;
    const double t = 15 - 0.4 * (lat - 45) - 0.0065 * elevation;
    const double rain = (0.2 + 0.02 * col + 0.01 * row) * (planted == "mm read as cm" ? 10 : 1);
    char values[64], place[64];
    std::snprintf(values, sizeof values, "%.2f %.2f %.3f", t + 5, t - 5, rain);
    daily = daily_file({.days_a_month = 3}, values);
    const bool swapped = planted == "coordinates swapped";
    std::snprintf(place, sizeof place, "%.1f %.1f 40 40 20 1.3 0.5 3 %.0f", swapped ? lon : lat,
                  swapped ? lat : lon, elevation + (planted == "elevation" ? 1500 : 0));
    return place;
}

struct field_case {
    const char *what;
    std::map<std::string, std::string> planted; // a site's name: its cause
    const char *sort;                           // the URL's #sort= order
};

TABLE_TEST(Overview, field_case);

// A page's overview rows (their number: their cells' text, in the order
// the page has them) and map points (their number: cx, cy, class).
struct page_parts {
    std::vector<std::pair<int, std::vector<std::string>>> rows;
    std::map<int, std::vector<std::string>> points;
    std::vector<std::string> keys;
};
page_parts parts_of(const std::string &whole) {
    page_parts p;
    // The overview, its map and what is between: the sites' sections aside.
    const size_t start = whole.find("<table class=\"overview\"");
    const std::string page = whole.substr(start, whole.find("</svg>", start) - start);
    const std::regex row("<tr id=\"row-([0-9]+)\"[^>]*>(.*?)</tr>"), cell("<td[^>]*>(.*?)</td>"),
        point("<circle data-site=\"([0-9]+)\"(?: class=\"([a-z]+)\")? cx=\"([^\"]+)\" "
              "cy=\"([^\"]+)\""),
        tag("<[^>]*>");
    for (std::sregex_iterator r(page.begin(), page.end(), row), end; r != end; ++r) {
        std::vector<std::string> cells;
        const std::string text = (*r)[2];
        for (std::sregex_iterator c(text.begin(), text.end(), cell); c != end; ++c)
            cells.push_back(std::regex_replace((*c)[1].str(), tag, ""));
        p.rows.emplace_back(std::stoi((*r)[1]), cells);
    }
    for (std::sregex_iterator c(page.begin(), page.end(), point), end; c != end; ++c)
        p.points[std::stoi((*c)[1])] = {(*c)[3], (*c)[4], (*c)[2]};
    std::smatch keys;
    if (std::regex_search(page, keys, std::regex("data-keys=\"([^\"]*)\""))) {
        std::istringstream words(keys[1].str());
        for (std::string k; words >> k;)
            p.keys.push_back(k);
    }
    return p;
}

size_t column(const page_parts &p, const std::string &key) {
    return static_cast<size_t>(std::find(p.keys.begin(), p.keys.end(), key) - p.keys.begin());
}

// Each point where its row's longitude and latitude put it: x and y linear
// in them, one scale for all, from the points farthest apart.
void expect_placed(const page_parts &p) {
    const size_t lat = column(p, "latitude"), lon = column(p, "longitude");
    std::vector<std::array<double, 4>> at; // lon, lat, x, y
    for (const auto &[n, cells] : p.rows)
        at.push_back({std::stod(cells[lon]), std::stod(cells[lat]), std::stod(p.points.at(n)[0]),
                      std::stod(p.points.at(n)[1])});
    for (size_t axis : {0u, 1u}) {
        const auto [lo, hi] = std::minmax_element(
            at.begin(), at.end(), [&](const auto &a, const auto &b) { return a[axis] < b[axis]; });
        const double scale = ((*hi)[axis + 2] - (*lo)[axis + 2]) / ((*hi)[axis] - (*lo)[axis]);
        EXPECT_EQ(scale > 0, axis == 0) << "east is right, north up";
        for (const auto &a : at)
            EXPECT_NEAR(a[axis + 2], (*lo)[axis + 2] + (a[axis] - (*lo)[axis]) * scale, 0.1);
    }
}

// The rows in the order a column's values ask, NA last.
void expect_sorted(const page_parts &p, std::string key) {
    const bool down = key[0] == '-';
    const size_t c = column(p, down ? key.substr(1) : key);
    ASSERT_LT(c, p.keys.size()) << key;
    for (size_t i = 1; i < p.rows.size(); ++i) {
        const std::string &a = p.rows[i - 1].second[c], &b = p.rows[i].second[c];
        if (b == "NA")
            continue;
        ASSERT_NE(a, "NA") << "row " << i;
        EXPECT_LE(std::stod(down ? b : a), std::stod(down ? a : b)) << key << " row " << i;
    }
}

TEST_P(Overview, ShowsEachSiteWhereItIsAndFlagsThePlantedOnes) {
    const field_case &c = GetParam();
    scratch_dir dir;
    std::string list;
    for (int row = 0; row < 20; ++row)
        for (int col = 0; col < 25; ++col) {
            char name[16];
            std::snprintf(name, sizeof name, "r%02dc%02d", row, col);
            const auto planted = c.planted.find(name);
            std::string daily;
            list += name +
                    (" " + field_site(row, col, planted == c.planted.end() ? "" : planted->second,
                                      daily)) +
                    "\n";
            dir.write(std::string(name) + ".sfp", site_file_with_block_names("1 'ELEV'\n"));
            dir.write(std::string(name) + ".wth", daily);
        }
    dir.write("sites.txt", list);
    const tool_result checked =
        run_tool(dir.path(), {"--check", "--report", "r.html", "sites.txt"});
    const page_parts page = parts_of(dir.read("r.html"));
    ASSERT_EQ(page.rows.size(), 500u) << checked.out.substr(0, 2000);
    EXPECT_EQ(page.points.size(), 500u);
    std::map<std::string, std::string> flagged;
    std::set<int> ringed, flagged_rows;
    for (const auto &[n, cells] : page.rows)
        if (!cells.back().empty()) {
            flagged[cells[0]] = cells.back();
            flagged_rows.insert(n);
        }
    for (const auto &[n, point] : page.points)
        if (point[2] == "flag")
            ringed.insert(n);
    EXPECT_EQ(flagged, c.planted) << checked.out.substr(checked.out.size() - 2000);
    EXPECT_EQ(ringed, flagged_rows);
    EXPECT_EQ(checked.out.find("nearest") != std::string::npos, !c.planted.empty());
    if (!chromium_installed())
        GTEST_SKIP() << "chromium is not installed";
    ASSERT_EQ(run_chromium(dir, std::string("r.html#sort=") + c.sort, "--dump-dom", "dom.html",
                           "log.txt"),
              0);
    EXPECT_EQ(dir.read("log.txt").find("CONSOLE"), std::string::npos) << dir.read("log.txt");
    const page_parts shown = parts_of(dir.read("dom.html"));
    ASSERT_EQ(shown.rows.size(), 500u);
    expect_sorted(shown, c.sort);
    expect_placed(shown);
    ASSERT_EQ(run_chromium(dir, std::string("r.html#sort=") + c.sort, "--screenshot=page.png"), 0);
    EXPECT_GT(dir.read("page.png").size(), 20000u);
}

INSTANTIATE_TABLE(Overview, field_case{"smooth_field", {}, "elevation"},
                  field_case{"planted_sites",
                             {{"r05c05", "mm read as cm"},
                              {"r10c12", "elevation"},
                              {"r15c20", "coordinates swapped"}},
                             "-precipitation"});

} // namespace
