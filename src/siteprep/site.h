// One site of a batch: its files opened as both the run and the check open
// them (the site file with the write probe and, for a run, its lock; the
// daily file, which must not be the site file), its daily file read, and
// the run's steps that prepare it.
#pragma once

#include "completeness.h"
#include "fd.h"
#include "file_paths.h"
#include "fixed_files.h"
#include "neighbours.h"
#include "rewrite.h"
#include "site_line.h"
#include "wthr.h"

#include <string>

// How a site's daily file is made into statistics besides the defaults:
// the rule and the period; whether they were named (the summary then
// names them and gives the sample skewness); whether each month's days are
// kept (--monthly, the report's strip) and its days filled read from the
// fill's record; whether the default statistics are computed too (the
// check's comparison); whether the fill's record is read and tied to its
// daily file (the check, --monthly).
struct weather_options {
    statistics_choice choice;
    bool named = false;
    bool months = false;
    bool records = false;
    bool compare = false;
    bool overview = false; // the page's overview: the days filled of each site
    float normals_min = 0; // the check's --normals-min; 0: none
    bool listens() const { return !choice.is_default() || months; }

    // The check's --neighbours; k 0: none.
    neighbour_settings neighbours;
};

// The weather of a site as read from its daily file: the statistics, or the
// message of the failure; and which file it was.
struct site_weather {
    weather_stats ws;
    // With weather_options: the default statistics (compare), the sample
    // skewness of the precipitation totals (named), and the months.
    weather_stats legacy;
    bool has_legacy = false, has_skew = false;
    sample_skew skew[months];
    std::vector<month_summary> month_list;
    int years = 0; // year rows read (0: none, or the file could not be used)
    // The spread of the annual precipitation totals the statistics are
    // made of (annual_cv); the days of the year rows read and, with the
    // fill's record (records), those filled (-1: unknown).
    double annual_cv = NAN;
    long days = 0, days_filled = -1;
    // The tables read, the reading thread's own: good on that thread until
    // it reads the next daily file.
    const monthly_tables *tables = nullptr;
    failure why; // the daily file could not be used, or a choice leaves a month without a year
    os::file_id id;
    bool has_id = false;
    bool same_file = false; // not read: it is the site file
    // The fill's record beside it, when it is not this daily file's (its
    // days then not counted as filled); empty otherwise.
    std::string stale_record;
    // A worker ran out of descriptors or memory: the main thread reads it
    // again, so that every thread count gives the same run.
    bool left_to_main = false;
};

// Reads a site's daily file and computes its statistics, printing nothing;
// on a worker thread, what it cannot do for want of descriptors is left
// to the main thread. With how, the reading is done that way (a check's:
// every bad line, the audit listening). With site_id, a daily file that is
// the site file is refused unread (same_file), as same_file_failure says.
// With wopts, the statistics are made as they say.
site_weather read_weather(const site_paths &paths, const std::string &site_name, bool on_worker,
                          const daily_options *how = nullptr, const os::file_id *site_id = nullptr,
                          const weather_options *wopts = nullptr);

// A site file opened as the run and the check open it: for reading, and
// for writing where it may be written (else write_errno says why not);
// closed with it.
struct site_file {
    std::string path;
    os::fd file;
    int write_errno = 0;
    unsigned mode = 0; // its permission bits
    os::file_id id;
};

// Opens a site's site file, and with lock takes its lock for the run (the
// check takes none); the failure, and whether it was for want of
// descriptors (descriptors_ran_out).
failure open_site_file(const site_line &site, const site_paths &paths, bool lock, site_file &opened,
                       bool *descriptors_ran_out = nullptr);

// Why a site's daily file cannot be used when it is its site file itself:
// read after the site file is emptied, it would read nothing. None when it
// is another file.
failure same_file_failure(const site_line &site, const site_paths &paths,
                          const os::file_id &site_id, const site_weather &weather);

struct site_template;

// What a run and a check do beyond the usual steps: a missing site file
// made from a template (--template), the texture keys set (--texture-keys).
struct site_extras {
    std::string template_path; // empty: none
    bool texture_keys = false;
};

// What a run does: the batch's fixed files, --sync and --keep-soils; a
// missing site file made from the template (--template, nullptr: none);
// the texture keys set too (--texture-keys).
struct site_steps {
    const fixed_files *fixed = nullptr;
    const weather_options *weather = nullptr; // nullptr: the defaults
    bool sync = false;
    bool keep_soils = false;
    const site_template *from_template = nullptr;
    bool texture_keys = false;
};

// How a site ended: done, failed, or failed so that no further site may run
// (its soils.in could not be written, or a copy had to be kept).
enum class site_end { done, failed, fatal };

// How a site ended, why when it failed, and whether it got as far as its
// weather.
struct site_result {
    site_end end = site_end::done;
    failure why;
    bool used = false;
};

// Prepares one site: its site file made from the template when it is not
// there, soils.in (and its own soil file), then its site file rewritten
// with its site keys (and texture keys) and weather block. Its daily file was read
// ahead (have_weather), or is read here into weather.
site_result prepare_site(const site_line &site, const site_steps &steps, site_weather &weather,
                         bool have_weather);
