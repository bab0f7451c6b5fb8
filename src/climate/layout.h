// What the computations share: the year-by-month tables and their
// missing-value rule, and the layout of a site parameter file.
#pragma once

// Year-by-month tables of the weather pass.
inline constexpr int max_years = 500;
inline constexpr int months = 12;
using month_table = float[max_years][months];

// Stored for a month without enough valid days; skipped by the statistics.
inline constexpr float missing_value = -99.99f;
// Daily values below this are missing on input (-99, -99.99, ...).
inline constexpr float missing_cut = -98.0f;
// Whether a daily value counts; not-a-number fails the comparison.
inline bool is_valid(float value) {
    return value >= missing_cut;
}

// The site parameter file: two header lines, then the weather block, twelve
// lines (one a month) for each of five series, replaced by position.
inline constexpr int header_lines = 2;
inline constexpr int block_series = 5;
inline constexpr int block_lines = block_series * months;
inline constexpr int block_first_line = header_lines + 1;
inline constexpr int block_last_line = header_lines + block_lines;
inline constexpr const char *block_names[block_series] = {"PRECIP", "PRCSTD", "PRCSKW", "TMN2M",
                                                          "TMX2M"};
