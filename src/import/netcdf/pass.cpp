// The pass over the files' steps, window by window, and the scratch file
// that holds its values until the daily files are written.
#include "pass.h"
#include "scratch.h"
#include "shown.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace import::netcdf {

namespace {

// A hyperslab of a variable read into memory: its values in the
// variable's own type, and how far apart a step, a row and a column are.
struct slab {
    std::vector<unsigned char> &data;
    size_t step = 0, row = 0, col = 0;
};

// Steps [t0, t0 + steps) of rows [row0, row0 + rows) and columns
// [col0, col0 + cols); a variable without time is read whole in time.
failure read_slab(const nc::file &f, const part &p, size_t t0, size_t steps, size_t row0,
                  size_t rows, size_t col0, size_t cols, slab &s) {
    std::vector<size_t> start(p.dims.rank, 0), count(p.dims.rank, 1), stride(p.dims.rank, 1);
    for (size_t i = 0; i < p.dims.rank; ++i) {
        const int at = static_cast<int>(i);
        if (at == p.dims.time)
            start[i] = t0, count[i] = steps;
        else if (at == p.dims.row)
            start[i] = row0, count[i] = rows;
        else if (at == p.dims.col)
            start[i] = col0, count[i] = cols;
    }
    size_t total = 1;
    for (size_t i = p.dims.rank; i-- > 0;) {
        stride[i] = total;
        total *= count[i];
    }
    const auto stride_of = [&](int at) { return at >= 0 ? stride[static_cast<size_t>(at)] : 0; };
    s.step = stride_of(p.dims.time);
    s.row = stride_of(p.dims.row);
    s.col = stride_of(p.dims.col);
    if (s.data.size() < total * p.values.size)
        s.data.resize(total * p.values.size);
    return nc::read_raw(f, p.var, start, count, s.data.data());
}

// Rows a slab of whole rows of a grid holds within the budget.
size_t rows_a_slab(const sources &found, const part &p) {
    return std::max<size_t>(1, buffer_budget / (found.coords.cols * p.values.size));
}

failure open_file(nc::file &f, const std::string &path) {
    if (f.is_open())
        return {};
    if (failure why = f.open_path(path); why.failed())
        return {"Error reading " + why.message};
    return {};
}

// A part's first step, read for each cell of the grid, a slab of rows at
// a time: at each cell, whether it has a value, or the value.
template <class At>
failure each_cell_at_first_step(const sources &found, const std::vector<std::string> &files,
                                const part &p, At at_cell) {
    nc::file f;
    if (failure why = open_file(f, files[p.file]); why.failed())
        return why;
    std::vector<unsigned char> data;
    slab s{data};
    const size_t cols = found.coords.cols, step_rows = rows_a_slab(found, p);
    for (size_t row0 = 0; row0 < found.coords.rows; row0 += step_rows) {
        const size_t rows = std::min(step_rows, found.coords.rows - row0);
        if (failure why = read_slab(f, p, 0, 1, row0, rows, 0, cols, s); why.failed())
            return why;
        for (size_t r = 0; r < rows; ++r)
            for (size_t c = 0; c < cols; ++c) {
                double v = 0;
                const bool has = p.values.number(s.data.data(), r * s.row + c * s.col, v);
                at_cell((row0 + r) * cols + c, has, v);
            }
    }
    if (failure why = f.close_file(); why.failed())
        return {"Error reading " + why.message};
    return {};
}

} // namespace

failure cells_with_data(const sources &found, const std::vector<std::string> &files,
                        std::vector<uint8_t> &has_data) {
    has_data.assign(found.grid.cells(), 1);
    if (found.has_mask) {
        const auto note = [&has_data](size_t cell, bool has, double v) {
            has_data[cell] = has && v != 0;
        };
        return each_cell_at_first_step(found, files, found.mask, note);
    }
    for (const series &s : found.of) {
        const auto note = [&has_data](size_t cell, bool has, double) {
            has_data[cell] = has_data[cell] && has;
        };
        if (failure why = each_cell_at_first_step(found, files, s.parts[0], note); why.failed())
            return why;
    }
    return {};
}

failure elevations(const sources &found, const std::vector<std::string> &files,
                   const std::vector<size_t> &cells, std::vector<double> &metres) {
    std::vector<double> of_cell(found.grid.cells(), std::nan(""));
    const part &p = found.elevation;
    const auto note = [&](size_t cell, bool has, double v) {
        if (has)
            of_cell[cell] = v * p.metres;
    };
    if (failure why = each_cell_at_first_step(found, files, p, note); why.failed())
        return why;
    metres.clear();
    for (size_t cell : cells)
        metres.push_back(of_cell[cell]);
    return {};
}

namespace {

// How many rows apart two sites' rows may be and be read in one band: a
// few rows read for nothing cost less than another read.
constexpr size_t band_gap = 8;

} // namespace

