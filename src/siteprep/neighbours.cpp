// Sites compared with their nearest sites: a k-d tree over the sites' unit
// vectors, whose chord distances order the sites as great-circle distances
// do, and the robust comparison with the neighbours' medians.
#include "neighbours.h"
#include "shown.h"

#include <algorithm>
#include <array>
#include <numbers>
#include <utility>

namespace {

using point = std::array<double, 3>;

point unit_vector(double latitude, double longitude) {
    const double to_radians = std::numbers::pi / 180;
    const double phi = latitude * to_radians, lambda = longitude * to_radians;
    return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)};
}

double squared_chord(const point &a, const point &b) {
    const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

double chord_of_km(double km) {
    return 2 * std::sin(std::min(km / earth_radius_km, std::numbers::pi) / 2);
}

double km_of_squared_chord(double d2) {
    return 2 * std::asin(std::min(1.0, std::sqrt(d2) / 2)) * earth_radius_km;
}

// A k-d tree kept in one array: the node of [lo, hi) is its middle, split
// on the axis stored beside it; the smaller half to the left.
struct kd_tree {
    std::vector<point> points;
    std::vector<int> order;
    std::vector<unsigned char> axis;

    void build(size_t lo, size_t hi) {
        if (hi - lo < 2)
            return;
        point low = points[static_cast<size_t>(order[lo])], high = low;
        for (size_t i = lo; i < hi; ++i)
            for (size_t a = 0; a < 3; ++a) {
                low[a] = std::min(low[a], points[static_cast<size_t>(order[i])][a]);
                high[a] = std::max(high[a], points[static_cast<size_t>(order[i])][a]);
            }
        size_t split = 0;
        for (size_t a = 1; a < 3; ++a)
            if (high[a] - low[a] > high[split] - low[split])
                split = a;
        const size_t mid = lo + (hi - lo) / 2;
        std::nth_element(order.begin() + static_cast<long>(lo),
                         order.begin() + static_cast<long>(mid),
                         order.begin() + static_cast<long>(hi), [&](int a, int b) {
                             return points[static_cast<size_t>(a)][split] <
                                    points[static_cast<size_t>(b)][split];
                         });
        axis[mid] = static_cast<unsigned char>(split);
        build(lo, mid);
        build(mid + 1, hi);
    }
};

kd_tree tree_of(const std::vector<neighbour_input> &sites) {
    kd_tree tree;
    for (const neighbour_input &s : sites)
        tree.points.push_back(unit_vector(s.latitude, s.longitude));
    for (size_t i = 0; i < sites.size(); ++i)
        tree.order.push_back(static_cast<int>(i));
    tree.axis.assign(sites.size(), 0);
    tree.build(0, sites.size());
    return tree;
}

// The k nearest sites to a point within a squared chord, but one (self),
// kept as a max-heap of (squared chord, index): equal distances go by index.
struct nearest_search {
    const kd_tree &tree;
    point at;
    int self;
    size_t k;
    double reach; // squared chord
    std::vector<std::pair<double, int>> found;

    double worst() const { return found.size() < k ? reach : found.front().first; }

    void offer(double d2, int index) {
        const std::pair<double, int> c{d2, index};
        if (found.size() < k) {
            found.push_back(c);
            std::push_heap(found.begin(), found.end());
        } else if (c < found.front()) {
            std::pop_heap(found.begin(), found.end());
            found.back() = c;
            std::push_heap(found.begin(), found.end());
        }
    }

    void search(size_t lo, size_t hi) {
        if (lo >= hi)
            return;
        const size_t mid = lo + (hi - lo) / 2;
        const int index = tree.order[mid];
        const point &p = tree.points[static_cast<size_t>(index)];
        if (const double d2 = squared_chord(at, p); index != self && d2 <= worst())
            offer(d2, index);
        if (hi - lo == 1)
            return;
        const double diff = at[tree.axis[mid]] - p[tree.axis[mid]];
        const bool left_first = diff < 0;
        if (left_first)
            search(lo, mid);
        else
            search(mid + 1, hi);
        if (diff * diff <= worst()) {
            if (left_first)
                search(mid + 1, hi);
            else
                search(lo, mid);
        }
    }
};

// The neighbours of a point, nearest first, with their squared chords.
std::vector<std::pair<double, int>> nearest_to(const kd_tree &tree, const point &at, int self,
                                               int k, double max_km) {
    const double chord = chord_of_km(max_km);
    nearest_search s{tree, at, self, static_cast<size_t>(k), chord * chord, {}};
    s.search(0, tree.order.size());
    std::sort_heap(s.found.begin(), s.found.end());
    return s.found;
}

double median_of(std::vector<double> values) {
    const size_t n = values.size();
    std::sort(values.begin(), values.end());
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double sea_level_temperature(const neighbour_input &s) {
    return s.temperature + lapse_rate * s.elevation;
}

// A value of the site against its neighbours' median of the same value;
// NaN when fewer than least_neighbours of them know it.
template <class Value>
double median_around(const std::vector<neighbour_input> &sites,
                     const std::vector<std::pair<double, int>> &around, Value value) {
    std::vector<double> known;
    for (const auto &[d2, index] : around)
        if (const double v = value(sites[static_cast<size_t>(index)]); std::isfinite(v))
            known.push_back(v);
    return known.size() < static_cast<size_t>(least_neighbours) ? NAN : median_of(known);
}

// The site's values against the medians of the sites around, into r;
// whether it fits them (false too when it could not be compared).
bool fits_among(const std::vector<neighbour_input> &sites, const neighbour_input &site,
                const std::vector<std::pair<double, int>> &around, neighbour_result &r) {
    bool compared = false;
    r.precipitation_median =
        median_around(sites, around, [](const neighbour_input &s) { return s.precipitation; });
    if (std::isfinite(site.precipitation) && r.precipitation_median > 0) {
        compared = true;
        r.ratio = site.precipitation / r.precipitation_median;
        r.precipitation_off =
            r.ratio > precipitation_ratio_limit || r.ratio < 1 / precipitation_ratio_limit;
    }
    r.temperature_median = median_around(sites, around, sea_level_temperature);
    if (std::isfinite(site.temperature) && std::isfinite(r.temperature_median)) {
        compared = true;
        r.residual = sea_level_temperature(site) - r.temperature_median;
        r.temperature_off = std::fabs(r.residual) > temperature_residual_limit;
    }
    return compared && !r.precipitation_off && !r.temperature_off;
}

// Whether the site, with its latitude and longitude swapped, lies among
// sites it fits; how many when it does, else 0.
int fits_swapped(const kd_tree &tree, const std::vector<neighbour_input> &sites, int self,
                 const neighbour_settings &settings) {
    const neighbour_input &site = sites[static_cast<size_t>(self)];
    if (std::fabs(site.longitude) > 90 || site.latitude == site.longitude)
        return 0;
    neighbour_input swapped = site;
    std::swap(swapped.latitude, swapped.longitude);
    const auto around = nearest_to(tree, unit_vector(swapped.latitude, swapped.longitude), self,
                                   settings.k, settings.max_km);
    neighbour_result there;
    return fits_among(sites, swapped, around, there) ? static_cast<int>(around.size()) : 0;
}

// The causes that fit a disagreement: a factor of about 10 in
// precipitation, an elevation that the temperatures fit.
void find_causes(neighbour_result &r, const neighbour_input &site) {
    if (r.precipitation_off && r.ratio >= unit_ratio_low && r.ratio <= unit_ratio_high)
        r.precipitation_cause = neighbour_cause::mm_as_cm;
    else if (r.precipitation_off && r.ratio >= 1 / unit_ratio_high && r.ratio <= 1 / unit_ratio_low)
        r.precipitation_cause = neighbour_cause::cm_as_mm;
    if (r.temperature_off) {
        r.fitting_elevation = site.elevation - r.residual / lapse_rate;
        if (r.fitting_elevation >= lowest_elevation && r.fitting_elevation <= highest_elevation)
            r.temperature_cause = neighbour_cause::elevation;
    }
}

neighbour_result compare_site(const kd_tree &tree, const std::vector<neighbour_input> &sites,
                              int self, const neighbour_settings &settings) {
    const neighbour_input &site = sites[static_cast<size_t>(self)];
    const auto around =
        nearest_to(tree, tree.points[static_cast<size_t>(self)], self, settings.k, settings.max_km);
    neighbour_result r;
    r.neighbours = static_cast<int>(around.size());
    r.farthest_km = around.empty() ? 0 : km_of_squared_chord(around.back().first);
    // A site that disagrees, or has no neighbours to agree with, may have
    // its coordinates the wrong way round.
    if (!fits_among(sites, site, around, r))
        if (const int n = fits_swapped(tree, sites, self, settings); n > 0) {
            r.precipitation_cause = r.temperature_cause = neighbour_cause::swapped;
            r.swapped_neighbours = n;
            return r;
        }
    find_causes(r, site);
    return r;
}

} // namespace

std::vector<int> nearest_sites(const std::vector<neighbour_input> &sites, int k, double max_km) {
    if (k < 1)
        return {};
    const kd_tree tree = tree_of(sites);
    std::vector<int> nearest(sites.size() * static_cast<size_t>(k), -1);
    for (size_t i = 0; i < sites.size(); ++i) {
        const auto around = nearest_to(tree, tree.points[i], static_cast<int>(i), k, max_km);
        for (size_t j = 0; j < around.size(); ++j)
            nearest[i * static_cast<size_t>(k) + j] = around[j].second;
    }
    return nearest;
}

std::vector<neighbour_result> compare_neighbours(const std::vector<neighbour_input> &sites,
                                                 const neighbour_settings &settings) {
    std::vector<neighbour_result> results;
    if (settings.k < 1 || sites.size() <= static_cast<size_t>(settings.k))
        return results;
    const kd_tree tree = tree_of(sites);
    results.reserve(sites.size());
    for (size_t i = 0; i < sites.size(); ++i)
        results.push_back(compare_site(tree, sites, static_cast<int>(i), settings));
    return results;
}

namespace {

std::string precipitation_words(const neighbour_result &r, const neighbour_input &site) {
    std::string said =
        format_message("annual precipitation %.1f cm, %.3g times their median of %.1f cm",
                       site.precipitation, r.ratio, r.precipitation_median);
    if (r.precipitation_cause == neighbour_cause::mm_as_cm)
        said += ": it looks like mm read as cm (the daily file takes cm)";
    else if (r.precipitation_cause == neighbour_cause::cm_as_mm)
        said += ": it looks like cm read as mm (a tenth of the true values)";
    return said;
}

std::string temperature_words(const neighbour_result &r, const neighbour_input &site) {
    std::string said = format_message(
        "mean temperature %.1f degrees C at the listed %.0f m, %+.1f from their median at "
        "sea level (%.1f, at %.1f degrees C a km)",
        site.temperature, site.elevation, r.residual, r.temperature_median, lapse_rate * 1000);
    if (r.temperature_cause == neighbour_cause::elevation)
        said +=
            format_message(": the listed elevation looks wrong, the temperatures fit about %.0f m",
                           r.fitting_elevation);
    return said;
}

} // namespace

std::string neighbour_words(const neighbour_result &r, const neighbour_input &site,
                            const neighbour_settings &settings) {
    if (r.precipitation_cause == neighbour_cause::swapped) {
        const std::string where =
            r.precipitation_off || r.temperature_off
                ? format_message("disagrees with its %d nearest sites (within %.0f km)",
                                 r.neighbours, r.farthest_km)
                : format_message("has fewer than %d sites within %.0f km to compare with",
                                 least_neighbours, settings.max_km);
        return format_message("%s; at latitude %g, longitude %g it fits the %d sites around: "
                              "latitude and longitude look swapped",
                              where.c_str(), site.longitude, site.latitude, r.swapped_neighbours);
    }
    std::string said = format_message(
        "disagrees with its %d nearest sites (within %.0f km): ", r.neighbours, r.farthest_km);
    if (r.precipitation_off)
        said += precipitation_words(r, site);
    if (r.precipitation_off && r.temperature_off)
        said += "; ";
    if (r.temperature_off)
        said += temperature_words(r, site);
    return said;
}
