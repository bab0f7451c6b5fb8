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
    else if (shape == "layouts") // a layout of its own on every line
        std::snprintf(line, sizeof line, "%*d %*d %d %*d %.*f %.*f %.*f\n", 1 + doy % 3, d,
                      1 + doy % 2, m, y, 1 + doy % 4, doy, 1 + doy % 3, 10.0 + a, 1 + doy % 2,
                      b - 5.0, 2 + doy % 3, c / 10.0);
    else // the benchmark's own compact lines
        std::snprintf(line, sizeof line, "%d %d %d %d %.1f %.1f %.2f\n", d, m, y, doy, 10.0 + a,
                      b - 5.0, c / 10.0);
    return line;
}
