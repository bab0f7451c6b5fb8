// The run: every site of the list in order, stopping at the first failure
// or, with --keep-going, going on past it and listing the failures at the end.
#include "batch.h"
#include "create_site.h"
#include "create_soil.h"
#include "failed_list.h"
#include "fd.h"
#include "file_paths.h"
#include "fixed_files.h"
#include "guard_batch.h"
#include "open.h"
#include "outputs/outputs.h"
#include "progress.h"
#include "report.h"
#include "rewrite.h"
#include "shown.h"
#include "site_list.h"
#include "work_ahead.h"
#include "write_whole.h"
#include "wthr.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The weather of a site as read from its daily file: the statistics, or the
// message of the failure; and which file it was.
struct site_weather {
    weather_stats ws;
    std::string failure;
    file_id id;
    bool has_id = false;
    // A worker ran out of descriptors or memory: the main thread reads it
    // again, so that every thread count gives the same run.
    bool left_to_main = false;
};

// Reads a site's daily file and computes its statistics, printing nothing.
site_weather read_weather(const site_line &site, bool on_worker) {
    site_weather result;
    const std::string weather_file = site.name + ".wth";
    std::string why;
    const int wthfd = open_weather_fd(weather_file, why, result.id);
    if (wthfd < 0) {
        result.left_to_main = on_worker && (errno == EMFILE || errno == ENFILE);
        result.failure = format_message(weather_open_message, shown_name(site.name).c_str()) +
                         "\n" + shown_name(weather_file) + ": " + why;
        return result;
    }
    result.has_id = true;
    daily_error bad;
    const bool ok = compute_weather(wthfd, result.ws, bad);
    close(wthfd);
    if (!ok)
        result.failure =
            bad.line > 0 ? format_message(weather_line_message, shown_name(weather_file).c_str(),
                                          bad.line, bad.reason.c_str())
                         : format_message(read_message, shown_name(weather_file).c_str(),
                                          bad.reason.c_str());
    return result;
}

// The same on a worker thread, which leaves what it cannot do to the main
// thread.
site_weather read_weather_ahead(const site_line &site) {
    try {
        return read_weather(site, true);
    } catch (const std::bad_alloc &) {
        site_weather left;
        left.left_to_main = true;
        return left;
    }
}

// An open failure: the message, then the file and the reason on a line of
// their own.
failure open_failure(const std::string &text, const std::string &file, const std::string &why) {
    failure f;
    f.message = text + "\n" + shown_name(file) + ": " + why;
    return f;
}

failure failed_with(const std::string &message) {
    failure f;
    f.message = message;
    return f;
}

void say(const std::string &text) {
    std::printf("%s\n", text.c_str());
}

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

site_result site_ended(site_end end, failure why) {
    site_result r;
    r.end = end;
    r.why = std::move(why);
    return r;
}

// Writes a site's own soil file, NAME.soils.in, through a temporary name,
// so that an interrupted run never leaves half of one.
failure write_site_soil_file(const site_line &site, const std::string &rows) {
    const std::string path = site_soil_file(site.name);
    const int err = write_through_temp(path, path + ".", rows, sync_rewrites);
    if (err == 0)
        return failure();
    return failed_with(
        format_message("Error writing %s: %s", shown_name(path).c_str(), std::strerror(err)));
}

// The weather of a site as read, with a daily file that is the site file
// itself refused: read after the site file is emptied, it would read nothing.
std::string weather_failure(const site_line &site, const file_id &site_id,
                            const site_weather &weather) {
    if (weather.has_id && site_id == weather.id)
        return open_failure(format_message(weather_open_message, shown_name(site.name).c_str()),
                            site.name + ".wth", "the same file as the site parameter file")
            .message;
    return weather.failure;
}

// The site keys, then the weather block over the keyed lines, in one
// rewrite. A daily file that cannot be used was read before the site file
// is touched; the site file then gets its new site keys alone, and the
// failure is the weather's.
failure rewrite_site(const site_line &site, const rewrite &target, const file_id &site_id,
                     const site_weather &read) {
    const rewrite_pass keys = [&site] {
        create_site(site.latitude, site.longitude, static_cast<float>(site.layer_code),
                    site.elevation);
        return true;
    };
    const std::string weather_failed = weather_failure(site, site_id, read);
    if (!weather_failed.empty()) {
        failure f = rewrite_site_file(target, site.name, {keys});
        return f.failed() ? f : failed_with(weather_failed);
    }
    const rewrite_pass block = [&read] {
        say_skew_replacements(read.ws);
        weather(read.ws);
        return true;
    };
    return rewrite_site_file(target, site.name, {keys, block});
}

