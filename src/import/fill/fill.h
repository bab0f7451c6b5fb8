// The gaps of a daily series filled from neighbouring stations' series:
// temperatures interpolated over short runs, then taken from donors with
// each calendar month's bias; precipitation only from donors, scaled by
// each calendar month's ratio, never interpolated. Every value filled is
// recorded with how and from where, and each donor month's skill is
// measured on days held out of its fit. Computations on values only: the
// files are read and written around them (fill_files).
#pragma once

#include "convert.h"

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace import {

// Consecutive days from a first day (a day number, as calendar.h counts),
// each with its values of tmax, tmin and prcp; not-a-number where missing.
struct day_series {
    long first = 0;
    std::vector<std::array<double, quantities>> days;
    // The value of a quantity on a day; not-a-number outside the series.
    double at(long day, int quantity) const;
};

struct fill_settings {
    int max_interp = 3;        // the longest run of temperatures interpolated
    int min_overlap = 60;      // days both have valid that a donor month needs
    double max_bias = 3.0;     // the largest bias, and spread of differences, of a donor month
    bool copy_lacking = false; // a quantity the target never has is taken from the donors as
                               // they have it (no day overlaps to fit an adjustment on)
};

// How a donor's calendar month of a quantity fits the target: the days
// both have valid, the adjustment (the bias added to a temperature, the
// ratio applied to precipitation) and for a temperature the spread (the
// standard deviation) of the differences; whether it is used, or why not;
// and its skill on every 10th overlapping day held out of a refit: how
// many, their mean absolute error and mean error.
struct donor_month {
    int overlap = 0;
    double adjustment = 0, spread = 0;
    bool accepted = false;
    std::string why_not;
    int held_out = 0;
    double mae = 0, mean_error = 0;
};
using donor_fits = std::array<std::array<donor_month, 12>, quantities>;

// donor_lapse: a temperature taken with no overlap to fit a bias on,
// shifted by the lapse rate for the target's height above the donor's.
enum class fill_method { interpolation, donor, donor_unadjusted, donor_lapse };
const char *method_name(fill_method m);

// A value filled.
struct filled_value {
    long day = 0;
    int quantity = 0;
    double value = 0;
    fill_method method = fill_method::interpolation;
    int donor = -1;        // the donor's index; -1 for an interpolation
    double adjustment = 0; // the bias, the ratio or the lapse shift applied; 0 for a copy
};

// The lapse rate of a temperature taken with no overlap to fit a bias on,
// in degrees C per km of height.
constexpr double lapse_per_km = 6.5;

// The heights of the target and each donor in metres (not-a-number where
// unknown), and why each unknown one is, for the summary.
struct elevations {
    double target = NAN;
    std::string target_unknown;
    std::vector<double> donors;
    std::vector<std::string> donor_unknown;
    // The shift of a donor's temperature to the target's height;
    // not-a-number where a height is unknown.
    double lapse_shift(size_t donor) const;
};

struct fill_result {
    day_series filled;
    std::vector<filled_value> record;  // in order of day, then quantity
    std::vector<donor_fits> fits;      // a donor each
    long left[quantities] = {0, 0, 0}; // values still missing
    std::vector<long> tmin_above_tmax; // days filled whose Tmin is above their Tmax, kept
};

// Fills the target's gaps, from first to last day, from the donors in
// their order; a temperature copied for want of overlap (copy_lacking) is
// shifted to the target's height where both heights are known.
fill_result fill_series(const day_series &target, const std::vector<day_series> &donors,
                        const fill_settings &settings, const elevations &heights = {});

// The fits of a donor's calendar months, each quantity's, with their
// skill.
donor_fits fit_donor(const day_series &target, const day_series &donor,
                     const fill_settings &settings);

} // namespace import
