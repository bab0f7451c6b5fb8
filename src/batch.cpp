// The run: every site of the list in order, stopping at the first failure
// or, with --keep-going, going on past it and listing the failures at the end.
#include "siteprep.h"

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
};

// Reads a site's daily file and computes its statistics, printing nothing.
site_weather read_weather(const site_line &site) {
    site_weather result;
    const std::string weather_file = site.name + ".wth";
    std::string why;
    FILE *wthfp = open_weather_file(weather_file, -1, why);
    if (wthfp == nullptr) {
        result.failure = format_message(weather_open_message, site.name.c_str()) + "\n" +
                         weather_file + ": " + why;
        return result;
    }
    result.has_id = id_of_fd(fileno(wthfp), result.id);
    daily_error bad;
    const bool ok = compute_weather(wthfp, result.ws, bad);
    close_input(wthfp);
    if (!ok)
        result.failure =
            bad.line > 0 ? format_message(weather_line_message, weather_file.c_str(), bad.line,
                                          bad.reason.c_str())
                         : format_message(read_message, weather_file.c_str(), bad.reason.c_str());
    return result;
}

// An open failure: the message, then the file and the reason on a line of
// their own.
std::string open_failure(const std::string &text, const std::string &file, const std::string &why) {
    return text + "\n" + file + ": " + why;
}

void say(const std::string &text) {
    std::printf("%s\n", text.c_str());
}

// How a site ended: done, failed, or failed so that no further site may run
// (its soils.in could not be written, or a copy had to be kept).
enum class site_end { done, failed, fatal };

// Writes "soils.in" from the site's texture; with rows, the rows are also
// kept there.
bool write_soil_file(site_line &site, std::string *rows) {
    char *text = nullptr;
    size_t size = 0;
    int flag = 0;
    FILE *soil = open_for_overwrite(soil_file_name, true, &flag);
    if (flag) {
        report(open_failure(format_message(soil_open_message, site.name.c_str()), soil_file_name,
                            std::strerror(errno)));
        return false;
    }
    newfp = rows != nullptr ? open_memstream(&text, &size) : soil;
    if (newfp == nullptr) {
        close_overwritten(soil, false);
        report(format_message("Error writing %s for %s: %s", soil_file_name, site.name.c_str(),
                              std::strerror(ENOMEM)));
        return false;
    }
    create_soil(site.sand, site.silt, site.clay, site.bulk_density, site.pass_through,
                site.layer_code);
    if (rows != nullptr) {
        const int kept = close_output(newfp, false);
        rows->assign(kept == 0 ? text : "", kept == 0 ? size : 0);
        std::free(text);
        put_text(soil, *rows);
    }
    int err = close_overwritten(soil, false);
    newfp = nullptr;
    if (err != 0) {
        report(format_message("Error writing %s for %s: %s", soil_file_name, site.name.c_str(),
                              std::strerror(err)));
        return false;
    }
    return true;
}

// Writes a site's own soil file, NAME.soils.in, through a temporary name,
// so that an interrupted run never leaves half of one.
bool write_site_soil_file(const site_line &site, const std::string &rows) {
    const std::string path = site.name + ".soils.in";
    const int err = write_through_temp(path, path + ".", rows, sync_rewrites);
    if (err != 0)
        report(format_message("Error writing %s: %s", path.c_str(), std::strerror(err)));
    return err == 0;
}