// The site file, opened for its rewrite and locked until it is closed, and
// which file it is.
failure open_site_file(const site_line &site, rewrite &target, file_id &site_id) {
    target.site_file = site.name + ".sfp";
    std::string why;
    struct stat st;
    target.site_fd = open_regular(target.site_file, why, &target.write_errno, &st);
    if (target.site_fd < 0)
        return open_failure(format_message(keys_site_open_message, shown_name(site.name).c_str()),
                            target.site_file, why);
    target.site_mode = static_cast<unsigned>(st.st_mode);
    site_id = id_of_status(st);
    lock_site_file(target.site_fd, target.site_file);
    return failure();
}

// One site. Its daily file was read ahead (have_weather), or is read here
// into weather.
site_result process_site(site_line &site, const run_options &options, site_weather &weather,
                         bool have_weather) {
    std::string rows;
    const rewrite_pass soil = [&site] {
        create_soil(site.sand, site.silt, site.clay, site.bulk_density, site.pass_through,
                    site.layer_code);
        return true;
    };
    if (failure f =
            write_over(soil_file_name, site.name, soil, options.keep_soils ? &rows : nullptr);
        f.failed())
        return site_ended(site_end::fatal, std::move(f));
    if (options.keep_soils)
        if (failure f = write_site_soil_file(site, rows); f.failed())
            return site_ended(site_end::failed, std::move(f));
    rewrite target;
    file_id site_id;
    if (failure f = open_site_file(site, target, site_id); f.failed())
        return site_ended(site_end::failed, std::move(f));
    if (!have_weather)
        weather = read_weather(site, false);
    failure f = rewrite_site(site, target, site_id, weather);
    close(target.site_fd);
    // A copy kept because a restore failed holds the only intact content of
    // a site file: the next site must not start over it.
    const bool fatal = f.stops_batch || (f.failed() && temp_copy_left_over());
    const site_end end = !f.failed() ? site_end::done : fatal ? site_end::fatal : site_end::failed;
    site_result r = site_ended(end, std::move(f));
    r.used = true;
    return r;
}

// Prints a failure where it happened, once; the reason a list of failed
// sites gives, on one line.
std::string say_failure(const failure &f) {
    say(f.message);
    if (!f.after.empty())
        say(f.after);
    std::string reason = f.message;
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    return reason;
}

// A failed site as the list at the end of a run names it.
struct failed_site {
    long line_number;
    std::string name, reason;
};

void list_failures(const std::vector<failed_site> &failed, size_t sites,
                   const std::string &list_name) {
    if (failed.empty())
        return;
    std::printf("Failed sites:\n");
    for (const failed_site &f : failed)
        std::printf("%s line %ld: %s: %s\n", list_name.c_str(), f.line_number, f.name.c_str(),
                    f.reason.c_str());
    std::printf("%zu of %zu sites failed\n", failed.size(), sites);
}

// Why the run must not start: each reason, none when it may; and whether
// the --failed file may be written all the same.
std::vector<std::string> refusals(FILE *list, const site_list &sites, const char *list_path,
                                  const run_options &options, bool &failed_list_clear) {
    batch_writes writes;
    writes.site_soil_files = options.keep_soils;
    writes.failed_path = options.failed_path;
    if (options.outputs != nullptr) {
        writes.summary_path = options.outputs->summary_path;
        writes.report_path = options.outputs->report_path;
    }
    guard_findings found;
    std::vector<std::string> collisions =
        guard_batch(sites, fileno(list), list_path, writes, &found);
    // A list not read whole cannot say which sites a --failed file must name.
    failed_list_clear = found.failed_list_clear && sites.read_problem.empty();
    if (std::string left = temp_copy_refusal(found.temp_copy_is_read); !left.empty())
        return {left};
    if (!sites.read_problem.empty())
        return {sites.read_problem};
    return collisions;
}

// A kept soil file goes with a prepared site only: one written for a site
// that then failed, or left from an earlier run, is removed.
void remove_kept_soil_file(const site_line &site) {
    const std::string path = link_target(site_soil_file(site.name));
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        unlink(path.c_str());
}

// How a run ended, for the line on standard error and the outputs.
struct run_end {
    int status = 0;
    bool at_failure = false; // it ended at a failed site
    bool early = false;      // and sites were left
    long line = 0;           // where it ended, or its first failed site; 0: before any
    std::string site;        // that site's name as shown
    size_t failed = 0, sites = 0, reached = 0;
};

