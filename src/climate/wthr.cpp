// Monthly statistics over the years and the weather block of a site
// parameter file.
#include "wthr.h"
#include "fd.h"
#include "lines.h"
#include "streams.h"
#include "tokens.h"

#include <cmath>

namespace {

float pow_single(float x, double exponent) {
    return static_cast<float>(std::pow(static_cast<double>(x), exponent));
}

} // namespace

static const char skew_message[] = "Unable to calculate SKEW value; replacing with 0.00\n";

int stats(int years, const month_table &table, float mean[months], float deviation[months],
          float skewness[months]) {
    int replaced = 0;
    for (int m = 0; m < months; ++m) {
        int n = 0;
        float s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
        for (int y = 0; y < years; ++y) {
            const float x = table[y][m];
            if (x == missing_value)
                continue;
            n = n + 1;
            s1 = s1 + x;
            s2 = s2 + pow_single(x, 2.0);
            s3 = s3 + pow_single(x, 3.0);
        }
        const float count = static_cast<float>(n);
        const float mu = s1 / count;
        float variance = s2 / count - pow_single(mu, 2.0);
        if (0.0f > variance)
            variance = 0.0f; // rounding can leave a tiny negative; not-a-number stays
        mean[m] = mu;
        deviation[m] = static_cast<float>(std::sqrt(static_cast<double>(variance)));
        const float v = pow_single(variance, 1.5);
        if (v == 0.0f) {
            ++replaced;
            skewness[m] = 0.0f;
        } else {
            skewness[m] = ((s3 / count - (mu * 3.0f) * variance) - pow_single(mu, 3.0)) / v;
        }
    }
    return replaced;
}

namespace {

void put_block_lines(const char *name, const float values[months], const char *eol) {
    for (int m = 0; m < months; ++m) {
        char label[32];
        std::snprintf(label, sizeof label, "'%s(%d)'", name, m + 1);
        newfp->print("%-10.4f        %-10s%s", static_cast<double>(values[m]), label, eol);
    }
}

} // namespace

void compute_stats(weather_stats &ws, int years, const month_table &prec, const month_table &tmin,
                   const month_table &tmax) {
    ws.years = years;
    ws.skew_replaced = stats(ws.years, prec, ws.prec_mean, ws.prec_dev, ws.prec_skew);
    ws.skew_replaced += stats(ws.years, tmin, ws.tmin_mean, ws.tmin_dev, ws.tmin_skew);
    ws.skew_replaced += stats(ws.years, tmax, ws.tmax_mean, ws.tmax_dev, ws.tmax_skew);
    const month_table *tables[3] = {&prec, &tmin, &tmax};
    for (int q = 0; q < 3; ++q)
        for (int m = 0; m < months; ++m) {
            int n = 0;
            for (int y = 0; y < years; ++y)
                n += (*tables[q])[y][m] != missing_value;
            ws.count[q][m] = n;
        }
}

void weather(const weather_stats &ws, std::string &said) {
    for (int i = 0; i < ws.skew_replaced; ++i)
        said += skew_message;
    os::line_reader reader(oldfp);
    std::string_view line;
    const char *eol = "\n";
    for (int i = 0; i < header_lines && os::next_line(reader, line); ++i) {
        if (i == 0)
            eol = line_end_of(line); // the block's lines end like the file's first line
        newfp->put(line);
        // A last line without its end must not run into the block.
        if (line.back() != '\n')
            newfp->put(eol);
    }
    // In the order of block_names.
    const float *series[block_series] = {ws.prec_mean, ws.prec_dev, ws.prec_skew, ws.tmin_mean,
                                         ws.tmax_mean};
    for (int k = 0; k < block_series; ++k)
        put_block_lines(block_names[k], series[k], eol);
    // The old block's lines, replaced by position.
    for (int i = 0; i < block_lines && os::next_line(reader, line); ++i) {
    }
    while (os::next_line(reader, line))
        newfp->put(line);
}
