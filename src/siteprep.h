// What crosses the units of siteprep: the program-wide streams, the fixed
// names, the site file's layout, the year-by-month tables and their
// missing-value rule, a failure as a step reports it, and the messages
// that the run and the check share.
#pragma once

#include <cstdio>
#include <string>

// The fixed files: soils.in and XXXX.sfp in the working directory, or in
// the --scratch directory once set_scratch_dir has moved them there (before
// the batch, once).
extern const char *soil_file_name;
extern const char *temp_file_name;
void set_scratch_dir(const std::string &dir);
// A site's own soil file (--keep-soils): NAME.soils.in beside its site
// file, with a scratch directory too (sites of one base name in several
// directories would meet there).
std::string site_soil_file(const std::string &site_name);
// A message about the fixed files that says "in the working directory",
// saying where they are instead when a scratch directory holds them.
std::string where_fixed_files_are(const std::string &message);
// Why neither a run nor a check may start over a file at the temporary
// copy's name: it may be a copy left over. Empty when there is none, and
// when it is a file that the batch reads or rewrites (taken_by_batch) in
// a scratch directory: the guard's collision names that. (In the working
// directory a site named XXXX is refused as a leftover copy.)
std::string temp_copy_refusal(bool taken_by_batch);

// The file being read and the file being written by the current pass;
// only the rewrite cycle sets them.
extern FILE *oldfp;
extern FILE *newfp;

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

// What went wrong, as the step where it happened words it: the message
// (one or more lines), what was done about it (lines printed after it,
// such as a restore), and the errno behind it (0: none). A step that
// succeeds returns one without a message.
struct failure {
    std::string message;
    std::string after;
    int err = 0;
    bool stops_batch = false; // no further site may run (a copy had to be kept)
    bool failed() const { return !message.empty(); }
};

// Messages that the run and the check share.
inline constexpr char list_open_message[] = "Error opening data input file!";
inline constexpr char site_line_message[] = "Error in site list %s line %ld: %s";
inline constexpr char soil_open_message[] = "Error opening soils.in file for %s!";
inline constexpr char keys_site_open_message[] = "Error opening <%s>.sfp file!";
inline constexpr char keys_temp_open_message[] = "Error opening temporary file for %s!";
inline constexpr char weather_open_message[] = "Error opening weather data file for %s site!";
inline constexpr char weather_line_message[] = "Error in weather data file %s line %ld: %s";
inline constexpr char site_file_line_message[] = "Error in site parameter file %s line %ld: %s";
inline constexpr char read_message[] = "Error reading %s: %s";
inline constexpr char temp_left_over_message[] =
    "XXXX.sfp already exists in the working directory. It may hold the only intact copy of a "
    "site parameter file from an interrupted run: compare it with that site's .sfp file, keep "
    "the intact one, then remove or rename XXXX.sfp and run again.";