// What the outputs show of the site just done.
void add_outcome(batch_outputs *outputs, const listed_site &entry, const site_weather &weather,
                 bool used, site_end end, const std::string &reason) {
    if (outputs == nullptr)
        return;
    const std::string name =
        entry.problem.empty() ? entry.site.name : "line " + std::to_string(entry.line_number);
    const std::vector<std::string> findings =
        reason.empty() ? std::vector<std::string>() : std::vector{reason};
    site_outcome outcome;
    outcome.name = &name;
    outcome.line = entry.line_number;
    outcome.stats = used && weather.failure.empty() ? &weather.ws : nullptr;
    if (!entry.problem.empty())
        outcome.no_stats = "the site-list line could not be used";
    else if (!used)
        outcome.no_stats = "the site failed before its daily weather file was read";
    outcome.problems = end == site_end::done ? 0 : 1;
    outcome.findings = &findings;
    add_site(*outputs, outcome);
}

} // namespace

namespace {

// Notes a failed site in how the run ends; true when the run stops here.
bool note_failure(run_end &ended, const listed_site &entry, const std::string &shown, site_end end,
                  const run_options &options, bool last) {
    ended.status = 1;
    ++ended.failed;
    const bool stops = !options.keep_going || end == site_end::fatal;
    if (ended.line == 0 || stops) {
        ended.line = entry.line_number;
        ended.site = entry.problem.empty() ? shown : std::string();
    }
    if (stops) {
        ended.at_failure = true;
        ended.early = !last;
    }
    return stops;
}

// The daily files of the sites ahead, read on other threads into read.
work_ahead_ptr read_ahead(const site_list &sites, int threads, std::vector<site_weather> &read) {
    if (threads <= 1 || sites.lines.size() <= 1)
        return work_ahead_ptr(nullptr, nullptr);
    return start_work_ahead(sites.lines.size(), threads, [&sites, &read](size_t i) {
        // A bad line stops the run before its site.
        read[i % read.size()] = sites.lines[i].problem.empty()
                                    ? read_weather_ahead(sites.lines[i].site)
                                    : site_weather();
    });
}

// The --failed file and the kept soil file learn how a site ended.
void note_site_end(const run_options &options, const listed_site &entry, size_t i, site_end end) {
    if (end != site_end::done && options.keep_soils && entry.problem.empty())
        remove_kept_soil_file(entry.site);
    if (options.failed_path.empty())
        return;
    if (end != site_end::done)
        note_failed_site(i);
    note_sites_reached(i + 1);
}

// The sites of the list in order, a few daily files read ahead.
void run_sites(const site_list &sites, const std::string &list_name, const run_options &options,
               run_end &ended) {
    // One descriptor a worker; the main thread keeps what it needs.
    const int threads = threads_for_descriptors(options.threads, 1, 4);
    std::vector<site_weather> read(work_ahead_window(threads));
    work_ahead_ptr ahead = read_ahead(sites, threads, read);
    auto progress = start_progress(options.progress, sites.lines.size());
    std::vector<failed_site> failed;
    ended.sites = sites.lines.size();
    for (size_t i = 0; i < sites.lines.size(); ++i) {
        const listed_site &entry = sites.lines[i];
        site_line site = entry.site;
        const std::string shown = shown_name(site.name);
        // Taken for every line, in order, even one that goes no further.
        site_weather weather;
        bool have_weather = false;
        if (ahead) {
            take_job(*ahead, i);
            weather = std::move(read[i % read.size()]);
            have_weather = !weather.left_to_main;
        }
        show_progress(progress.get(), i,
                      entry.problem.empty() ? shown : "line " + std::to_string(entry.line_number));
        hide_progress_for_output(progress.get());
        const site_result result = entry.problem.empty()
                                       ? process_site(site, options, weather, have_weather)
                                       : site_ended(site_end::failed, failed_with(entry.problem));
        const std::string reason =
            result.end == site_end::done ? std::string() : say_failure(result.why);
        ended.reached = i + 1;
        add_outcome(options.outputs, entry, weather, result.used, result.end, reason);
        note_site_end(options, entry, i, result.end);
        if (result.end == site_end::done)
            continue;
        const bool last = i + 1 == sites.lines.size();
        if (note_failure(ended, entry, shown, result.end, options, last)) {
            if (!options.keep_going)
                return;
            hide_progress(progress.get());
            list_failures(failed, sites.lines.size(), list_name);
            std::printf("Stopped at %s line %ld: %s; no further site can run safely.\n",
                        list_name.c_str(), entry.line_number, reason.c_str());
            return;
        }
        failed.push_back(
            {entry.line_number, entry.problem.empty() ? shown : std::string("-"), reason});
    }
    finish_progress(progress.get(), sites.lines.size());
    list_failures(failed, sites.lines.size(), list_name);
}

// Reads the list whole and refuses a batch that would lose a file; false
// (after the message) when the run must not start.
bool read_batch(const char *list_path, const run_options &options, site_list &sites) {
    FILE *list = open_site_list(list_path);
    if (list == nullptr)
        return false;
    sites = read_site_list(list, list_path, !options.failed_path.empty());
    keep_part(sites, options.part);
    bool failed_list_clear = false;
    if (const std::vector<std::string> why =
            refusals(list, sites, list_path, options, failed_list_clear);
        !why.empty()) {
        for (const std::string &text : why)
            say(text);
        close_input(list);
        // Not one site of the run was prepared.
        if (!options.failed_path.empty() && failed_list_clear)
            list_every_site(options.failed_path, sites);
        return false;
    }
    if (int err = close_input(list); err != 0) {
        std::printf("Error closing %s: %s\n", shown_name(list_path).c_str(), std::strerror(err));
        if (!options.failed_path.empty())
            list_every_site(options.failed_path, sites);
        return false;
    }
    // Written first, so that its directory is known to take it before the
    // first site, and so that it names every site until one is done.
    if (!options.failed_path.empty() && !begin_failed_list(options.failed_path, sites))
        return false;
    if (options.outputs == nullptr || open_outputs(*options.outputs))
        return true;
    if (!options.failed_path.empty())
        end_failed_list();
    return false;
}

// How the outputs say the run ended.
std::string outputs_status(const run_end &ended) {
    if (ended.status == 0)
        return "The run prepared all " + counted(static_cast<long>(ended.reached), "site") + ".";
    if (!ended.early)
        return "The run went through all " + counted(static_cast<long>(ended.sites), "site") +
               "; " + std::to_string(ended.failed) + " of them failed.";
    return "The run ended with errors; this report covers the " +
           counted(static_cast<long>(ended.reached), "site") + " it reached.";
}

// Standard output may go to a log: a failed run says so on standard error
// too, unless both go to the same place.
void say_failure_on_stderr(const run_end &ended, const std::string &list_name) {
    struct stat out, err;
    if (fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 &&
        out.st_dev == err.st_dev && out.st_ino == err.st_ino)
        return;
    const std::string where =
        ended.line == 0 ? std::string()
                        : list_name + " line " + std::to_string(ended.line) +
                              (ended.site.empty() ? std::string() : " (" + ended.site + ")");
    if (ended.line == 0)
        std::fprintf(stderr, "siteprep: the run failed before its first site; the message is "
                             "on standard output\n");
    else if (!ended.at_failure)
        std::fprintf(stderr,
                     "siteprep: %zu of %zu sites failed, the first at %s; the list is on "
                     "standard output\n",
                     ended.failed, ended.sites, where.c_str());
    else
        std::fprintf(stderr,
                     "siteprep: the run failed at %s; the messages are on standard "
                     "output\n",
                     where.c_str());
}

} // namespace

