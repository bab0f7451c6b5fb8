// The run: every site of the list in order, stopping at the first failure.
#include "siteprep.h"

#include <cerrno>
#include <csignal>
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
    newfp = efopen(soil_file_name, "w", &flag);
    if (flag) {
        say(open_failure(format_message(soil_open_message, site.name.c_str()), soil_file_name,
                         std::strerror(errno)));
        return false;
    }
    create_soil(site.sand, site.silt, site.clay, site.bulk_density, site.pass_through,
                site.layer_code);
    int err = close_output(newfp, false);
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

// One rewrite of the site file open as site_fd, with pass writing the new
// content from oldfp to newfp.
bool rewrite_site_file(const site_line &site, int site_fd, const char *temp_msg,
                       const std::function<void()> &pass) {
    rewrite rw;
    rw.site_file = site.name + ".sfp";
    rw.site_fd = site_fd;
    defer_interrupts(true);
    bool ok = create_temp_copy(rw);
    if (!ok)
        say(open_failure(format_message(temp_msg, site.name.c_str()), temp_file_name,
                         std::strerror(errno)));
    else if ((ok = copy_and_swap(rw))) {
        pass();
        ok = finish_rewrite(rw);
    }
    defer_interrupts(false);
    return ok;
}

std::string weather_problem(const std::string &weather_file, const daily_error &bad) {
    return bad.line > 0 ? format_message(weather_line_message, weather_file.c_str(), bad.line,
                                         bad.reason.c_str())
                        : format_message(read_message, weather_file.c_str(), bad.reason.c_str());
}

// Reads the daily weather file and computes the statistics, before the site
// file is touched; the message of a failure, or an empty string.
std::string read_site_weather(const site_line &site, int site_fd, weather_stats &ws) {
    const std::string weather_file = site.name + ".wth";
    std::string why;
    FILE *wthfp = open_weather_file(weather_file, site_fd, why);
    if (wthfp == nullptr)
        return open_failure(format_message(weather_open_message, site.name.c_str()), weather_file,
                            why);
    daily_error bad;
    const bool ok = compute_weather(wthfp, ws, bad);
    close_input(wthfp);
    return ok ? std::string() : weather_problem(weather_file, bad);
}

// The site keys, then the weather block. A daily file that cannot be used
// is read before the site file is touched, and reported where the weather
// step would begin: the site file then keeps its new site keys.
bool rewrite_site(const site_line &site, int site_fd) {
    static weather_stats ws;
    const std::string weather_failure = read_site_weather(site, site_fd, ws);
    if (!rewrite_site_file(site, site_fd, keys_temp_open_message, [&site] {
            create_site(site.latitude, site.longitude, static_cast<float>(site.layer_code),
                        site.elevation);
        }))
        return false;
    if (!weather_failure.empty()) {
        say(weather_failure);
        return false;
    }
    return rewrite_site_file(site, site_fd, weather_temp_open_message, [] {
        say_skew_replacements(ws);
        weather(ws);
    });
}

bool process_site(site_line &site) {
    if (!write_soil_file(site))
        return false;
    const std::string site_file = site.name + ".sfp";
    std::string why;
    const int site_fd = open_regular(site_file, why);
    if (site_fd < 0) {
        say(open_failure(format_message(keys_site_open_message, site.name.c_str()), site_file,
                         why));
        return false;
    }
    // Held until both rewrites are done; closing the file releases it.
    lock_site_file(site_fd, site_file);
    const bool ok = rewrite_site(site, site_fd);
    close(site_fd);
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

int run_batch(const char *list_path) {
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
    for (listed_site &entry : sites.lines) {
        if (!entry.problem.empty()) {
            say(entry.problem);
            return 1;
        }
        if (!process_site(entry.site))
            return 1;
    }
    return 0;
}
