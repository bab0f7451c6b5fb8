// Sites compared with their neighbours: the nearest sites against a plain
// search, and the planted errors of a smooth field each found with its cause.
#include "neighbours.h"
#include "table.h"

#include <algorithm>
#include <numbers>
#include <random>

namespace {

// A smooth climate over rough terrain: precipitation rising eastwards and
// with height, temperature falling northwards and with height, so that
// only a lapse adjustment of the right sign keeps neighbours alike.
std::vector<neighbour_input> smooth_field(int n) {
    std::mt19937 random(42);
    std::uniform_real_distribution<double> lat(40, 48), lon(5, 15);
    std::vector<neighbour_input> sites(static_cast<size_t>(n));
    for (neighbour_input &s : sites) {
        s.latitude = lat(random);
        s.longitude = lon(random);
        s.elevation = 200 + 750 * (1 + std::sin(2 * s.longitude) * std::cos(1.5 * s.latitude));
        s.precipitation = 60 + 4 * (s.longitude - 5) + 0.04 * s.elevation;
        s.temperature = 14 - 0.7 * (s.latitude - 40) - lapse_rate * s.elevation;
    }
    return sites;
}

// The great-circle distance by the haversine formula, apart from the
// chords the search uses.
double haversine_km(const neighbour_input &a, const neighbour_input &b) {
    const double r = std::numbers::pi / 180;
    const double dphi = (b.latitude - a.latitude) * r, dlambda = (b.longitude - a.longitude) * r;
    const double h = std::pow(std::sin(dphi / 2), 2) + std::cos(a.latitude * r) *
                                                           std::cos(b.latitude * r) *
                                                           std::pow(std::sin(dlambda / 2), 2);
    return 2 * earth_radius_km * std::asin(std::sqrt(h));
}

std::vector<int> nearest_by_hand(const std::vector<neighbour_input> &sites, int k, double km) {
    std::vector<int> nearest;
    for (size_t i = 0; i < sites.size(); ++i) {
        std::vector<std::pair<double, int>> all;
        for (size_t j = 0; j < sites.size(); ++j)
            if (const double d = haversine_km(sites[i], sites[j]); j != i && d <= km)
                all.push_back({d, static_cast<int>(j)});
        std::sort(all.begin(), all.end());
        for (size_t j = 0; j < static_cast<size_t>(k); ++j)
            nearest.push_back(j < all.size() ? all[j].second : -1);
    }
    return nearest;
}

struct nearest_case {
    const char *what;
    std::vector<neighbour_input> sites;
    int k;
    double km;
};
TABLE_TEST(Nearest, nearest_case);

TEST_P(Nearest, AreThePlainSearchs) {
    const nearest_case &c = GetParam();
    EXPECT_EQ(nearest_sites(c.sites, c.k, c.km), nearest_by_hand(c.sites, c.k, c.km));
}

std::vector<neighbour_input> scattered(int n, double lat_low, double lat_high, double lon_low,
                                       double lon_high) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lat(lat_low, lat_high), lon(lon_low, lon_high);
    std::vector<neighbour_input> sites(static_cast<size_t>(n));
    for (neighbour_input &s : sites)
        s = {lat(random), lon(random)};
    return sites;
}

INSTANTIATE_TABLE(Nearest, nearest_case{"the globe", scattered(1500, -90, 90, -180, 180), 5, 900},
                  nearest_case{"across the date line", scattered(400, -5, 5, 179, 181), 4, 60},
                  nearest_case{"around a pole", scattered(300, 88, 90, -180, 180), 6, 50},
                  // Sites listed at one place: equal distances go by index.
                  nearest_case{"ties at one place",
                               {{45, 9}, {45, 9}, {45.1, 9}, {45, 9}, {45, 9}, {44.9, 9}},
                               3,
                               200});

// A site of the field made wrong, and what the comparison says of it.
struct planted_case {
    const char *what;
    void (*plant)(neighbour_input &);
    bool precipitation_off, temperature_off;
    neighbour_cause precipitation_cause, temperature_cause;
};
TABLE_TEST(Planted, planted_case);