// While a site file is being rewritten, an interrupt, a hang-up or a closed
// output pipe waits until the file is whole again: the process then ends
// between two rewrites, never in the middle of one.
void defer_interrupts(bool defer) {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        sigaddset(&set, sig);
    if (!defer) {
        sigset_t pending;
        sigpending(&pending);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
            if (sigismember(&pending, sig))
                std::fflush(stdout); // the messages so far, before the signal ends the run
    }
    sigprocmask(defer ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// One rewrite of the open site file, with pass writing the new content
// from oldfp to newfp (false: it ran out of memory).
bool rewrite_site_file(const site_line &site, const rewrite &target, const char *temp_msg,
                       const std::function<bool()> &pass) {
    rewrite rw = target;
    defer_interrupts(true);
    bool ok = create_temp_copy(rw);
    if (!ok)
        report(open_failure(format_message(temp_msg, site.name.c_str()), temp_file_name,
                            std::strerror(errno)));
    else if ((ok = copy_and_swap(rw))) {
        if (!pass()) {
            report(format_message("Error rewriting %s: %s", rw.site_file.c_str(),
                                  std::strerror(ENOMEM)));
            restore_site_file(rw);
            ok = false;
        } else {
            ok = finish_rewrite(rw);
        }
    }
    defer_interrupts(false);
    return ok;
}

// The weather of a site as read, with a daily file that is the site file
// itself refused: read after the site file is emptied, it would read nothing.
std::string weather_failure(const site_line &site, int site_fd, const site_weather &weather) {
    file_id site_id;
    if (weather.has_id && id_of_fd(site_fd, site_id) && site_id == weather.id)
        return open_failure(format_message(weather_open_message, site.name.c_str()),
                            site.name + ".wth", "the same file as the site parameter file");
    return weather.failure;
}

void replace_site_keys(const site_line &site) {
    create_site(site.latitude, site.longitude, static_cast<float>(site.layer_code), site.elevation);
}

// The site keys, then the weather block over the keyed lines: what a
// rewrite for each would give, in one. The keyed lines are kept in memory.
bool replace_keys_and_block(const site_line &site, const weather_stats &ws) {
    FILE *site_out = newfp;
    char *keyed = nullptr;
    size_t size = 0;
    newfp = open_memstream(&keyed, &size);
    if (newfp == nullptr) {
        newfp = site_out;
        return false;
    }
    replace_site_keys(site);
    const bool kept = close_output(newfp, false) == 0;
    FILE *copy = oldfp;
    oldfp = kept ? fmemopen(keyed, size, "r") : nullptr;
    newfp = site_out;
    if (oldfp != nullptr) {
        say_skew_replacements(ws);
        weather(ws);
        std::fclose(oldfp);
    }
    oldfp = copy;
    std::free(keyed);
    return kept && oldfp != nullptr;
}

// The site keys and the weather block in one rewrite. A daily file that
// cannot be used was read before the site file is touched; the site file
// then gets its new site keys alone, and the failure is reported where the
// weather step would begin.
bool rewrite_site(const site_line &site, const rewrite &target, const site_weather &read) {
    const std::string failure = weather_failure(site, target.site_fd, read);
    if (!failure.empty()) {
        if (rewrite_site_file(site, target, keys_temp_open_message,
                              [&site] { return replace_site_keys(site), true; }))
            report(failure);
        return false;
    }
    return rewrite_site_file(site, target, keys_temp_open_message,
                             [&] { return replace_keys_and_block(site, read.ws); });
}

// One site. Its daily file was read ahead (weather_read), or is read here
// into weather.
site_end process_site(site_line &site, const run_options &options, site_weather &weather,
                      bool &weather_read) {
    std::string rows;
    if (!write_soil_file(site, options.keep_soils ? &rows : nullptr))
        return site_end::fatal;
    if (options.keep_soils && !write_site_soil_file(site, rows))
        return site_end::failed;
    rewrite target;
    target.site_file = site.name + ".sfp";
    std::string why;
    target.site_fd = open_regular(target.site_file, why, &target.write_errno);
    if (target.site_fd < 0) {
        report(open_failure(format_message(keys_site_open_message, site.name.c_str()),
                            target.site_file, why));
        return site_end::failed;
    }
    // Held until the site is done; closing the file releases it.
    lock_site_file(target.site_fd, target.site_file);
    if (!weather_read)
        weather = read_weather(site);
    weather_read = true;
    const bool ok = rewrite_site(site, target, weather);
    close(target.site_fd);
    if (ok)
        return site_end::done;
    // A copy kept because a restore failed holds the only intact content of
    // a site file: the next site must not start over it.
    return temp_copy_left_over() ? site_end::fatal : site_end::failed;
}

// A failed site as the list at the end of a run names it.
struct failed_site {
    long line_number;
    std::string name, reason;
};

void list_failures(const std::vector<failed_site> &failed, size_t sites, const char *list_path) {
    if (failed.empty())
        return;
    std::printf("Failed sites:\n");
    for (const failed_site &f : failed)
        std::printf("%s line %ld: %s: %s\n", list_path, f.line_number, f.name.c_str(),
                    f.reason.c_str());
    std::printf("%zu of %zu sites failed\n", failed.size(), sites);
}

// Why the run must not start; empty when it may.
std::string refusal(FILE *list, const site_list &sites) {
    if (temp_copy_left_over())
        return temp_left_over_message;
    if (!sites.read_problem.empty())
        return sites.read_problem;
    return soil_file_alias(sites, fileno(list));
}

} // namespace

namespace {

int run_sites(const char *list_path, const run_options &options) {
    FILE *list = open_site_list(list_path);
    if (list == nullptr)
        return 1;
    site_list sites = read_site_list(list, list_path);
    if (const std::string why = refusal(list, sites); !why.empty()) {
        say(why);
        close_input(list);
        return 1;
    }
    if (int err = close_input(list); err != 0) {
        std::printf("Error closing %s: %s\n", list_path, std::strerror(err));
        return 1;
    }
    // The daily files read ahead (with more than one thread).
    std::vector<site_weather> read(work_ahead_window(options.threads));
    work_ahead_ptr ahead(nullptr, nullptr);
    if (options.threads > 1 && sites.lines.size() > 1)
        ahead = start_work_ahead(sites.lines.size(), options.threads, [&](size_t i) {
            site_weather &weather = read[i % read.size()];
            // A bad line stops the run before its site.
            weather =
                sites.lines[i].problem.empty() ? read_weather(sites.lines[i].site) : site_weather();
        });
    auto progress = start_progress(options.progress, sites.lines.size());
    std::vector<failed_site> failed;
    batch_outputs *outputs = options.outputs;
    for (size_t i = 0; i < sites.lines.size(); ++i) {
        listed_site &entry = sites.lines[i];
        // Taken for every line, in order, even one that goes no further.
        site_weather weather;
        bool weather_read = ahead != nullptr;
        if (ahead) {
            take_job(*ahead, i);
            weather = std::move(read[i % read.size()]);
        }
        show_progress(progress.get(), i,
                      entry.problem.empty() ? entry.site.name
                                            : "line " + std::to_string(entry.line_number));
        hide_progress_for_output(progress.get());
        take_first_report();
        site_end end = site_end::failed;
        if (!entry.problem.empty())
            report(entry.problem);
        else
            end = process_site(entry.site, options, weather, weather_read);
        const std::string reason = take_first_report();
        if (outputs != nullptr)
            outputs->add_site(entry.problem.empty() ? entry.site.name
                                                    : "line " + std::to_string(entry.line_number),
                              weather_read && weather.failure.empty() ? &weather.ws : nullptr,
                              end == site_end::done ? 0 : 1, 0,
                              reason.empty() ? std::vector<std::string>() : std::vector{reason});
        if (end == site_end::done)
            continue;
        if (!options.keep_going)
            return 1;
        if (end == site_end::fatal) {
            hide_progress(progress.get());
            list_failures(failed, sites.lines.size(), list_path);
            std::printf("Stopped at %s line %ld: %s; no further site can run safely.\n", list_path,
                        entry.line_number, reason.c_str());
            return 1;
        }
        failed.push_back({entry.line_number,
                          entry.problem.empty() ? entry.site.name : std::string("-"), reason});
    }
    hide_progress(progress.get());
    list_failures(failed, sites.lines.size(), list_path);
    return failed.empty() ? 0 : 1;
}

} // namespace

int run_batch(const char *list_path, const run_options &options) {
    const int status = run_sites(list_path, options);
    batch_outputs *outputs = options.outputs;
    if (outputs == nullptr)
        return status;
    const size_t done = outputs->sites.size();
    outputs->status = status == 0 ? "The run prepared all " + std::to_string(done) + " sites."
                                  : "The run ended with errors; this report covers the " +
                                        std::to_string(done) + " sites it reached.";
    if (status != 0)
        for (const std::string &path : {outputs->summary_path, outputs->report_path})
            if (!path.empty())
                std::printf("%s covers the %zu sites the run reached before it ended.\n",
                            path.c_str(), done);
    return write_outputs(*outputs) ? status : 1;
}
