// The messages of the run and the check, said through the program's one
// printer: the texts both share, a failure in the run's form (its lines as
// they stand) or the check's (one line), the lists and summaries at the
// end, and the end of a run or check that ran out of memory.
#pragma once

#include "failure.h"

#include <new>
#include <string>
#include <utility>
#include <vector>

inline constexpr char list_open_message[] = "Error opening data input file!";
inline constexpr char site_line_message[] = "Error in site list %s line %ld: %s";
inline constexpr char soil_open_message[] = "Error opening soils.in file for %s!";
inline constexpr char keys_site_open_message[] = "Error opening <%s>.sfp file!";
inline constexpr char keys_temp_open_message[] = "Error opening temporary file for %s!";
inline constexpr char weather_open_message[] = "Error opening weather data file for %s site!";
inline constexpr char weather_line_message[] = "Error in weather data file %s line %ld: %s";
inline constexpr char site_file_line_message[] = "Error in site parameter file %s line %ld: %s";
inline constexpr char read_message[] = "Error reading %s: %s";
// A calendar month and quantity that a completeness rule or a period leaves
// without a year ("February precipitation, March Tmin"), and the choice.
inline constexpr char no_valid_year_message[] =
    "Error in weather data file %s: %s: no year left by %s, so its statistics would be nan";
inline constexpr char no_period_rows_message[] =
    "Error in weather data file %s: no year row in the years %s (--years)";
// Where the fixed files are ("in the working directory"), then the copy's path.
inline constexpr char temp_left_over_message[] =
    "XXXX.sfp already exists %s. It may hold the only intact copy of a "
    "site parameter file from an interrupted run: compare it with that site's .sfp file, keep "
    "the intact one, then remove or rename %s and run again.";

// The rewrite's and the site's: what was being done to a file ("Error
// writing plot.sfp: ..."); the copy gone astray; a restore, done or not
// (then where the content is); soils.in; the lock; a daily file that is the
// site file; a file written whole.
inline constexpr char step_failed_message[] = "Error %s %s: %s";
inline constexpr char copy_replaced_message[] =
    "Error deleting %s: it was replaced by another file, left as it is";
inline constexpr char restored_message[] = "%s was restored to its content before this step.";
inline constexpr char restore_failed_message[] = "Error restoring %s: %s";
inline constexpr char copy_kept_message[] =
    "%s holds the content %s had before this step: copy it back to %s, "
    "then remove %s before running again.";
inline constexpr char soil_write_message[] = "Error writing %s for %s: %s";
inline constexpr char lock_wait_message[] = "Waiting for %s: another run is rewriting it.";
inline constexpr char same_file_reason[] = "the same file as the site parameter file";
inline constexpr char write_message[] = "Error writing %s: %s";
inline constexpr char close_message[] = "Error closing %s: %s";
// --template: the template that cannot be used, a site file made from it,
// or to be made, or that could not be made.
inline constexpr char template_read_message[] = "Error reading the --template file %s: %s";
inline constexpr char template_made_message[] = "Created %s from the template %s";
inline constexpr char template_to_make_message[] = "%s will be created from the template %s";
inline constexpr char template_failed_message[] = "Error creating %s from the template %s: %s";
// The check's own: the fixed files, a site-list line, the sites named twice,
// the bad lines left unlisted.
inline constexpr char unwritable_message[] = "%s cannot be written: %s";
inline constexpr char uncreatable_message[] = "%s cannot be created %s: %s";
inline constexpr char list_line_warning[] = "Warning: %s line %ld: %s";
inline constexpr char listed_again_warning[] =
    "Warning: %s line %ld: %s is listed again (first on line %ld)";
inline constexpr char same_site_file_warning[] =
    "Warning: %s line %ld: %s.sfp is the same file as %s (line %ld)";
inline constexpr char unlisted_message[] = "%s: %s not listed";
// The fill's record beside a daily file that is not that file's (the check
// warns of it, a --monthly run says it on standard error).
inline constexpr char stale_record_message[] =
    "%s does not describe %s: %s, so its days are not counted as filled; fill the file again, "
    "or remove the record";

// "Error writing FILE: REASON" for what was being done to a file, named as
// shown.
std::string step_failed(const char *what, const std::string &file, int err);

// A site file's line longer than a site file line may be.
std::string long_site_line(const std::string &file, long line);

// What went wrong at a site: the one failure type of both programs.

// A failure of that message, with nothing said after it.
inline failure failed_with(std::string message) {
    failure f;
    f.message = std::move(message);
    return f;
}

// A message of the run, a line or more, as it stands.
void say(const std::string &text);
// Lines as they stand, each with its line end: what the passes over a
// site's files said.
void say_lines(const std::string &lines);
// A message said at once: one that someone waits on.
void say_now(const std::string &text);
// A failure said where it happened, once; the reason a list of failed
// sites gives, on one line.
std::string say_failure(const failure &f);
// A message of the check: its lines joined into one.
std::string one_line(std::string text);

// "Error writing FILE: REASON" as a failure.
failure not_written(const std::string &path, int err);
// A failure's lines said, when it failed; nothing else.
void say_if_failed(const failure &f);

// The fill's record that is not its daily file's, as the check's warning and
// a --monthly run's line on standard error say it.
std::string stale_record_note(const std::string &record, const std::string &weather_file);
void say_stale_record(const std::string &record, const std::string &weather_file);

// The run's list of failed sites at its end (nothing when none failed).
struct failed_site {
    long line_number;
    std::string name, reason;
};
void say_failed_sites(const std::vector<failed_site> &failed, size_t sites,
                      const std::string &list_name);
// The run stopped at a site that leaves no further site safe.
void say_stopped(const std::string &list_name, long line, const std::string &reason);
// An output covers only the sites the run reached.
void say_output_covers(const std::string &path, size_t reached);

// How a run ended, for the line on standard error and the outputs.
struct run_end {
    int status = 0;
    bool at_failure = false; // it ended at a failed site
    bool early = false;      // and sites were left
    long line = 0;           // where it ended, or its first failed site; 0: before any
    std::string site;        // that site's name as shown
    size_t failed = 0, sites = 0, reached = 0;
};
// Standard output may go to a log: a failed run says so on standard error
// too, unless both go to the same place.
void say_failure_on_stderr(const run_end &ended, const std::string &list_name);
// The outputs of a run that went well could not be written.
void say_outputs_not_written();

// How the run ended, and what the check found, as the outputs say it.
std::string run_status(const run_end &ended);
std::string check_status(int sites, int problems, int warnings);

// The check's last line: what it counted, and whether --strict counted the
// warnings as problems.
void say_check_counts(int sites, int problems, int warnings, bool strict_counts);

// Says that memory ran out and the run or check stopped; the exit status.
// Every site file is whole then: a rewrite restores its own.
int say_out_of_memory();

// The one place the program meets memory running out: runs body, and
// tells whether memory ran out in it (what it did is then unwound). The
// run and the check stop (say_out_of_memory); a worker thread leaves its
// job to the main thread, so that every thread count gives the same run.
template <typename Body> bool ran_out_of_memory(Body &&body) {
    try {
        body();
        return false;
    } catch (const std::bad_alloc &) {
        return true;
    }
}
