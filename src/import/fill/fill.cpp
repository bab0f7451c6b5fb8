// The gaps of a daily series filled from donors, with the record of every
// value filled and each donor month's skill.
#include "fill.h"
#include "calendar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace import {

double day_series::at(long day, int quantity) const {
    const long i = day - first;
    return i < 0 || i >= static_cast<long>(days.size())
               ? NAN
               : days[static_cast<size_t>(i)][static_cast<size_t>(quantity)];
}

const char *method_name(fill_method m) {
    switch (m) {
    case fill_method::interpolation:
        return "interpolation";
    case fill_method::donor:
        return "donor";
    case fill_method::donor_unadjusted:
        return "donor-unadjusted";
    case fill_method::donor_lapse:
        return "donor-lapse";
    }
    return "";
}

double elevations::lapse_shift(size_t donor) const {
    const double d = donor < donors.size() ? donors[donor] : NAN;
    // -6.5 per km of (target - donor), as (donor - target): the same
    // value, but 0 rather than -0 at the same height.
    return lapse_per_km * (d - target) / 1000;
}

namespace {

// The days of a calendar month on which both have a valid value: the
// target's values and the donor's, in date order.
struct overlap {
    std::vector<double> target, donor;
};

// The overlaps of each calendar month of a quantity, in one pass.
std::array<overlap, 12> overlaps_of(const day_series &target, const day_series &donor,
                                    int quantity) {
    std::array<overlap, 12> by_month;
    const long first = std::max(target.first, donor.first);
    const long end = std::min(target.first + static_cast<long>(target.days.size()),
                              donor.first + static_cast<long>(donor.days.size()));
    calendar_date date = date_of_number(first);
    for (long day = first; day < end; ++day) {
        const double t = target.at(day, quantity), d = donor.at(day, quantity);
        if (!std::isnan(t) && !std::isnan(d)) {
            overlap &o = by_month[static_cast<size_t>(date.month - 1)];
            o.target.push_back(t);
            o.donor.push_back(d);
        }
        date = next_day(date);
    }
    return by_month;
}

// The adjustment fitted on the overlap, leaving out every held-th day
// (0: none): the mean difference for a temperature (and the spread of the
// differences), the ratio of the sums for precipitation. Not-a-number
// where it cannot be fitted.
struct fitted {
    int n = 0;
    double adjustment = NAN, spread = NAN, donor_sum = 0;
};

bool held_out(size_t i, size_t every) {
    return every != 0 && i % every == every - 1;
}

fitted fit(const overlap &o, bool ratio, size_t every) {
    fitted f;
    double sum_t = 0, sum_d = 0;
    for (size_t i = 0; i < o.target.size(); ++i)
        if (!held_out(i, every)) {
            sum_t += o.target[i];
            sum_d += o.donor[i];
            ++f.n;
        }
    f.donor_sum = sum_d;
    if (f.n == 0)
        return f;
    if (ratio) {
        f.adjustment = sum_d > 0 ? sum_t / sum_d : NAN;
        return f;
    }
    f.adjustment = (sum_t - sum_d) / f.n;
    double squares = 0;
    for (size_t i = 0; i < o.target.size(); ++i)
        if (!held_out(i, every)) {
            const double e = o.target[i] - o.donor[i] - f.adjustment;
            squares += e * e;
        }
    f.spread = f.n > 1 ? std::sqrt(squares / (f.n - 1)) : 0;
    return f;
}

double apply(double donor, double adjustment, bool ratio) {
    return ratio ? donor * adjustment : donor + adjustment;
}

std::string number_text(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// Why a fit is not used; empty when it is.
std::string rejection(const fitted &f, bool ratio, const fill_settings &s) {
    if (f.n < s.min_overlap)
        return "overlap " + std::to_string(f.n) + " < " + std::to_string(s.min_overlap);
    if (ratio) {
        if (!(f.donor_sum > 0))
            return "donor sum 0";
        if (!(f.adjustment >= 0.5 && f.adjustment <= 2))
            return "ratio " + number_text(f.adjustment) + " outside 0.5-2";
        return std::string();
    }
    if (!(std::fabs(f.adjustment) <= s.max_bias))
        return "bias " + number_text(f.adjustment) + " beyond " + number_text(s.max_bias);
    if (!(f.spread <= s.max_bias))
        return "spread " + number_text(f.spread) + " beyond " + number_text(s.max_bias);
    return std::string();
}

// The skill of a fit on every 10th overlapping day, held out of a refit.
void measure_skill(const overlap &o, bool ratio, donor_month &m) {
    constexpr size_t every = 10;
    const fitted refit = fit(o, ratio, every);
    double abs_sum = 0, sum = 0;
    for (size_t i = every - 1; i < o.target.size(); i += every) {
        const double error = apply(o.donor[i], refit.adjustment, ratio) - o.target[i];
        if (std::isnan(error))
            continue;
        abs_sum += std::fabs(error);
        sum += error;
        ++m.held_out;
    }
    m.mae = m.held_out > 0 ? abs_sum / m.held_out : NAN;
    m.mean_error = m.held_out > 0 ? sum / m.held_out : NAN;
}

} // namespace

namespace {

donor_month fit_month(const overlap &o, int quantity, const fill_settings &settings) {
    const bool ratio = quantity == prcp;
    const fitted f = fit(o, ratio, 0);
    donor_month m;
    m.overlap = f.n;
    m.adjustment = f.adjustment;
    m.spread = ratio ? NAN : f.spread;
    m.why_not = rejection(f, ratio, settings);
    m.accepted = m.why_not.empty();
    measure_skill(o, ratio, m);
    return m;
}

} // namespace

donor_fits fit_donor(const day_series &target, const day_series &donor,
                     const fill_settings &settings) {
    donor_fits fits;
    for (int q = 0; q < quantities; ++q) {
        const std::array<overlap, 12> by_month = overlaps_of(target, donor, q);
        for (size_t m = 0; m < 12; ++m)
            fits[static_cast<size_t>(q)][m] = fit_month(by_month[m], q, settings);
    }
    return fits;
}

namespace {

// Runs of at most max_interp missing temperatures with a valid day on
// both sides, filled on the line between those two days.
void interpolate(fill_result &r, const day_series &target, const fill_settings &s) {
    const size_t n = target.days.size();
    for (int q : {tmax, tmin}) {
        const size_t k = static_cast<size_t>(q);
        for (size_t i = 1; i < n; ++i) {
            if (!std::isnan(target.days[i][k]) || std::isnan(target.days[i - 1][k]))
                continue;
            size_t end = i; // the run is [i, end)
            while (end < n && std::isnan(target.days[end][k]))
                ++end;
            const size_t run = end - i;
            if (end < n && run <= static_cast<size_t>(s.max_interp)) {
                const double a = target.days[i - 1][k], b = target.days[end][k];
                for (size_t j = i; j < end; ++j)
                    r.filled.days[j][k] =
                        a + (b - a) * static_cast<double>(j - i + 1) / static_cast<double>(run + 1);
            }
            i = end;
        }
    }
}

// Whether the target never has a valid value of a quantity.
bool lacks(const day_series &target, int quantity) {
    for (const auto &day : target.days)
        if (!std::isnan(day[static_cast<size_t>(quantity)]))
            return false;
    return true;
}

// A missing value from the first donor that has the day in a month it
// fits (or, for a quantity the target lacks, any value of its own).
bool from_donors(fill_result &r, const std::vector<day_series> &donors, long day, int q,
                 bool unadjusted, const elevations &heights) {
    const int month = date_of_number(day).month;
    for (size_t k = 0; k < donors.size(); ++k) {
        const double d = donors[k].at(day, q);
        const donor_month &fit_of =
            r.fits[k][static_cast<size_t>(q)][static_cast<size_t>(month - 1)];
        if (std::isnan(d) || (!unadjusted && !fit_of.accepted))
            continue;
        filled_value v;
        v.day = day;
        v.quantity = q;
        v.method = fill_method::donor;
        v.adjustment = fit_of.adjustment;
        if (unadjusted) {
            // No overlap to fit a bias on: the lapse rate's shift, where the heights are known.
            const double shift = q == prcp ? NAN : heights.lapse_shift(k);
            v.method = std::isnan(shift) ? fill_method::donor_unadjusted : fill_method::donor_lapse;
            v.adjustment = std::isnan(shift) ? 0 : shift;
        }
        v.value = v.method == fill_method::donor_unadjusted
                      ? d
                      : apply(d, v.adjustment, v.method == fill_method::donor && q == prcp);
        if (!physically_possible(q, v.value))
            continue; // adjusted past what weather can be: the next donor
        v.donor = static_cast<int>(k);
        r.filled.days[static_cast<size_t>(day - r.filled.first)][static_cast<size_t>(q)] = v.value;
        r.record.push_back(v);
        return true;
    }
    return false;
}

} // namespace

fill_result fill_series(const day_series &target, const std::vector<day_series> &donors,
                        const fill_settings &settings, const elevations &heights) {
    fill_result r;
    r.filled = target;
    for (const day_series &donor : donors)
        r.fits.push_back(fit_donor(target, donor, settings));
    interpolate(r, target, settings);
    bool unadjusted[quantities];
    for (int q = 0; q < quantities; ++q)
        unadjusted[q] = settings.copy_lacking && lacks(target, q);
    for (size_t i = 0; i < target.days.size(); ++i) {
        const long day = target.first + static_cast<long>(i);
        bool filled_here = false;
        for (int q = 0; q < quantities; ++q) {
            const size_t k = static_cast<size_t>(q);
            if (!std::isnan(target.days[i][k]))
                continue;
            if (!std::isnan(r.filled.days[i][k]))
                r.record.push_back(
                    {day, q, r.filled.days[i][k], fill_method::interpolation, -1, 0});
            else if (!from_donors(r, donors, day, q, unadjusted[q], heights)) {
                ++r.left[q];
                continue;
            }
            filled_here = true;
        }
        const auto &d = r.filled.days[i];
        if (filled_here && d[tmin] > d[tmax])
            r.tmin_above_tmax.push_back(day);
    }
    return r;
}

} // namespace import
