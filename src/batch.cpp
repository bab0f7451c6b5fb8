// The run: every site of the list in order, stopping at the first failure.
#include "siteprep.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unistd.h>

namespace {

// An open failure: the message, then the file and the reason on a line of
// their own.
std::string open_failure(const std::string &text, const std::string &file, const std::string &why) {
    return text + "\n" + file + ": " + why;
}

void say(const std::string &text) {
    std::printf("%s\n", text.c_str());
}

// Writes "soils.in" from the site's texture.
bool write_soil_file(site_line &site) {
    int flag = 0;
    newfp = open_for_overwrite(soil_file_name, true, &flag);
    if (flag) {
        say(open_failure(format_message(soil_open_message, site.name.c_str()), soil_file_name,
                         std::strerror(errno)));
        return false;
    }
    create_soil(site.sand, site.silt, site.clay, site.bulk_density, site.pass_through,
                site.layer_code);
    int err = close_overwritten(newfp, false);
    newfp = nullptr;
    if (err != 0) {
        std::printf("Error writing %s for %s: %s\n", soil_file_name, site.name.c_str(),
                    std::strerror(err));
        return false;
    }
    return true;
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
        say(open_failure(format_message(temp_msg, site.name.c_str()), temp_file_name,
                         std::strerror(errno)));
    else if ((ok = copy_and_swap(rw))) {
        if (!pass()) {
            std::printf("Error rewriting %s: %s\n", rw.site_file.c_str(), std::strerror(ENOMEM));
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
            say(failure);
        return false;
    }
    return rewrite_site_file(site, target, keys_temp_open_message,
                             [&] { return replace_keys_and_block(site, read.ws); });
}

// One site; its daily file is read here, or was read ahead.
bool process_site(site_line &site, read_ahead *ahead, size_t index) {
    if (!write_soil_file(site))
        return false;
    rewrite target;
    target.site_file = site.name + ".sfp";
    std::string why;
    target.site_fd = open_regular(target.site_file, why, &target.write_errno);
    if (target.site_fd < 0) {
        say(open_failure(format_message(keys_site_open_message, site.name.c_str()),
                         target.site_file, why));
        return false;
    }
    // Held until the site is done; closing the file releases it.
    lock_site_file(target.site_fd, target.site_file);
    const bool ok =
        rewrite_site(site, target, ahead ? take_weather(*ahead, index) : read_weather(site));
    close(target.site_fd);
    return ok;
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

int run_batch(const char *list_path, int threads) {
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
    auto ahead =
        threads > 1 && sites.lines.size() > 1
            ? start_read_ahead(sites.lines, threads)
            : std::unique_ptr<read_ahead, void (*)(read_ahead *)>(nullptr, stop_read_ahead);
    for (size_t i = 0; i < sites.lines.size(); ++i) {
        listed_site &entry = sites.lines[i];
        if (!entry.problem.empty()) {
            say(entry.problem);
            return 1;
        }
        if (!process_site(entry.site, ahead.get(), i))
            return 1;
    }
    return 0;
}