TEST_P(Planted, IsTheOneSiteFlaggedWithItsCause) {
    const planted_case &c = GetParam();
    std::vector<neighbour_input> sites = smooth_field(300);
    const neighbour_input right = sites[17];
    c.plant(sites[17]);
    const std::vector<neighbour_result> found = compare_neighbours(sites, {});
    ASSERT_EQ(found.size(), sites.size());
    for (size_t i = 0; i < found.size(); ++i)
        EXPECT_EQ(found[i].flagged(), i == 17) << i;
    const neighbour_result &r = found[17];
    EXPECT_EQ(r.precipitation_off, c.precipitation_off);
    EXPECT_EQ(r.temperature_off, c.temperature_off);
    EXPECT_EQ(r.precipitation_cause, c.precipitation_cause);
    EXPECT_EQ(r.temperature_cause, c.temperature_cause);
    if (r.temperature_cause == neighbour_cause::elevation) {
        EXPECT_NEAR(r.fitting_elevation, right.elevation, 150);
    }
    EXPECT_FALSE(neighbour_words(r, sites[17], {}).empty());
}

using cause = neighbour_cause;
INSTANTIATE_TABLE(Planted,
                  planted_case{"mm read as cm", [](neighbour_input &s) { s.precipitation *= 10; },
                               true, false, cause::mm_as_cm, cause::none},
                  planted_case{"cm read as mm", [](neighbour_input &s) { s.precipitation /= 10; },
                               true, false, cause::cm_as_mm, cause::none},
                  planted_case{"four times its neighbours",
                               [](neighbour_input &s) { s.precipitation *= 4; }, true, false,
                               cause::none, cause::none},
                  planted_case{"the listed elevation 1200 m high",
                               [](neighbour_input &s) { s.elevation += 1200; }, false, true,
                               cause::none, cause::elevation},
                  // Fahrenheit's shift fits no elevation a station can have.
                  planted_case{"temperatures 40 degrees warm",
                               [](neighbour_input &s) { s.temperature += 40; }, false, true,
                               cause::none, cause::none},
                  planted_case{"latitude and longitude swapped",
                               [](neighbour_input &s) { std::swap(s.latitude, s.longitude); },
                               false, false, cause::swapped, cause::swapped});

TEST(Neighbours, FlagNoSiteOfASmoothField) {
    const std::vector<neighbour_input> sites = smooth_field(500);
    const std::vector<neighbour_result> found = compare_neighbours(sites, {});
    ASSERT_EQ(found.size(), sites.size());
    EXPECT_EQ(std::count_if(found.begin(), found.end(),
                            [](const neighbour_result &r) { return r.flagged(); }),
              0);
    // Every site was compared: the field is dense enough.
    EXPECT_TRUE(std::all_of(found.begin(), found.end(),
                            [](const neighbour_result &r) { return r.neighbours == 5; }));
}

// Off for k sites; a site with fewer than three neighbours within the
// distance, or whose median is of fewer known values, is not compared.
TEST(Neighbours, CompareOnlyWhatEnoughNeighboursKnow) {
    std::vector<neighbour_input> sites = smooth_field(5);
    EXPECT_TRUE(compare_neighbours(sites, {}).empty());
    sites = smooth_field(6);
    sites[0].precipitation *= 10;
    EXPECT_TRUE(compare_neighbours(sites, {5, 2000})[0].flagged());
    EXPECT_TRUE(compare_neighbours(sites, {5, 1})[0].neighbours == 0);
    EXPECT_FALSE(compare_neighbours(sites, {5, 1})[0].flagged());
    for (size_t i = 1; i < 4; ++i)
        sites[i].precipitation = NAN;
    EXPECT_FALSE(compare_neighbours(sites, {5, 2000})[0].flagged());
}

// A ratio of exactly 3 and a residual of exactly 3 degrees are within the
// limits; a little more is not.
TEST(Neighbours, FlagOnlyBeyondTheLimits) {
    std::vector<neighbour_input> sites(6, neighbour_input{45, 9, 0, 10, 10});
    const struct {
        double precipitation, temperature;
        bool flagged;
    } rows[] = {{30, 10, false}, {30.001, 10, true}, {10 / 3.0, 10, false}, {3.33, 10, true},
                {10, 13, false}, {10, 7, false},     {10, 13.001, true}};
    for (const auto &row : rows) {
        sites[0].precipitation = row.precipitation;
        sites[0].temperature = row.temperature;
        EXPECT_EQ(compare_neighbours(sites, {})[0].flagged(), row.flagged)
            << row.precipitation << " " << row.temperature;
    }
}

} // namespace
