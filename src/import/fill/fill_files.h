// The fill's files: a target daily file and its donors read, the filled
// daily file, its record of every value filled (NAME.fill.csv) and its
// skill table (NAME.fill-skill.csv) written, all through the guard and
// temporary names; and the same for an import that fills what its source
// lacks (ghcn and daymet --fill-from).
#pragma once

#include "failure.h"
#include "fill.h"
#include "write_whole.h"
#include "wth_writer.h"

#include <string>
#include <string_view>
#include <vector>

namespace import {

// Each quantity's word and a day's date ("1991-01-31"), as the fill's
// files and messages write them.
inline constexpr const char *fill_quantity_words[quantities] = {"tmax", "tmin", "prcp"};
std::string filled_day_text(long day);

struct fill_request {
    std::string target;
    std::vector<std::string> donors;
    std::string output_dir; // empty: the target replaced in place (--force)
    std::string stations;   // --stations: the table whose row of the target gets its new counts
    bool force = false;
    fill_settings settings;
};

// Fills the target from the donors: 0, or 1 after saying what failed (through the reporter).
int run_fill(const fill_request &request);

// A daily file as the fill reads it: its days as a series, and each day's
// line as it stands, to be written back as it was where nothing of it is
// filled.
struct daily_text {
    std::string text;
    struct day_line {
        long day = 0;
        size_t begin = 0, end = 0;   // the line, its end included
        size_t values = 0, rest = 0; // where its fifth field starts, and its seventh ends
        unsigned outside = 0;        // bit q: its value of q is one no weather can have
    };
    std::vector<day_line> lines;
    day_series series;
    std::string eol = "\n"; // the first line's end
    outside_range outside;  // the values no weather can have, missing in series
};
// Reads a daily file's text, named name in messages, a value no weather can have taken as missing;
// or what is wrong ("NAME line N: ..."): a line the daily reader refuses, a date that is not one, a
// date out of order or given twice.
failure parse_daily_text(const std::string &name, std::string text, daily_text &into);

// The donors of a fill, read.
struct donor_files {
    std::vector<std::string> names;
    std::vector<day_series> series;
    std::vector<outside_range> outside; // a donor's values never used
    elevations heights;                 // the donors' (read_donor_heights); no target's
};
// Reads the donors' files; or what failed, naming the file.
failure read_donors(const std::vector<std::string> &paths, donor_files &into);
// A height as a table or a source gives it, in metres; not-a-number for NA
// or what is not a number.
double height_of(std::string_view text);
// The donors' heights: the elevation_m of the row named as each donor's
// file (without its extension) in the stations table, where it has one
// (none: an empty name, or no such file yet), and why where it has none;
// or what failed, naming the file.
failure read_donor_heights(const std::vector<std::string> &paths, const std::string &stations,
                           elevations &into);
// Says, for each donor with values no weather can have, that they are never used.
void say_donors_outside(const donor_files &donors);

// What a fill writes and says of a target: the filled daily file, the
// record (an earlier record's rows first) and the skill table, and the
// summary lines (with how the temperatures copied for want of overlap
// were adjusted to the heights, or why not).
struct filled_files {
    std::string daily, record, skill;
    std::vector<std::string> said;
    fill_result result;
};
filled_files fill_files_of(const std::string &name, const daily_text &target,
                           const donor_files &donors, const fill_settings &settings,
                           const std::string &earlier_record, const elevations &heights = {});

// A stations table row's counts of a filled daily file: its days, each
// quantity's missing days, and the precipitation behind its annual mean.
void count_filled(const fill_result &filled, station_row &row);

// Writes the filled daily file at output, its record and its skill table
// (and the files also given) all or none; or what failed, naming the file
// and saying that they are left as they were.
failure write_filled(const std::string &output, const filled_files &made,
                     const std::vector<os::file_text> &also = {});

} // namespace import
