// Each site of a batch compared with its nearest sites: the k nearest by
// great-circle distance (a k-d tree on unit vectors, n log n), and the
// sites whose annual precipitation or lapse-adjusted mean temperature is
// far from their neighbours' median, with the likely cause where one fits.
#pragma once

#include <cmath>
#include <string>
#include <vector>

// Earth's mean radius, km.
inline constexpr double earth_radius_km = 6371.0088;
// The environmental lapse rate of the standard atmosphere, degrees C a metre.
inline constexpr double lapse_rate = 0.0065;
// Annual precipitation totals within 200 km rarely differ by more than a
// factor of 1.5 over flat land (the Great Plains' gradient is about 2.5
// over 600 km); only a strong orographic barrier (a rain shadow) reaches a
// factor of 3, while a unit slip gives 10.
inline constexpr double precipitation_ratio_limit = 3;
// After the lapse adjustment, the mean temperatures of sites within 200 km
// differ mostly by the latitude gradient (under 1.5 degrees over 200 km
// one way, less against a median of sites around) and by inversions and
// coasts (1 to 2 degrees); 3 degrees is an elevation error of 460 m.
inline constexpr double temperature_residual_limit = 3;
// A median of fewer sites says little.
inline constexpr int least_neighbours = 3;
// Precipitation a factor of about 10 off: a ratio in [7, 14] (or its inverse).
inline constexpr double unit_ratio_low = 7, unit_ratio_high = 14;
// The elevations a station can have, m: the Dead Sea shore to Everest.
inline constexpr double lowest_elevation = -430, highest_elevation = 8850;

// What a site brings to the comparison: its place in degrees, its listed
// elevation in metres, its annual precipitation total in cm and its mean
// temperature in degrees C (NaN: not known).
struct neighbour_input {
    double latitude = 0, longitude = 0;
    double elevation = 0;
    double precipitation = NAN, temperature = NAN;
};

// How many neighbours a site is compared with, and how far they may be.
// Precipitation and temperature climatologies change over tens to a few
// hundred km; 200 km keeps the neighbours within one climate in most
// terrain, and a batch sparser than that is not compared.
struct neighbour_settings {
    int k = 5;
    double max_km = 200;
};

enum class neighbour_cause { none, mm_as_cm, cm_as_mm, elevation, swapped };

// What the comparison found of one site against its neighbours' medians.
struct neighbour_result {
    int neighbours = 0;                              // within the distance, the site itself aside
    double farthest_km = 0;                          // the farthest of them
    double precipitation_median = NAN, ratio = NAN;  // cm; the site's / the median
    double temperature_median = NAN, residual = NAN; // lapse-adjusted to sea level
    bool precipitation_off = false, temperature_off = false;
    neighbour_cause precipitation_cause = neighbour_cause::none;
    neighbour_cause temperature_cause = neighbour_cause::none;
    double fitting_elevation = NAN; // the elevation the temperatures fit, m
    int swapped_neighbours = 0;     // the sites around its swapped place
    bool flagged() const {
        return precipitation_off || temperature_off ||
               precipitation_cause == neighbour_cause::swapped;
    }
};

// For each site, the indices of its up to k nearest other sites within
// max_km, nearest first (equal distances by index), k at a time: site i's
// at [i*k, i*k+k), -1 where there are fewer.
std::vector<int> nearest_sites(const std::vector<neighbour_input> &sites, int k, double max_km);

// Each site compared with its neighbours; empty (off) for a batch of k
// sites or fewer.
std::vector<neighbour_result> compare_neighbours(const std::vector<neighbour_input> &sites,
                                                 const neighbour_settings &settings);

// What the check says of a flagged site: its disagreements with their
// figures, each with its likely cause where one fits.
std::string neighbour_words(const neighbour_result &r, const neighbour_input &site,
                            const neighbour_settings &settings);
