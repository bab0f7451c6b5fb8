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
std::vector<neighbour_input> smooth_field(int n, double lat_low = 40, double lat_high = 48,
                                          double lon_low = 5, double lon_high = 15) {
    std::mt19937 random(42);
    std::uniform_real_distribution<double> lat(lat_low, lat_high), lon(lon_low, lon_high);
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
    const double r = std::numbers::pi / 180, dphi = (b.latitude - a.latitude) * r;
    const double h = std::pow(std::sin(dphi / 2), 2) +
                     std::cos(a.latitude * r) * std::cos(b.latitude * r) *
                         std::pow(std::sin((b.longitude - a.longitude) * r / 2), 2);
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

// The nearest sites are a plain search's: over the globe, across the date
// line, around a pole, and at one place (equal distances go by index).
TEST(Neighbours, NearestAreThoseOfAPlainSearch) {
    const struct {
        std::vector<neighbour_input> sites;
        int k;
        double km;
    } rows[] = {{smooth_field(1500, -90, 90, -180, 180), 5, 900},
                {smooth_field(400, -5, 5, 179, 181), 4, 60},
                {smooth_field(300, 88, 90, -180, 180), 6, 50},
                {{{45, 9}, {45, 9}, {45.1, 9}, {45, 9}, {45, 9}, {44.9, 9}}, 3, 200}};
    for (const auto &row : rows)
        EXPECT_EQ(nearest_sites(row.sites, row.k, row.km),
                  nearest_by_hand(row.sites, row.k, row.km))
            << row.sites.size();
}

// A site of a smooth field of 500 made wrong (or none), and what the
// comparison says of it; every other site is compared with five and let be.
struct planted_case {
    const char *what;
    void (*plant)(neighbour_input &);
    bool precipitation_off, temperature_off;
    neighbour_cause precipitation_cause, temperature_cause;
};
TABLE_TEST(Planted, planted_case);

TEST_P(Planted, IsTheOneSiteFlaggedWithItsCause) {
    const planted_case &c = GetParam();
    std::vector<neighbour_input> sites = smooth_field(500);
    const neighbour_input right = sites[17];
    if (c.plant != nullptr)
        c.plant(sites[17]);
    const std::vector<neighbour_result> found = compare_neighbours(sites, {});
    ASSERT_EQ(found.size(), sites.size());
    for (size_t i = 0; i < found.size(); ++i)
        EXPECT_TRUE(i == 17 ? found[i].flagged() == (c.plant != nullptr)
                            : !found[i].flagged() && found[i].neighbours == 5)
            << i << ": " << neighbour_words(found[i], sites[i], {});
    const neighbour_result &r = found[17];
    EXPECT_EQ(r.precipitation_off, c.precipitation_off);
    EXPECT_EQ(r.temperature_off, c.temperature_off);
    EXPECT_EQ(r.precipitation_cause, c.precipitation_cause);
    EXPECT_EQ(r.temperature_cause, c.temperature_cause);
    if (r.temperature_cause == neighbour_cause::elevation) {
        EXPECT_NEAR(r.fitting_elevation, right.elevation, 150);
    }
}

using cause = neighbour_cause;
INSTANTIATE_TABLE(Planted, planted_case{"none", nullptr, false, false, cause::none, cause::none},
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

// Site 0 of n at one place (or moved north), the others' precipitation 10
// (unknown at some) and temperature 10: limits reached exactly, too few
// neighbours within the distance or knowing a value, a batch of k sites.
TEST(Neighbours, FlagOnlyBeyondTheLimitsAmongEnoughNeighbours) {
    const struct {
        int n;
        double latitude, precipitation, temperature;
        size_t unknown;
        double km;
        bool flagged;
    } rows[] = {{6, 45, 30, 10, 0, 200, false},       {6, 45, 30.001, 10, 0, 200, true},
                {6, 45, 10 / 3.0, 10, 0, 200, false}, {6, 45, 3.33, 10, 0, 200, true},
                {6, 45, 10, 13, 0, 200, false},       {6, 45, 10, 7, 0, 200, false},
                {6, 45, 10, 13.001, 0, 200, true},    {5, 45, 100, 10, 0, 200, false},
                {6, 45.1, 100, 10, 0, 1, false},      {6, 45, 100, 10, 3, 200, false},
                {6, 45, 100, 10, 2, 200, true}};
    for (const auto &row : rows) {
        std::vector<neighbour_input> sites(static_cast<size_t>(row.n), {45, 9, 0, 10, 10});
        sites[0] = {row.latitude, 9, 0, row.precipitation, row.temperature};
        for (size_t i = 1; i <= row.unknown; ++i)
            sites[i].precipitation = NAN;
        const std::vector<neighbour_result> found = compare_neighbours(sites, {5, row.km});
        EXPECT_EQ(!found.empty() && found[0].flagged(), row.flagged)
            << row.n << " " << row.latitude << " " << row.precipitation << " " << row.temperature;
    }
}

} // namespace
