// siteprep: prepares the input files of every site in a site list.
#include "siteprep.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

static const char usage_line[] = "usage: siteprep [--check] SITE_LIST\n";

static void print_help() {
    std::printf("%s", usage_line);
    std::printf("\n"
                "For every site of SITE_LIST, in order: writes the soil layer file soils.in\n"
                "from the site's texture, sets SITLAT, SITLNG, NLAYER, NLAYPG and ELEV in\n"
                "the site's parameter file SITE.sfp, and replaces lines 3 to 62 of that file\n"
                "with monthly climate statistics from the daily weather file SITE.wth.\n"
                "SITE.sfp is rewritten in place through the temporary copy XXXX.sfp.\n"
                "\n"
                "Site list lines: name latitude longitude sand silt clay bulk-density\n"
                "pass-through layer-code elevation, separated by white space.\n"
                "\n"
                "Options:\n"
                "  --check    check every site's files and report every problem, writing\n"
                "             nothing; status 0 when there is none\n"
                "  --help     show this help and exit\n"
                "  --version  show the version and exit\n"
                "\n"
                "Exit status: 0 when every site was prepared, 1 after an error, 2 for a\n"
                "wrong command line.\n");
}

// Messages shared by the run and the check, which say the same things.
static const char list_open_message[] = "Error opening data input file!";
static const char site_line_message[] = "Error in site list %s line %ld: %s";
static const char soil_open_message[] = "Error opening soils.in file for %s!";
static const char keys_site_open_message[] = "Error opening <%s>.sfp file!";
static const char keys_temp_open_message[] = "Error opening temporary file for %s!";
static const char weather_open_message[] = "Error opening weather data file for %s site!";
static const char weather_site_open_message[] = "Error opening <site>.sfp file for %s site!";
static const char weather_temp_open_message[] = "Error opening temporary file for %s site!";
static const char weather_line_message[] = "Error in weather data file %s line %ld: %s";
static const char read_message[] = "Error reading %s: %s";

