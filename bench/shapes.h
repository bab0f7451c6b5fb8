// The shapes daily files come in, for the benchmarks: one day's line of
// each, from three noise values of 0 to 10.
#pragma once

#include <cstdio>
#include <string>

inline constexpr const char *daily_shapes[] = {"compact", "real", "varied",
                                               "fixed",   "ten",  "layouts"};

inline // One day's line in each of the shapes daily files come in.
    std::string
    day_line(const std::string &shape, int d, int m, int y, int doy, double a, double b, double c) {
    char line[128];
    if (shape == "fixed") // Fortran and R sprintf programs
        std::snprintf(line, sizeof line, "%3d %3d %5d %4d %7.2f %7.2f %7.2f\n", d, m, y, doy,
                      10.0 + a, b - 5.0, c / 10.0);
    else if (shape == "ten") // with solar radiation, relative humidity and wind speed
        std::snprintf(line, sizeof line, "%d %d %d %d %.1f %.1f %.2f %.1f %.1f %.2f\n", d, m, y,
                      doy, 10.0 + a, b - 5.0, c / 10.0, 150.0 + 10 * a, 40.0 + 5 * b, c / 3);
    else if (shape == "real") // observations to a tenth
        std::snprintf(line, sizeof line, "%d %d %d %d %.1f %.1f %.1f\n", d, m, y, doy, 10.0 + a,
                      b - 5.0, c / 5.0);
    else if (shape == "varied") // 1 to 3 integer digits, signs, 0 to 20 mm, missing values
        std::snprintf(line, sizeof line, "%d %d %d %d %.1f %.1f %.2f\n", d, m, y, doy,
                      (a - 5.0) * 4.5, (b - 6.0) * 4.0,
                      static_cast<int>(a * 7) % 23 == 0 ? -99.99 : c / 5.0);
    else if (shape == "layouts") // field widths and decimals that change from line to line
        std::snprintf(line, sizeof line, "%*d %*d %d %*d %.*f %.*f %.*f\n", 1 + doy % 3, d,
                      1 + doy % 2, m, y, 1 + doy % 4, doy, 1 + doy % 3, 10.0 + a, 1 + doy % 2,
                      b - 5.0, 2 + doy % 3, c / 10.0);
    else // the benchmark's own compact lines
        std::snprintf(line, sizeof line, "%d %d %d %d %.1f %.1f %.2f\n", d, m, y, doy, 10.0 + a,
                      b - 5.0, c / 10.0);
    return line;
}

// Values of 0 to 10 in steps of 0.01, the same from the same seed.
struct noise_source {
    unsigned seed;
    double next() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<double>((seed >> 16) % 1000) / 100.0;
    }
};

// A daily file of years from 1900, 365 days each, in a shape; lines
// counts its lines.
inline std::string daily_text(const std::string &shape, int years, noise_source &noise,
                              size_t &lines) {
    static const int days_in_month[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::string wth;
    for (int y = 0; y < years; ++y) {
        int doy = 0;
        for (int m = 0; m < 12; ++m)
            for (int d = 1; d <= days_in_month[m]; ++d) {
                const double a = noise.next(), b = noise.next(), c = noise.next();
                wth += day_line(shape, d, m + 1, 1900 + y, ++doy, a, b, c);
                ++lines;
            }
    }
    return wth;
}