daily_values::daily_values(const sources &found, const std::vector<std::string> &files,
                           std::vector<size_t> cells, long long first_day, size_t days)
    : found_(found), files_(files), cells_(std::move(cells)), first_day_(first_day), days_(days) {
    // A site-day of the window: three values, their counts, and the floats
    // written.
    const size_t per_day = quantities * (sizeof(double) + sizeof(uint16_t) + sizeof(float));
    window_days_ = std::clamp<size_t>(buffer_budget / std::max<size_t>(1, cells_.size() * per_day),
                                      1, std::max<size_t>(1, days_));
    // The sites by row, then bands of near rows within a slab's budget.
    std::vector<size_t> order(cells_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [this](size_t a, size_t b) { return cells_[a] < cells_[b]; });
    const size_t grid_cols = found.coords.cols;
    size_t widest = 1;
    for (const series &s : found.of)
        for (const part &p : s.parts)
            widest = std::max(widest, p.values.size);
    for (size_t i : order) {
        const size_t row = cells_[i] / grid_cols, col = cells_[i] % grid_cols;
        band *b = bands_.empty() ? nullptr : &bands_.back();
        if (b != nullptr) {
            const size_t col0 = std::min(b->col0, col);
            const size_t cols = std::max(b->col0 + b->cols, col + 1) - col0;
            const size_t rows = row - b->row0 + 1;
            if (row > b->row0 + b->rows - 1 + band_gap || rows * cols * widest > buffer_budget)
                b = nullptr;
        }
        if (b == nullptr) {
            bands_.push_back({row, 1, col, 1, {}});
            b = &bands_.back();
        }
        const size_t col0 = std::min(b->col0, col);
        b->cols = std::max(b->col0 + b->cols, col + 1) - col0;
        b->col0 = col0;
        b->rows = row - b->row0 + 1;
        b->sites.push_back({i, row, col});
    }
    for (band &b : bands_)
        for (band::member &m : b.sites) {
            m.row -= b.row0;
            m.col -= b.col0;
        }
    valid_.assign(cells_.size() * quantities, 0);
}

size_t daily_values::group_size() const {
    return std::clamp<size_t>(buffer_budget /
                                  std::max<size_t>(1, days_ * quantities * sizeof(float)),
                              1, std::max<size_t>(1, cells_.size()));
}

failure daily_values::fill(const std::string &dir) {
    os::result<os::fd> made = os::open_scratch(dir);
    if (!made)
        return {"Error making a scratch file in " + shown_name(dir) + ": " + made.error().reason()};
    scratch_ = std::move(*made);
    for (int q = 0; q < quantities; ++q) {
        stage_[q].resize(cells_.size() * window_days_);
        if (found_.of[q].take != daily_value::as_given)
            count_[q].resize(cells_.size() * window_days_);
    }
    std::vector<float> out(cells_.size() * window_days_ * quantities);
    std::vector<nc::file> opened(files_.size());
    std::vector<long long> last_day(files_.size(), std::numeric_limits<long long>::min());
    for (const series &s : found_.of)
        for (const part &p : s.parts)
            for (long long day : p.day)
                last_day[p.file] = std::max(last_day[p.file], day);
    for (size_t first = 0; first < days_; first += window_days_) {
        const window w{first, std::min(window_days_, days_ - first)};
        if (failure why = read_window(w, opened); why.failed())
            return why;
        finish_window(w, out);
        // A file whose steps are all read is closed.
        for (size_t file = 0; file < opened.size(); ++file)
            if (last_day[file] < first_day_ + static_cast<long long>(w.first + w.days))
                if (failure why = opened[file].close_file(); why.failed())
                    return {"Error reading " + why.message};
        const std::string_view bytes(reinterpret_cast<const char *>(out.data()),
                                     cells_.size() * w.days * quantities * sizeof(float));
        const off_t at = static_cast<off_t>(cells_.size() * w.first * quantities * sizeof(float));
        if (const os::result<void> written = os::write_at(scratch_, bytes, at); !written)
            return {"Error writing a scratch file in " + shown_name(dir) + ": " +
                    written.error().reason()};
    }
    for (nc::file &f : opened)
        if (failure why = f.close_file(); why.failed())
            return {"Error reading " + why.message};
    return {};
}

