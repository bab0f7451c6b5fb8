// DEM tiles and grids, and elevations read from them.
#include "dem.h"
#include "file_paths.h"
#include "input.h"
#include "shown.h"
#include "soil/soil_readers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>

namespace import {

namespace {

// "N47" as 47, "W123" as -123, from a tile's name; false for another name.
bool corner_of(std::string_view text, char plus, char minus, int digits, int &degrees) {
    if (text.size() < static_cast<size_t>(digits) + 1)
        return false;
    const char hemisphere = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (hemisphere != plus && hemisphere != minus)
        return false;
    int value = 0;
    for (int i = 1; i <= digits; ++i) {
        if (text[static_cast<size_t>(i)] < '0' || text[static_cast<size_t>(i)] > '9')
            return false;
        value = value * 10 + (text[static_cast<size_t>(i)] - '0');
    }
    degrees = hemisphere == plus ? value : -value;
    return true;
}

// A number of a grid, as strtod reads it.
bool grid_number(std::string_view text, double &v) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(v);
}

// A DEM's samples as the nearest-sample search reads them.
struct dem_grid {
    long columns, rows;
    const std::vector<float> &values;
    float at(long row, long column) const {
        return values[static_cast<size_t>(row * columns + column)];
    }
};

} // namespace

failure dem::open_path(const std::string &path) {
    path_ = path;
    const std::string name = os::base_of(path);
    int south = 0, west = 0;
    if (name.size() > 7 && name[7] == '.' && lower(name).ends_with(".hgt") &&
        corner_of(name, 'N', 'S', 2, south) &&
        corner_of(std::string_view(name).substr(3), 'E', 'W', 3, west)) {
        south_ = south;
        west_ = west;
        return open_tile(name);
    }
    return open_grid();
}

failure dem::open_tile(const std::string &name) {
    tile_ = true;
    const os::result<struct stat> st = os::status_of(path_);
    if (!st)
        return {"Error reading " + shown_name(path_) + ": " + st.error().reason()};
    const long long bytes = static_cast<long long>(st.value().st_size);
    const long n = std::lround(std::sqrt(static_cast<double>(bytes / 2)));
    if (n < 2 || static_cast<long long>(n) * n * 2 != bytes)
        return {shown_name(path_) + ": " + std::to_string(bytes) +
                " bytes, not a square tile of 16-bit samples (1201 x 1201 is 2884802 bytes)"};
    if (south_ < -90 || south_ > 89 || west_ < -180 || west_ > 179)
        return {shown_name(path_) + ": " + name.substr(0, 7) + " is no tile's corner"};
    columns_ = rows_ = n;
    step_ = 1.0 / static_cast<double>(n - 1);
    north_ = south_ + 1;
    east_ = west_ + 1;
    x0_ = west_;
    y0_ = north_;
    return {};
}

namespace {

// The keywords of an ESRI ASCII grid's header.
struct grid_header {
    std::map<std::string, double> values;
    double get(const char *key, double otherwise) const {
        const auto found = values.find(key);
        return found == values.end() ? otherwise : found->second;
    }
};

// Reads the header's keyword lines, up to the first line of values; empty,
// or what is wrong.
failure read_grid_header(input &in, grid_header &h, std::string &first_values) {
    while (in.next()) {
        const std::vector<std::string> f = split_line(in.line, ' ', true);
        if (f.empty())
            continue;
        double v = 0;
        if (grid_number(f[0], v)) {
            first_values = in.line;
            return {};
        }
        if (f.size() != 2 || !grid_number(f[1], v))
            return {at_line(in, "not a header line of an ESRI ASCII grid (KEYWORD VALUE)")};
        h.values[lower(f[0])] = v;
    }
    return {in.err != 0 ? read_failure(in) : at_line(in, "the grid holds no values")};
}

} // namespace

failure dem::open_grid() {
    tile_ = false;
    input in(path_);
    if (!in.opened())
        return {read_failure(in)};
    grid_header h;
    std::string first;
    if (failure f = read_grid_header(in, h, first); f.failed())
        return f;
    const double ncols = h.get("ncols", 0), nrows = h.get("nrows", 0), cell = h.get("cellsize", 0);
    const bool corner = h.values.count("xllcorner") && h.values.count("yllcorner");
    const bool center = h.values.count("xllcenter") && h.values.count("yllcenter");
    if (!(ncols >= 1 && nrows >= 1 && ncols == std::floor(ncols) && nrows == std::floor(nrows) &&
          cell > 0 && corner != center))
        return {shown_name(path_) + ": an ESRI ASCII grid's header needs ncols, nrows, xllcorner "
                                    "and yllcorner (or xllcenter and yllcenter) and cellsize"};
    columns_ = static_cast<long>(ncols);
    rows_ = static_cast<long>(nrows);
    step_ = cell;
    nodata_ = h.get("nodata_value", -9999);
    // Samples stand at the cells' centres.
    x0_ = corner ? h.get("xllcorner", 0) + cell / 2 : h.get("xllcenter", 0);
    const double bottom = corner ? h.get("yllcorner", 0) + cell / 2 : h.get("yllcenter", 0);
    y0_ = bottom + static_cast<double>(rows_ - 1) * cell;
    west_ = x0_ - cell / 2;
    east_ = x0_ + (static_cast<double>(columns_) - 0.5) * cell;
    south_ = bottom - cell / 2;
    north_ = y0_ + cell / 2;
    if (west_ < -180 || east_ > 360 || south_ < -90 || north_ > 90)
        return {shown_name(path_) + ": the grid lies outside -180 to 360 degrees of longitude "
                                    "and -90 to 90 of latitude: it must be in degrees"};
    return {};
}

