// The check: every problem a run of the batch would meet, in one pass,
// writing nothing.
#include "siteprep.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct check_tally {
    int sites = 0;
    int problems = 0;
    int warnings = 0;
};

void warning(check_tally &tally, const char *list_path, long line_number, const char *text) {
    std::printf("Warning: %s line %ld: %s\n", list_path, line_number, text);
    ++tally.warnings;
}

void problem(check_tally &tally, const std::string &text) {
    std::printf("%s\n", text.c_str());
    ++tally.problems;
}

// Whether a run could write soils.in here: an existing writable regular
// file, or none in a writable directory.
void check_soil_file(check_tally &tally) {
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

// The temporary copy is created in the working directory.
void check_work_dir(check_tally &tally) {
    if (access(".", W_OK | X_OK) != 0)
        problem(tally, std::string(temp_file_name) + " cannot be created in the working " +
                           "directory: " + std::strerror(errno));
}

// The number of the first line of an open file longer than max_line, or 0.
long first_long_line(int fd, size_t max_line) {
    FILE *fp = fdopen(dup(fd), "r");
    if (fp == nullptr)
        return 0;
    line_reader reader(fp, max_line);
    std::string_view line;
    long count = 0;
    while (next_line(reader, line))
        ++count;
    std::fclose(fp);
    return reader.too_long ? count + 1 : 0;
}

// The site file: a readable regular file that the run can write, with
// lines of a length the run accepts. Its descriptor, or -1.
int check_site_file(check_tally &tally, const site_line &site) {
    const std::string site_file = site.name + ".sfp";
    std::string why;
    const int fd = open_regular(site_file, why);
    if (fd < 0) {
        problem(tally, format_message(keys_site_open_message, site.name.c_str()) + " " + site_file +
                           ": " + why);
        return -1;
    }
    if (faccessat(AT_FDCWD, site_file.c_str(), W_OK, AT_EACCESS) != 0)
        problem(tally, "Error opening for writing " + site_file + ": " + std::strerror(errno));
    if (const long line = first_long_line(fd, max_text_line); line > 0)
        problem(tally, format_message(site_file_line_message, site_file.c_str(), line,
                                      too_long_reason(max_text_line).c_str()));
    return fd;
}

void check_weather_file(check_tally &tally, const site_line &site, int site_fd) {
    static month_table prec, tmin, tmax;
    int years = 0;
    const std::string weather_file = site.name + ".wth";
    std::string why;
    FILE *wthfp = open_weather_file(weather_file, site_fd, why);
    if (wthfp == nullptr) {
        problem(tally, format_message(weather_open_message, site.name.c_str()) + " " +
                           weather_file + ": " + why);
        tally.warnings += audit_site(site, site_fd, nullptr, 0, prec, tmin, tmax);
        return;
    }
    daily_error err;
    daily_problems bad;
    years = read_daily_weather(wthfp, prec, tmin, tmax, err, &bad) + 1;
    for (const daily_error &line : bad.first)
        std::printf(
            "%s\n",
            line.line > 0
                ? format_message(weather_line_message, weather_file.c_str(), line.line,
                                 line.reason.c_str())
                      .c_str()
                : format_message(read_message, weather_file.c_str(), line.reason.c_str()).c_str());
    if (bad.count > daily_problems::kept)
        std::printf("%s: %d more problems not listed\n", weather_file.c_str(),
                    bad.count - daily_problems::kept);
    tally.problems += bad.count;
    // The audit reads the file once more, after the problems are listed.
    if (years > 0 && std::fseek(wthfp, 0, SEEK_SET) == 0)
        tally.warnings += audit_site(site, site_fd, wthfp, years, prec, tmin, tmax);
    close_input(wthfp);
}

// Sites that a batch names twice: by the same name, or by two names of one
// file. A run rewrites such a site twice, which may not be meant.
struct seen_sites {
    std::map<std::string, long> names;
    std::map<std::pair<unsigned long long, unsigned long long>, std::pair<long, std::string>> files;
};

void check_repeats(check_tally &tally, seen_sites &seen, const char *list_path,
                   const listed_site &entry, int site_fd) {
    const site_line &site = entry.site;
    if (auto [it, fresh] = seen.names.emplace(site.name, entry.line_number); !fresh) {
        std::printf("Warning: %s line %ld: %s is listed again (first on line %ld)\n", list_path,
                    entry.line_number, site.name.c_str(), it->second);
        ++tally.warnings;
        return;
    }
    file_id id;
    if (site_fd < 0 || !id_of_fd(site_fd, id))
        return;
    auto [it, fresh] = seen.files.emplace(std::make_pair(id.dev, id.ino),
                                          std::make_pair(entry.line_number, site.name + ".sfp"));
    if (!fresh) {
        std::printf("Warning: %s line %ld: %s.sfp is the same file as %s (line %ld)\n", list_path,
                    entry.line_number, site.name.c_str(), it->second.second.c_str(),
                    it->second.first);
        ++tally.warnings;
    }
}

void check_site(check_tally &tally, seen_sites &seen, const char *list_path,
                const listed_site &entry) {
    const site_line &site = entry.site;
    if (soil_row_count(site.layer_code) == 14 && site.layer_code != 9)
        warning(tally, list_path, entry.line_number,
                "Invalid number of soil layers in <SITE>.sfp file! Using default value of 9 "
                "layers.");
    tally.warnings += audit_site_line(site, list_path, entry.line_number);
    const int site_fd = check_site_file(tally, site);
    check_repeats(tally, seen, list_path, entry, site_fd);
    check_weather_file(tally, site, site_fd);
    if (site_fd >= 0)
        close(site_fd);
}

} // namespace

int check_batch(const char *list_path, bool strict) {
    check_tally tally;
    FILE *list = open_site_list(list_path);
    if (list == nullptr) {
        ++tally.problems;
    } else {
        if (temp_copy_left_over())
            problem(tally, temp_left_over_message);
        const site_list sites = read_site_list(list, list_path);
        if (const std::string alias = soil_file_alias(sites, fileno(list)); !alias.empty())
            problem(tally, alias);
        check_soil_file(tally);
        check_work_dir(tally);
        seen_sites seen;
        for (const listed_site &entry : sites.lines) {
            ++tally.sites;
            if (!entry.problem.empty())
                problem(tally, entry.problem);
            else
                check_site(tally, seen, list_path, entry);
        }
        if (!sites.read_problem.empty())
            problem(tally, sites.read_problem);
        close_input(list);
    }
    std::printf("%d sites checked, %d problems, %d warnings\n", tally.sites, tally.problems,
                tally.warnings);
    return tally.problems == 0 && (!strict || tally.warnings == 0) ? 0 : 1;
}