// A message format filled in, as a string.
static std::string message(const char *format, ...) __attribute__((format(printf, 1, 2)));
static std::string message(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

// An open failure: the message, then the file and the reason on a line of
// their own.
static void say_open_failure(const std::string &text, const std::string &file,
                             const std::string &why) {
    std::printf("%s\n%s: %s\n", text.c_str(), file.c_str(), why.c_str());
}

// Writes "soils.in" from the site's texture.
static bool write_soil_file(site_line &site) {
    int flag = 0;
    newfp = efopen(soil_file_name, "w", &flag);
    if (flag) {
        say_open_failure(message(soil_open_message, site.name.c_str()), soil_file_name,
                         std::strerror(errno));
        return false;
    }
    create_soil(site.sand, site.silt, site.clay, site.bulk_density, site.pass_through,
                site.layer_code);
    int err = close_output(newfp);
    newfp = nullptr;
    if (err != 0) {
        std::printf("Error writing %s for %s: %s\n", soil_file_name, site.name.c_str(),
                    std::strerror(err));
        return false;
    }
    return true;
}

// Opens the site file and the temporary copy as oldfp and newfp. The two
// message formats differ between the keyword and the weather cycle.
static bool open_rewrite(const site_line &site, const std::string &site_file, const char *site_msg,
                         const char *temp_msg) {
    std::string why;
    oldfp = open_site_file(site_file, why);
    if (oldfp == nullptr) {
        say_open_failure(message(site_msg, site.name.c_str()), site_file, why);
        return false;
    }
    // Exclusive: an existing copy may be the only intact one of an
    // interrupted run, and a link in its place is not followed.
    int flag = 0;
    newfp = efopen(temp_file_name, "wx", &flag);
    if (flag) {
        say_open_failure(message(temp_msg, site.name.c_str()), temp_file_name,
                         std::strerror(errno));
        close_input(oldfp);
        oldfp = nullptr;
        return false;
    }
    return true;
}

// While a site file is being rewritten, an interrupt, a hang-up or a closed
// output pipe waits until the file is whole again: the process then ends
// between two rewrites, never in the middle of one.
static void defer_interrupts(bool defer) {
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

// First rewrite of the site file: the site keys.
static bool update_site_keys(const site_line &site, const std::string &site_file) {
    if (!open_rewrite(site, site_file, keys_site_open_message, keys_temp_open_message))
        return false;
    if (!copy_and_swap(site_file))
        return false;
    create_site(site.latitude, site.longitude, static_cast<float>(site.layer_code), site.elevation);
    return finish_rewrite(site_file);
}

static std::string weather_problem(const std::string &weather_file, const daily_error &bad) {
    return bad.line > 0
               ? message(weather_line_message, weather_file.c_str(), bad.line, bad.reason.c_str())
               : message(read_message, weather_file.c_str(), bad.reason.c_str());
}

// Second rewrite of the site file: the weather block from the daily file.
static bool update_weather(const site_line &site, const std::string &site_file) {
    std::string weather_file = site.name + ".wth";
    int flag = 0;
    FILE *wthfp = efopen(weather_file.c_str(), "r", &flag);
    if (flag) {
        say_open_failure(message(weather_open_message, site.name.c_str()), weather_file,
                         std::strerror(errno));
        return false;
    }
    if (!open_rewrite(site, site_file, weather_site_open_message, weather_temp_open_message) ||
        !copy_and_swap(site_file)) {
        close_input(wthfp);
        return false;
    }
    daily_error bad;
    bool ok = weather(wthfp, bad);
    close_input(wthfp);
    if (!ok) {
        std::printf("%s\n", weather_problem(weather_file, bad).c_str());
        restore_site_file(site_file);
        return false;
    }
    return finish_rewrite(site_file);
}

static bool process_site(site_line &site) {
    std::string site_file = site.name + ".sfp";
    if (!write_soil_file(site))
        return false;
    defer_interrupts(true);
    bool ok = update_site_keys(site, site_file);
    defer_interrupts(false);
    if (!ok)
        return false;
    defer_interrupts(true);
    ok = update_weather(site, site_file);
    defer_interrupts(false);
    return ok;
}

// A copy left by an interrupted run may hold the only intact content of a
// site file: never start over it.
static bool temp_copy_left_over() {
    struct stat st;
    return !(lstat(temp_file_name, &st) != 0 && errno == ENOENT);
}

static const char temp_left_over_message[] =
    "XXXX.sfp already exists in the working directory. It may hold the only intact copy of a "
    "site parameter file from an interrupted run: compare it with that site's .sfp file, keep "
    "the intact one, then remove or rename XXXX.sfp and run again.";

// Each site rewrites soils.in: it must not be the site list itself.
static bool list_is_soil_file(FILE *list) {
    struct stat list_st, soil_st;
    return fstat(fileno(list), &list_st) == 0 && stat(soil_file_name, &soil_st) == 0 &&
           list_st.st_dev == soil_st.st_dev && list_st.st_ino == soil_st.st_ino;
}

static const char list_is_soil_file_message[] =
    "The site list is soils.in, which every site rewrites: rename the site list.";

// Opens the site list and checks the working directory; false (after the
// message) when the run cannot start.
static FILE *open_site_list(const char *list_path) {
    int flag = 0;
    FILE *list = efopen(list_path, "r", &flag);
    if (flag) {
        say_open_failure(list_open_message, list_path, std::strerror(errno));
        return nullptr;
    }
    return list;
}

// Hands every non-blank line of the site list to visit: its number, the site
// and, for a line the parser rejects, the message saying why (else empty).
// Stops when visit returns false. Returns the message of a read error, or
// an empty string.
static std::string
walk_site_list(FILE *list, const char *list_path,
               const std::function<bool(long, site_line &, const std::string &)> &visit) {
    line_reader reader(list);
    std::string_view line;
    long line_number = 0;
    while (next_line(reader, line)) {
        ++line_number;
        site_line site;
        std::string why;
        const parse_status status = parse_site_line(line, site, why);
        if (status == parse_status::blank)
            continue;
        const std::string bad = status == parse_status::bad ? message(site_line_message, list_path,
                                                                      line_number, why.c_str())
                                                            : std::string();
        if (!visit(line_number, site, bad))
            return std::string();
    }
    return reader.error == 0 ? std::string()
                             : message(read_message, list_path, std::strerror(reader.error));
}

// Runs every site of the list; the exit status.
static int run_sites(const char *list_path) {
    FILE *list = open_site_list(list_path);
    if (list == nullptr)
        return 1;
    const char *refusal = temp_copy_left_over()     ? temp_left_over_message
                          : list_is_soil_file(list) ? list_is_soil_file_message
                                                    : nullptr;
    if (refusal != nullptr) {
        std::printf("%s\n", refusal);
        close_input(list);
        return 1;
    }
    bool failed = false;
    const std::string read_problem =
        walk_site_list(list, list_path, [&failed](long, site_line &site, const std::string &bad) {
            if (!bad.empty())
                std::printf("%s\n", bad.c_str());
            failed = !bad.empty() || !process_site(site);
            return !failed;
        });
    if (!read_problem.empty()) {
        std::printf("%s\n", read_problem.c_str());
        failed = true;
    }
    if (failed) {
        close_input(list);
        return 1;
    }
    if (int err = close_input(list); err != 0) {
        std::printf("Error closing %s: %s\n", list_path, std::strerror(err));
        return 1;
    }
    return 0;
}

// ---- the check: every problem of a batch, writing nothing ----

struct check_tally {
    int sites = 0;
    int problems = 0;
};

static void problem(check_tally &tally, const std::string &text) {
    std::printf("%s\n", text.c_str());
    ++tally.problems;
}

// Whether a run could write soils.in here: an existing writable regular
// file, or none in a writable directory.
static void check_soil_file(check_tally &tally) {
    struct stat st;
    std::string why;
    if (stat(soil_file_name, &st) == 0) {
        if (S_ISDIR(st.st_mode))
            why = std::strerror(EISDIR);
        else if (!S_ISREG(st.st_mode))
            why = "not a regular file";
        else if (access(soil_file_name, W_OK) != 0)
            why = std::strerror(errno);
    } else if (errno != ENOENT || access(".", W_OK | X_OK) != 0) {
        why = std::strerror(errno);
    }
    if (!why.empty())
        problem(tally, std::string(soil_file_name) + " cannot be written: " + why);
}

static void check_weather_file(check_tally &tally, const site_line &site) {
    const std::string weather_file = site.name + ".wth";
    int flag = 0;
    FILE *wthfp = efopen(weather_file.c_str(), "r", &flag);
    if (flag) {
        problem(tally, message(weather_open_message, site.name.c_str()) + " " + weather_file +
                           ": " + std::strerror(errno));
        return;
    }
    static month_table prec, tmin, tmax;
    daily_error err;
    daily_problems bad;
    read_daily_weather(wthfp, prec, tmin, tmax, err, &bad);
    close_input(wthfp);
    for (const daily_error &line : bad.first)
        std::printf("%s\n", weather_problem(weather_file, line).c_str());
    if (bad.count > daily_problems::kept)
        std::printf("%s: %d more problems not listed\n", weather_file.c_str(),
                    bad.count - daily_problems::kept);
    tally.problems += bad.count;
}

static void check_site(check_tally &tally, const site_line &site, const char *list_path,
                       long line_number) {
    if (soil_row_count(site.layer_code) == 14 && site.layer_code != 9)
        std::printf("Warning: %s line %ld: %s\n", list_path, line_number,
                    "Invalid number of soil layers in <SITE>.sfp file! Using default value of "
                    "9 layers.");
    const std::string site_file = site.name + ".sfp";
    std::string why;
    if (FILE *fp = open_site_file(site_file, why); fp != nullptr)
        close_input(fp);
    else
        problem(tally,
                message(keys_site_open_message, site.name.c_str()) + " " + site_file + ": " + why);
    check_weather_file(tally, site);
}

static int check_sites(const char *list_path) {
    check_tally tally;
    FILE *list = open_site_list(list_path);
    if (list == nullptr) {
        ++tally.problems;
    } else {
        if (temp_copy_left_over())
            problem(tally, temp_left_over_message);
        if (list_is_soil_file(list))
            problem(tally, list_is_soil_file_message);
        check_soil_file(tally);
        const std::string read_problem = walk_site_list(
            list, list_path, [&](long line_number, site_line &site, const std::string &bad) {
                ++tally.sites;
                if (!bad.empty())
                    problem(tally, bad);
                else
                    check_site(tally, site, list_path, line_number);
                return true;
            });
        if (!read_problem.empty())
            problem(tally, read_problem);
        close_input(list);
    }
    std::printf("%d sites checked, %d problems\n", tally.sites, tally.problems);
    return tally.problems == 0 ? 0 : 1;
}

// Messages are the run's record: a lost one is an error too.
static int finish_stdout(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "siteprep: error writing standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        print_help();
        return finish_stdout(0);
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("siteprep %s\n", SITEPREP_VERSION);
        return finish_stdout(0);
    }
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0)
        return finish_stdout(check_sites(argv[2]));
    if (argc != 2 || (argv[1][0] == '-' && argv[1][1] == '-')) {
        std::fputs(usage_line, stderr);
        return 2;
    }
    // Past a file-size limit a write then fails (and is reported, and the
    // site file restored) instead of the signal killing the run mid-rewrite.
    std::signal(SIGXFSZ, SIG_IGN);
    return finish_stdout(run_sites(argv[1]));
}