bool dem::covers(double latitude, double longitude) const {
    return latitude >= south_ && latitude <= north_ && longitude >= west_ && longitude <= east_;
}

failure dem::load() {
    return tile_ ? load_tile() : load_grid();
}

void dem::unload() {
    values_ = std::vector<float>();
}

failure dem::load_tile() {
    std::string bytes;
    if (failure f = read_whole_input(path_, bytes); f.failed())
        return f;
    if (bytes.size() != static_cast<size_t>(columns_ * rows_ * 2))
        return {shown_name(path_) + " changed while it was read"};
    values_.resize(static_cast<size_t>(columns_ * rows_));
    for (size_t i = 0; i < values_.size(); ++i) {
        // Big-endian: the most significant byte first.
        const auto high = static_cast<unsigned char>(bytes[2 * i]);
        const auto low = static_cast<unsigned char>(bytes[2 * i + 1]);
        const auto v = static_cast<int16_t>(static_cast<uint16_t>(high << 8 | low));
        values_[i] = v == -32768 ? NAN : static_cast<float>(v);
    }
    return {};
}

failure dem::load_grid() {
    input in(path_);
    grid_header h;
    std::string line;
    if (failure f = read_grid_header(in, h, line); f.failed())
        return f;
    values_.clear();
    values_.reserve(static_cast<size_t>(columns_ * rows_));
    const size_t wanted = static_cast<size_t>(columns_ * rows_);
    do {
        // The rows may be broken over lines anyhow: the header's ncols says
        // where one ends.
        for (const std::string &token : split_line(line, ' ', true)) {
            double v = 0;
            if (!grid_number(token, v))
                return {at_line(in, "not a number: " + quote_token(token))};
            if (values_.size() == wanted)
                return {at_line(in, "more values than ncols x nrows")};
            values_.push_back(v == nodata_ ? NAN : static_cast<float>(v));
        }
        if (!in.next())
            break;
        line = in.line;
    } while (true);
    if (in.err != 0)
        return {read_failure(in)};
    if (values_.size() != wanted)
        return {shown_name(path_) +
                format_message(": %zu values, not ncols x nrows (%zu)", values_.size(), wanted)};
    return {};
}

float dem::sample(long row, long column) const {
    return values_[static_cast<size_t>(row * columns_ + column)];
}

namespace {

// The valid samples of the ring of samples k rows or columns away from
// (cy, cx), each to see: only the ring's cells are visited, so that a wide
// void costs the square of its width, not the cube.
template <class See>
void ring_samples(const dem_grid &g, long cy, long cx, long k, const See &see) {
    const auto visit = [&](long r, long c) {
        if (r >= 0 && c >= 0 && r < g.rows && c < g.columns && !std::isnan(g.at(r, c)))
            see(r, c);
    };
    if (k == 0) {
        visit(cy, cx);
        return;
    }
    for (long c = cx - k; c <= cx + k; ++c) {
        visit(cy - k, c);
        visit(cy + k, c);
    }
    for (long r = cy - k + 1; r <= cy + k - 1; ++r) {
        visit(r, cx - k);
        visit(r, cx + k);
    }
}

} // namespace

bool dem::nearest_valid(double fx, double fy, double latitude, double &elevation) const {
    // Distances on the ground: a degree of longitude is shorter away from
    // the equator.
    const double squeeze = std::max(std::cos(latitude * M_PI / 180), 1e-6);
    const long cx = std::lround(fx), cy = std::lround(fy);
    const dem_grid g{columns_, rows_, values_};
    double best = HUGE_VAL;
    for (long k = 0; k <= std::max(columns_, rows_); ++k) {
        // Ring k lies at least k - 1/2 rows or columns away.
        if (static_cast<double>(k - 1) * squeeze > best)
            break;
        ring_samples(g, cy, cx, k, [&](long r, long c) {
            const double dx = (static_cast<double>(c) - fx) * squeeze;
            const double dy = static_cast<double>(r) - fy;
            if (const double d = std::sqrt(dx * dx + dy * dy); d < best) {
                best = d;
                elevation = g.at(r, c);
            }
        });
    }
    return best < HUGE_VAL;
}

bool dem::elevation_at(double latitude, double longitude, double &elevation) const {
    const double last_x = static_cast<double>(columns_ - 1),
                 last_y = static_cast<double>(rows_ - 1);
    const double fx = std::clamp((longitude - x0_) / step_, 0.0, last_x);
    const double fy = std::clamp((y0_ - latitude) / step_, 0.0, last_y);
    const long c0 = static_cast<long>(std::floor(fx)), r0 = static_cast<long>(std::floor(fy));
    const long c1 = std::min(c0 + 1, columns_ - 1), r1 = std::min(r0 + 1, rows_ - 1);
    const double tx = fx - static_cast<double>(c0), ty = fy - static_cast<double>(r0);
    const double v00 = sample(r0, c0), v01 = sample(r0, c1), v10 = sample(r1, c0),
                 v11 = sample(r1, c1);
    if (std::isnan(v00) || std::isnan(v01) || std::isnan(v10) || std::isnan(v11))
        return nearest_valid(fx, fy, latitude, elevation);
    elevation = (1 - ty) * ((1 - tx) * v00 + tx * v01) + ty * ((1 - tx) * v10 + tx * v11);
    return true;
}

} // namespace import
