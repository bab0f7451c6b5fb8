// The nearest cell by great-circle distance. On a latitude-longitude grid
// the nearest column is the nearest longitude whatever the row, and the
// nearest row lies next to the nearest latitude: a few cells are measured.
// A projected grid's cells go into a k-d tree of points on the unit sphere,
// where the straight distance orders cells as the great-circle one does.
#include "grid_cells.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace import::geo {

namespace {

constexpr double degree = M_PI / 180.0;

double haversine(double angle) {
    const double s = std::sin(angle / 2);
    return s * s;
}

// The difference of two longitudes, -180 to 180 degrees.
double longitude_difference(double a, double b) {
    return std::remainder(a - b, 360.0);
}

bool strictly_monotonic(const std::vector<double> &v) {
    if (v.size() < 2)
        return !v.empty() && std::isfinite(v[0]);
    const bool up = v[1] > v[0];
    for (size_t i = 1; i < v.size(); ++i)
        if (!std::isfinite(v[i]) || (up ? !(v[i] > v[i - 1]) : !(v[i] < v[i - 1])))
            return false;
    return std::isfinite(v[0]);
}

// The index of the value nearest x in a monotonic array.
size_t nearest_index(const std::vector<double> &v, double x) {
    const bool up = v.size() < 2 || v[1] > v[0];
    const auto at = up ? std::lower_bound(v.begin(), v.end(), x)
                       : std::lower_bound(v.begin(), v.end(), x, std::greater<double>());
    size_t i = static_cast<size_t>(at - v.begin());
    if (i == v.size())
        return i - 1;
    if (i > 0 && std::fabs(v[i - 1] - x) <= std::fabs(v[i] - x))
        --i;
    return i;
}

void unit_vector(const point &p, double *xyz) {
    const double phi = p.lat * degree, lambda = p.lon * degree;
    xyz[0] = std::cos(phi) * std::cos(lambda);
    xyz[1] = std::cos(phi) * std::sin(lambda);
    xyz[2] = std::sin(phi);
}

// The straight distance through the sphere, squared, of a great-circle one.
double chord_squared(double km) {
    const double chord = 2 * std::sin(std::min(km / earth_radius_km, M_PI) / 2);
    return chord * chord;
}

} // namespace

double distance_km(const point &a, const point &b) {
    const double h = haversine((b.lat - a.lat) * degree) +
                     std::cos(a.lat * degree) * std::cos(b.lat * degree) *
                         haversine(longitude_difference(b.lon, a.lon) * degree);
    return 2 * earth_radius_km * std::asin(std::min(1.0, std::sqrt(h)));
}

failure grid_cells::rectilinear(std::vector<double> lat, std::vector<double> lon,
                                grid_cells &grid) {
    if (!strictly_monotonic(lat) || !strictly_monotonic(lon))
        return {"its latitudes or longitudes are not strictly increasing or decreasing"};
    grid = grid_cells();
    grid.rows_ = lat.size();
    grid.cols_ = lon.size();
    if (lon.size() > 1) {
        const double spacing = std::fabs(lon[1] - lon[0]);
        grid.global_ = std::fabs(lon.back() - lon.front()) + spacing >= 360.0 - 1e-6;
    }
    grid.lat_ = std::move(lat);
    grid.lon_ = std::move(lon);
    return {};
}

grid_cells grid_cells::curvilinear(std::vector<double> lat, std::vector<double> lon, size_t rows,
                                   size_t cols) {
    grid_cells grid;
    grid.rows_ = rows;
    grid.cols_ = cols;
    grid.two_dimensional_ = true;
    grid.xyz_.resize(3 * rows * cols);
    grid.tree_.resize(rows * cols);
    for (size_t cell = 0; cell < rows * cols; ++cell) {
        unit_vector({lat[cell], lon[cell]}, &grid.xyz_[3 * cell]);
        grid.tree_[cell] = static_cast<uint32_t>(cell);
    }
    grid.lat_ = std::move(lat);
    grid.lon_ = std::move(lon);
    grid.build_tree(0, rows * cols, 0);
    return grid;
}

point grid_cells::at(size_t cell) const {
    if (two_dimensional_)
        return {lat_[cell], lon_[cell]};
    return {lat_[cell / cols_], lon_[cell % cols_]};
}

size_t grid_cells::nearest(const point &p) const {
    return two_dimensional_ ? search_tree(p, std::numeric_limits<double>::infinity(), nullptr)
                            : nearest_rectilinear(p);
}

