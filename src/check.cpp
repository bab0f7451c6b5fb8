// The check: every problem a run of the batch would meet, in one pass,
// writing nothing.
#include "check.h"
#include "audit.h"
#include "create_soil.h"
#include "guard.h"
#include "outputs.h"
#include "site_list.h"
#include "work_ahead.h"
#include "wthr.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct check_tally {
    int sites = 0;
    int problems = 0;
    int warnings = 0;
    FILE *out = stdout; // where its reports go
};

void warning(check_tally &tally, const char *list_path, long line_number, const char *text) {
    std::fprintf(tally.out, "Warning: %s line %ld: %s\n", list_path, line_number, text);
    ++tally.warnings;
}

void problem(check_tally &tally, const std::string &text) {
    std::fprintf(tally.out, "%s\n", text.c_str());
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

// Set on a thread whose open failed for want of descriptors: its site is
// checked again on the main thread, so that every thread count says the
// same.
thread_local bool descriptors_ran_out = false;

void note_exhausted(int err) {
    if (err == EMFILE || err == ENFILE)
        descriptors_ran_out = true;
}

// The site file: a readable regular file that the run can write, with
// lines of a length the run accepts. Its descriptor, or -1.
int check_site_file(check_tally &tally, const site_line &site) {
    const std::string site_file = site.name + ".sfp";
    const std::string shown = shown_name(site_file);
    std::string why;
    // Opened as the run opens it, so that what refuses its writing (an
    // append-only or read-only file) is found here too.
    int write_errno = 0;
    const int fd = open_regular(site_file, why, &write_errno);
    if (fd < 0) {
        note_exhausted(errno);
        problem(tally, format_message(keys_site_open_message, shown_name(site.name).c_str()) + " " +
                           shown + ": " + why);
        return -1;
    }
    if (write_errno != 0)
        problem(tally, "Error opening for writing " + shown + ": " + std::strerror(write_errno));
    if (const long line = first_long_line(fd, max_text_line); line > 0)
        problem(tally, format_message(site_file_line_message, shown.c_str(), line,
                                      too_long_reason(max_text_line).c_str()));
    return fd;
}

// The statistics go to stats when the daily file is free of problems.
void check_weather_file(check_tally &tally, const site_line &site, int site_fd,
                        weather_stats &stats, bool &has_stats) {
    static thread_local month_table prec, tmin, tmax;
    int years = 0;
    const std::string weather_file = site.name + ".wth";
    std::string why;
    FILE *wthfp = open_weather_file(weather_file, site_fd, why);
    if (wthfp == nullptr) {
        note_exhausted(errno);
        problem(tally, format_message(weather_open_message, shown_name(site.name).c_str()) + " " +
                           shown_name(weather_file) + ": " + why);
        tally.warnings += audit_site(tally.out, site, site_fd, nullptr, 0, prec, tmin, tmax);
        return;
    }
    daily_error err;
    daily_problems bad;
    auto audit = start_daily_audit();
    years = read_daily_weather(wthfp, prec, tmin, tmax, err, &bad, audit.get()) + 1;
    close_input(wthfp);
    for (const daily_error &line : bad.first)
        std::fprintf(tally.out, "%s\n",
                     line.line > 0
                         ? format_message(weather_line_message, shown_name(weather_file).c_str(),
                                          line.line, line.reason.c_str())
                               .c_str()
                         : format_message(read_message, shown_name(weather_file).c_str(),
                                          line.reason.c_str())
                               .c_str());
    if (bad.count > daily_problems::kept)
        std::fprintf(tally.out, "%s: %s not listed\n", shown_name(weather_file).c_str(),
                     counted(bad.count - daily_problems::kept, "more problem").c_str());
    tally.problems += bad.count;
    has_stats = bad.count == 0 && years > 0;
    if (has_stats)
        compute_stats(stats, years, prec, tmin, tmax);
    // The audit's warnings come after the problems of the file.
    tally.warnings += audit_site(tally.out, site, site_fd, years > 0 ? audit.get() : nullptr, years,
                                 prec, tmin, tmax);
}

// Sites that a batch names twice: by the same name, or by two names of one
// file. A run rewrites such a site twice, which may not be meant.
struct seen_sites {
    std::map<std::string, long> names;
    std::map<std::pair<unsigned long long, unsigned long long>, std::pair<long, std::string>> files;
};

void check_repeats(check_tally &tally, seen_sites &seen, const char *list_path,
                   const listed_site &entry, const file_id *id) {
    const site_line &site = entry.site;
    if (auto [it, fresh] = seen.names.emplace(site.name, entry.line_number); !fresh) {
        std::fprintf(tally.out, "Warning: %s line %ld: %s is listed again (first on line %ld)\n",
                     list_path, entry.line_number, shown_name(site.name).c_str(), it->second);
        ++tally.warnings;
        return;
    }
    if (id == nullptr)
        return;
    auto [it, fresh] = seen.files.emplace(std::make_pair(id->dev, id->ino),
                                          std::make_pair(entry.line_number, site.name + ".sfp"));
    if (!fresh) {
        std::fprintf(tally.out, "Warning: %s line %ld: %s.sfp is the same file as %s (line %ld)\n",
                     list_path, entry.line_number, shown_name(site.name).c_str(),
                     shown_name(it->second.second).c_str(), it->second.first);
        ++tally.warnings;
    }
}

// What the check says of one site: before and after the warnings of a site
// named twice, which need the sites before it; and which file its site
// file is.
struct site_report {
    std::string before, after;
    int problems = 0, warnings = 0;
    bool has_stats = false;
    weather_stats stats;
    bool has_id = false;
    file_id id;
};

// Checks one site, writing its reports to memory: sites can be checked on
// several threads and reported in order.
site_report check_site(const char *list_path, const listed_site &entry) {
    site_report report;
    char *text = nullptr;
    size_t size = 0;
    check_tally tally;
    tally.out = open_memstream(&text, &size);
    if (tally.out == nullptr)
        throw std::bad_alloc();
    const site_line &site = entry.site;
    if (soil_row_count(site.layer_code) == 14 && site.layer_code != 9)
        warning(tally, list_path, entry.line_number,
                "Invalid number of soil layers in <SITE>.sfp file! Using default value of 9 "
                "layers.");
    tally.warnings += audit_site_line(tally.out, site, list_path, entry.line_number);
    const int site_fd = check_site_file(tally, site);
    std::fflush(tally.out);
    const size_t before = size;
    report.has_id = site_fd >= 0 && id_of_fd(site_fd, report.id);
    check_weather_file(tally, site, site_fd, report.stats, report.has_stats);
    if (site_fd >= 0)
        close(site_fd);
    if (std::fclose(tally.out) != 0)
        throw std::bad_alloc();
    report.before.assign(text, before);
    report.after.assign(text + before, size - before);
    std::free(text);
    report.problems = tally.problems;
    report.warnings = tally.warnings;
    return report;
}

// Checks the sites of the list, a few ahead on that many threads, and
// reports each in order.
// The lines of a text.
std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The report of a site checked on a worker thread; one that ran out of
// descriptors or memory there is left to the main thread.
struct checked {
    site_report report;
    bool left_to_main = false;
};

void check_ahead(const char *list_path, const listed_site &entry, checked &into) {
    into = checked();
    descriptors_ran_out = false;
    try {
        into.report = check_site(list_path, entry);
        into.left_to_main = descriptors_ran_out;
    } catch (const std::bad_alloc &) {
        into.left_to_main = true;
    }
}

void add_outcome(batch_outputs *outputs, const std::string &name, const site_report *report,
                 int problems, int warnings, const std::vector<std::string> &findings) {
    if (outputs == nullptr)
        return;
    site_outcome outcome;
    outcome.name = &name;
    outcome.stats = report != nullptr && report->has_stats ? &report->stats : nullptr;
    if (report == nullptr)
        outcome.no_stats = "the site-list line could not be used";
    outcome.problems = problems;
    outcome.warnings = warnings;
    outcome.findings = &findings;
    add_site(*outputs, outcome);
}

void check_sites(check_tally &tally, const char *list_path, const site_list &sites, int threads,
                 batch_outputs *outputs) {
    seen_sites seen;
    // At most two descriptors a site.
    threads = threads_for_descriptors(threads, 3, 4);
    std::vector<checked> reports(work_ahead_window(threads));
    work_ahead_ptr ahead = start_work_ahead(sites.lines.size(), threads, [&](size_t i) {
        if (sites.lines[i].problem.empty())
            check_ahead(list_path, sites.lines[i], reports[i % reports.size()]);
    });
    for (size_t i = 0; i < sites.lines.size(); ++i) {
        const listed_site &entry = sites.lines[i];
        take_job(*ahead, i);
        ++tally.sites;
        if (!entry.problem.empty()) {
            problem(tally, entry.problem);
            add_outcome(outputs, "line " + std::to_string(entry.line_number), nullptr, 1, 0,
                        {entry.problem});
            continue;
        }
        checked &done = reports[i % reports.size()];
        const site_report report =
            done.left_to_main ? check_site(list_path, entry) : std::move(done.report);
        std::fputs(report.before.c_str(), tally.out);
        check_tally repeats;
        char *text = nullptr;
        size_t size = 0;
        repeats.out = open_memstream(&text, &size);
        if (repeats.out == nullptr)
            throw std::bad_alloc();
        check_repeats(repeats, seen, list_path, entry, report.has_id ? &report.id : nullptr);
        std::fclose(repeats.out);
        const std::string repeated(text, size);
        std::free(text);
        std::fputs(repeated.c_str(), tally.out);
        std::fputs(report.after.c_str(), tally.out);
        tally.problems += report.problems;
        tally.warnings += report.warnings + repeats.warnings;
        add_outcome(outputs, entry.site.name, &report, report.problems,
                    report.warnings + repeats.warnings,
                    lines_of(report.before + repeated + report.after));
    }
}

// What would stop the run before its first site, or lose a file: a copy
// left over, a file the batch both writes and reads, an unwritable
// soils.in or working directory. False when the outputs must not be
// written.
bool check_batch_files(check_tally &tally, FILE *list, const char *list_path,
                       const site_list &sites, bool keep_soils, batch_outputs *outputs) {
    if (temp_copy_left_over())
        problem(tally, temp_left_over_message);
    batch_writes writes;
    writes.site_soil_files = keep_soils;
    if (outputs != nullptr) {
        writes.summary_path = outputs->summary_path;
        writes.report_path = outputs->report_path;
    }
    const std::vector<std::string> collisions = guard_batch(sites, fileno(list), list_path, writes);
    for (const std::string &c : collisions)
        problem(tally, c);
    check_soil_file(tally);
    check_work_dir(tally);
    if (!collisions.empty() || outputs == nullptr)
        return false;
    const int before = tally.problems;
    if (!open_outputs(*outputs))
        ++tally.problems; // the message is out
    return tally.problems == before;
}

} // namespace

int check_batch(const char *list_path, bool strict, bool keep_soils, int threads,
                batch_outputs *outputs) {
    check_tally tally;
    bool write = false;
    FILE *list = open_site_list(list_path);
    if (list == nullptr) {
        ++tally.problems;
    } else {
        const std::string list_name = shown_name(list_path);
        const site_list sites = read_site_list(list, list_path);
        write = check_batch_files(tally, list, list_path, sites, keep_soils, outputs);
        check_sites(tally, list_name.c_str(), sites, threads, write ? outputs : nullptr);
        if (!sites.read_problem.empty())
            problem(tally, sites.read_problem);
        close_input(list);
    }
    std::fprintf(tally.out, "%s checked, %s, %s\n", counted(tally.sites, "site").c_str(),
                 counted(tally.problems, "problem").c_str(),
                 counted(tally.warnings, "warning").c_str());
    const int status = tally.problems == 0 && (!strict || tally.warnings == 0) ? 0 : 1;
    if (!write)
        return status;
    outputs->status = "The check found " + counted(tally.problems, "problem") + " and " +
                      counted(tally.warnings, "warning") + " in " + counted(tally.sites, "site") +
                      "; it wrote no site file.";
    return write_outputs(*outputs) ? status : 1;
}