failure daily_values::read_window(const window &w, std::vector<nc::file> &opened) {
    const long long start = first_day_ + static_cast<long long>(w.first);
    const long long end = start + static_cast<long long>(w.days);
    for (int q = 0; q < quantities; ++q) {
        const series &s = found_.of[q];
        const double init =
            s.take == daily_value::maximum   ? -std::numeric_limits<double>::infinity()
            : s.take == daily_value::minimum ? std::numeric_limits<double>::infinity()
            : s.take == daily_value::sum     ? 0.0
                                             : std::nan("");
        std::fill(stage_[q].begin(), stage_[q].end(), init);
        std::fill(count_[q].begin(), count_[q].end(), uint16_t{0});
        // The parts' steps before the window's end, from where the last
        // window stopped.
        while (next_part_[q] < s.parts.size()) {
            const part &p = s.parts[next_part_[q]];
            size_t from = next_step_[q], to = from;
            while (from < p.day.size() && (p.day[from] == no_day || p.day[from] < start))
                to = ++from;
            while (to < p.day.size() && (p.day[to] == no_day || p.day[to] < end))
                ++to;
            if (to > from) {
                if (failure why = open_file(opened[p.file], files_[p.file]); why.failed())
                    return why;
                if (failure why = read_steps(w, q, p, opened[p.file], from, to); why.failed())
                    return why;
            }
            next_step_[q] = to;
            if (to < p.day.size())
                break;
            ++next_part_[q];
            next_step_[q] = 0;
        }
    }
    return {};
}

failure daily_values::read_steps(const window &w, int q, const part &p, nc::file &f, size_t from,
                                 size_t to) {
    const series &s = found_.of[q];
    const long long start = first_day_ + static_cast<long long>(w.first);
    std::vector<double> &stage = stage_[q];
    std::vector<uint16_t> &count = count_[q];
    slab sl{slab_};
    for (const band &b : bands_) {
        const size_t steps_a_slab =
            std::max<size_t>(1, buffer_budget / (b.rows * b.cols * p.values.size));
        for (size_t t0 = from; t0 < to; t0 += steps_a_slab) {
            const size_t steps = std::min(steps_a_slab, to - t0);
            if (failure why = read_slab(f, p, t0, steps, b.row0, b.rows, b.col0, b.cols, sl);
                why.failed())
                return why;
            for (size_t t = 0; t < steps; ++t) {
                const long long day = p.day[t0 + t];
                if (day == no_day || day < start || day >= start + static_cast<long long>(w.days))
                    continue;
                const size_t d = static_cast<size_t>(day - start);
                for (const band::member &m : b.sites) {
                    double v = 0;
                    if (!p.values.number(sl.data.data(),
                                         t * sl.step + m.row * sl.row + m.col * sl.col, v))
                        continue;
                    // To degrees C, or to mm of the step.
                    const double x =
                        q == prcp ? (p.precipitation.rate ? v * p.precipitation.mm * s.step_seconds
                                                          : v * p.precipitation.mm)
                                  : (v + p.temperature.offset) * p.temperature.scale;
                    double &at = stage[m.site * window_days_ + d];
                    switch (s.take) {
                    case daily_value::as_given:
                        at = x;
                        continue;
                    case daily_value::maximum:
                        at = std::max(at, x);
                        break;
                    case daily_value::minimum:
                        at = std::min(at, x);
                        break;
                    case daily_value::sum:
                        at += x;
                        break;
                    case daily_value::last: // the steps come in time order
                        at = x;
                        break;
                    }
                    ++count[m.site * window_days_ + d];
                }
            }
        }
    }
    return {};
}

void daily_values::finish_window(const window &w, std::vector<float> &out) {
    for (int q = 0; q < quantities; ++q) {
        const series &s = found_.of[q];
        for (size_t site = 0; site < cells_.size(); ++site)
            for (size_t d = 0; d < w.days; ++d) {
                const size_t at = site * window_days_ + d;
                double x = stage_[q][at];
                if (s.take != daily_value::as_given &&
                    count_[q][at] != static_cast<uint16_t>(s.steps_a_day))
                    x = std::nan(""); // a day missing a step has no value
                if (q == prcp)
                    x /= 10; // mm to cm
                float value = static_cast<float>(x);
                if (!std::isfinite(value))
                    value = std::nanf("");
                else
                    ++valid_[site * quantities + static_cast<size_t>(q)];
                out[(site * w.days + d) * quantities + static_cast<size_t>(q)] = value;
            }
    }
}

failure daily_values::read_group(size_t first, size_t count, std::vector<float> &values) const {
    values.resize(count * days_ * quantities);
    std::vector<float> part_of(count * window_days_ * quantities);
    for (size_t w = 0; w < days_; w += window_days_) {
        const size_t days = std::min(window_days_, days_ - w);
        const size_t row = days * quantities; // a site's floats in the window
        const off_t at =
            static_cast<off_t>((cells_.size() * w + first * days) * quantities * sizeof(float));
        if (const os::result<void> read =
                os::read_at(scratch_, reinterpret_cast<char *>(part_of.data()),
                            count * row * sizeof(float), at);
            !read)
            return {"Error reading the scratch file: " + read.error().reason()};
        for (size_t site = 0; site < count; ++site)
            std::memcpy(&values[(site * days_ + w) * quantities], &part_of[site * row],
                        row * sizeof(float));
    }
    return {};
}

} // namespace import::netcdf