size_t grid_cells::nearest_rectilinear(const point &p) const {
    // The nearest longitude: p's, brought within the columns' span first,
    // or across the date line to the first or last column.
    const double low = std::min(lon_.front(), lon_.back());
    const double shifted = low + std::fmod(std::fmod(p.lon - low, 360.0) + 360.0, 360.0);
    size_t col = nearest_index(lon_, shifted);
    for (size_t end : {size_t{0}, cols_ - 1})
        if (std::fabs(longitude_difference(lon_[end], p.lon)) <
            std::fabs(longitude_difference(lon_[col], p.lon)))
            col = end;
    const size_t row = nearest_index(lat_, p.lat);
    size_t best = no_cell;
    double best_km = std::numeric_limits<double>::infinity();
    for (size_t r = row > 0 ? row - 1 : row; r <= std::min(row + 1, rows_ - 1); ++r) {
        const double km = distance_km(p, {lat_[r], lon_[col]});
        if (km < best_km) {
            best_km = km;
            best = r * cols_ + col;
        }
    }
    return best;
}

size_t grid_cells::nearest_with_data(const point &p, double max_km,
                                     const std::vector<uint8_t> &has_data) const {
    if (two_dimensional_)
        return search_tree(p, max_km, &has_data);
    const double limit = haversine(std::min(max_km / earth_radius_km, M_PI));
    size_t best = no_cell;
    double best_km = std::numeric_limits<double>::infinity();
    for (size_t r = 0; r < rows_; ++r) {
        // The longitudes a cell of this row may differ by and be near enough.
        const double room = limit - haversine((lat_[r] - p.lat) * degree);
        if (room < 0)
            continue;
        const double across = std::cos(p.lat * degree) * std::cos(lat_[r] * degree);
        const double spread =
            across <= room ? 180.0 : 2 * std::asin(std::sqrt(room / across)) / degree;
        for (size_t c = 0; c < cols_; ++c) {
            const size_t cell = r * cols_ + c;
            if (!has_data[cell] || std::fabs(longitude_difference(lon_[c], p.lon)) > spread + 1e-9)
                continue;
            const double km = distance_km(p, {lat_[r], lon_[c]});
            if (km <= max_km && km < best_km) {
                best_km = km;
                best = cell;
            }
        }
    }
    return best;
}

double grid_cells::width_km(size_t cell) const {
    const size_t r = cell / cols_, c = cell % cols_;
    const point here = at(cell);
    double width = 0;
    const auto measure = [&](size_t other) {
        width = std::max(width, distance_km(here, at(other)));
    };
    if (r > 0)
        measure(cell - cols_);
    if (r + 1 < rows_)
        measure(cell + cols_);
    if (c > 0)
        measure(cell - 1);
    if (c + 1 < cols_)
        measure(cell + 1);
    return width;
}

void grid_cells::build_tree(size_t begin, size_t end, int depth) {
    while (end - begin > 1) {
        const size_t mid = begin + (end - begin) / 2;
        const int axis = depth % 3;
        std::nth_element(tree_.begin() + static_cast<std::ptrdiff_t>(begin),
                         tree_.begin() + static_cast<std::ptrdiff_t>(mid),
                         tree_.begin() + static_cast<std::ptrdiff_t>(end),
                         [&](uint32_t a, uint32_t b) {
                             return xyz_[3 * a + static_cast<size_t>(axis)] <
                                    xyz_[3 * b + static_cast<size_t>(axis)];
                         });
        build_tree(begin, mid, depth + 1);
        begin = mid + 1;
        ++depth;
    }
}

size_t grid_cells::search_tree(const point &p, double max_km,
                               const std::vector<uint8_t> *has_data) const {
    double target[3];
    unit_vector(p, target);
    struct best_so_far {
        size_t cell = no_cell;
        double d2;
    } best{no_cell, std::isinf(max_km) ? std::numeric_limits<double>::infinity()
                                       : chord_squared(max_km) * (1 + 1e-12)};
    // Each range's median, then the side of it p is on, then the other side
    // where it may hold a nearer cell.
    const auto visit = [&](auto &self, size_t begin, size_t end, int depth) -> void {
        if (begin >= end)
            return;
        const size_t mid = begin + (end - begin) / 2;
        const size_t cell = tree_[mid];
        const double *xyz = &xyz_[3 * cell];
        if (has_data == nullptr || (*has_data)[cell]) {
            double d2 = 0;
            for (int k = 0; k < 3; ++k)
                d2 += (target[k] - xyz[k]) * (target[k] - xyz[k]);
            if (d2 < best.d2 || (d2 == best.d2 && cell < best.cell))
                best = {cell, d2};
        }
        const double diff = target[depth % 3] - xyz[depth % 3];
        const bool left_first = diff < 0;
        self(self, left_first ? begin : mid + 1, left_first ? mid : end, depth + 1);
        if (diff * diff <= best.d2)
            self(self, left_first ? mid + 1 : begin, left_first ? end : mid, depth + 1);
    };
    visit(visit, 0, tree_.size(), 0);
    return best.cell;
}

} // namespace import::geo
