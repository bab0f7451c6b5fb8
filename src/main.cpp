// siteprep: prepares the input files of every site in a site list.
#include "siteprep.h"

#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <sys/stat.h>

static const char usage_line[] = "usage: siteprep SITE_LIST\n";

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
                "  --help     show this help and exit\n"
                "  --version  show the version and exit\n"
                "\n"
                "Exit status: 0 when every site was prepared, 1 after an error, 2 for a\n"
                "wrong command line.\n");
}

// Prints the reason line that follows an open failure.
static void say_reason(const std::string &file, int err) {
    std::printf("%s: %s\n", file.c_str(), std::strerror(err));
}

// Steps 2-3: "soils.in" from the site's texture.
static bool write_soil_file(site_line &site) {
    int flag = 0;
    newfp = efopen(soil_file_name, "w", &flag);
    if (flag) {
        int err = errno;
        std::printf("Error opening soils.in file for %s!\n", site.name.c_str());
        say_reason(soil_file_name, err);
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
    int flag = 0;
    oldfp = efopen(site_file.c_str(), "r", &flag);
    if (flag) {
        int err = errno;
        std::printf(site_msg, site.name.c_str());
        say_reason(site_file, err);
        return false;
    }
    // Exclusive: an existing copy may be the only intact one of an
    // interrupted run, and a link in its place is not followed.
    newfp = efopen(temp_file_name, "wx", &flag);
    if (flag) {
        int err = errno;
        std::printf(temp_msg, site.name.c_str());
        say_reason(temp_file_name, err);
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

// Steps 4-8: the site keys.
static bool update_site_keys(const site_line &site, const std::string &site_file) {
    if (!open_rewrite(site, site_file, "Error opening <%s>.sfp file!\n",
                      "Error opening temporary file for %s!\n"))
        return false;
    if (!copy_and_swap(site_file))
        return false;
    create_site(site.latitude, site.longitude, static_cast<float>(site.layer_code), site.elevation);
    return finish_rewrite(site_file);
}

// Steps 9-14: the weather block.
static bool update_weather(const site_line &site, const std::string &site_file) {
    std::string weather_file = site.name + ".wth";
    int flag = 0;
    FILE *wthfp = efopen(weather_file.c_str(), "r", &flag);
    if (flag) {
        int err = errno;
        std::printf("Error opening weather data file for %s site!\n", site.name.c_str());
        say_reason(weather_file, err);
        return false;
    }
    if (!open_rewrite(site, site_file, "Error opening <site>.sfp file for %s site!\n",
                      "Error opening temporary file for %s site!\n") ||
        !copy_and_swap(site_file)) {
        close_input(wthfp);
        return false;
    }
    daily_error bad;
    bool ok = weather(wthfp, bad);
    close_input(wthfp);
    if (!ok) {
        if (bad.line > 0)
            std::printf("Error in weather data file %s line %ld: %s\n", weather_file.c_str(),
                        bad.line, bad.reason.c_str());
        else
            std::printf("Error reading %s: %s\n", weather_file.c_str(), bad.reason.c_str());
        return restore_site_file(site_file);
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
    if (lstat(temp_file_name, &st) != 0 && errno == ENOENT)
        return false;
    std::printf("%s already exists in the working directory. It may hold the only intact "
                "copy of a site parameter file from an interrupted run: compare it with that "
                "site's .sfp file, keep the intact one, then remove or rename %s and run "
                "again.\n",
                temp_file_name, temp_file_name);
    return true;
}

// Runs every site of the list; the exit status.
static int run_sites(const char *list_path) {
    int flag = 0;
    FILE *list = efopen(list_path, "r", &flag);
    if (flag) {
        int err = errno;
        std::printf("Error opening data input file!\n");
        say_reason(list_path, err);
        return 1;
    }
    if (temp_copy_left_over()) {
        close_input(list);
        return 1;
    }
    line_reader reader(list);
    std::string_view line;
    long line_number = 0;
    while (next_line(reader, line)) {
        ++line_number;
        site_line site;
        std::string why;
        parse_status status = parse_site_line(line, site, why);
        if (status == parse_status::blank)
            continue;
        if (status == parse_status::bad) {
            std::printf("Error in site list %s line %ld: %s\n", list_path, line_number,
                        why.c_str());
            close_input(list);
            return 1;
        }
        if (!process_site(site)) {
            close_input(list);
            return 1;
        }
    }
    if (reader.error != 0) {
        std::printf("Error reading %s: %s\n", list_path, std::strerror(reader.error));
        close_input(list);
        return 1;
    }
    if (int err = close_input(list); err != 0) {
        std::printf("Error closing %s: %s\n", list_path, std::strerror(err));
        return 1;
    }
    return 0;
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
    if (argc != 2 || (argv[1][0] == '-' && argv[1][1] == '-')) {
        std::fputs(usage_line, stderr);
        return 2;
    }
    // Past a file-size limit a write then fails (and is reported, and the
    // site file restored) instead of the signal killing the run mid-rewrite.
    std::signal(SIGXFSZ, SIG_IGN);
    return finish_stdout(run_sites(argv[1]));
}