namespace {

int run_all(const char *list_path, const run_options &options) {
    run_end ended;
    const std::string list_name = shown_name(list_path);
    site_list sites;
    if (!read_batch(list_path, options, sites)) {
        ended.status = 1;
        say_failure_on_stderr(ended, list_name);
        return 1;
    }
    run_sites(sites, list_name, options, ended);
    if (!options.failed_path.empty() && !end_failed_list() && ended.status == 0)
        ended.status = 1;
    batch_outputs *outputs = options.outputs;
    if (outputs != nullptr) {
        outputs->status = outputs_status(ended);
        if (ended.early)
            for (const std::string &path : {outputs->summary_path, outputs->report_path})
                if (!path.empty())
                    std::printf("%s covers the %s the run reached before it ended.\n",
                                shown_name(path).c_str(),
                                counted(static_cast<long>(ended.reached), "site").c_str());
        if (!write_outputs(*outputs) && ended.status == 0) {
            ended.status = 1;
            std::fprintf(stderr, "siteprep: the run's outputs could not be written; the "
                                 "message is on standard output\n");
            return 1;
        }
    }
    if (ended.status != 0)
        say_failure_on_stderr(ended, list_name);
    return ended.status;
}

} // namespace

int run_batch(const char *list_path, const run_options &options) {
    try {
        return run_all(list_path, options);
    } catch (const std::bad_alloc &) {
        return say_out_of_memory();
    }
}
