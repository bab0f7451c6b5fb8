// The messages of the run and the check, through the one printer.
#include "report.h"
#include "lines.h"
#include "printer.h"
#include "shown.h"
#include "site_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

std::string step_failed(const char *what, const std::string &file, int err) {
    return format_message(step_failed_message, what, shown_name(file).c_str(), std::strerror(err));
}

std::string long_site_line(const std::string &file, long line) {
    return format_message(site_file_line_message, shown_name(file).c_str(), line,
                          os::too_long_reason(os::max_text_line).c_str());
}

void say(const std::string &text) {
    os::print_line(text);
}

void say_lines(const std::string &lines) {
    if (!lines.empty())
        os::print_text(lines);
}

void say_now(const std::string &text) {
    say(text);
    os::print_now();
}

std::string say_failure(const failure &f) {
    say(f.message);
    if (!f.after.empty())
        say(f.after);
    return one_line(f.message);
}

std::string one_line(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

failure not_written(const std::string &path, int err) {
    failure f;
    f.message = format_message(write_message, shown_name(path).c_str(), std::strerror(err));
    return f;
}

void say_if_failed(const failure &f) {
    if (f.failed())
        say_failure(f);
}

void say_failed_sites(const std::vector<failed_site> &failed, size_t sites,
                      const std::string &list_name) {
    if (failed.empty())
        return;
    os::print_text("Failed sites:\n");
    for (const failed_site &f : failed)
        os::print_format("%s line %ld: %s: %s\n", list_name.c_str(), f.line_number, f.name.c_str(),
                         f.reason.c_str());
    os::print_format("%zu of %zu sites failed\n", failed.size(), sites);
}

void say_stopped(const std::string &list_name, long line, const std::string &reason) {
    os::print_format("Stopped at %s line %ld: %s; no further site can run safely.\n",
                     list_name.c_str(), line, reason.c_str());
}

void say_output_covers(const std::string &path, size_t reached) {
    os::print_format("%s covers the %s the run reached before it ended.\n",
                     shown_name(path).c_str(), counted(static_cast<long>(reached), "site").c_str());
}

std::string stale_record_note(const std::string &record, const std::string &weather_file) {
    return format_message(stale_record_message, shown_name(record).c_str(),
                          shown_name(weather_file).c_str(), stale_record_why);
}

void say_stale_record(const std::string &record, const std::string &weather_file) {
    os::print_error("siteprep", stale_record_note(record, weather_file));
}

void say_failure_on_stderr(const run_end &ended, const std::string &list_name) {
    if (os::same_output_and_error())
        return;
    const std::string where =
        ended.line == 0 ? std::string()
                        : list_name + " line " + std::to_string(ended.line) +
                              (ended.site.empty() ? std::string() : " (" + ended.site + ")");
    if (ended.line == 0)
        os::print_error("siteprep",
                        "the run failed before its first site; the message is on standard output");
    else if (!ended.at_failure)
        os::print_error("siteprep", std::to_string(ended.failed) + " of " +
                                        std::to_string(ended.sites) +
                                        " sites failed, the first at " + where +
                                        "; the list is on standard output");
    else
        os::print_error("siteprep",
                        "the run failed at " + where + "; the messages are on standard output");
}

void say_outputs_not_written() {
    os::print_error("siteprep",
                    "the run's outputs could not be written; the message is on standard output");
}

std::string run_status(const run_end &ended) {
    if (ended.status == 0)
        return "The run prepared all " + counted(static_cast<long>(ended.reached), "site") + ".";
    if (!ended.early)
        return "The run went through all " + counted(static_cast<long>(ended.sites), "site") +
               "; " + std::to_string(ended.failed) + " of them failed.";
    return "The run ended with errors; this report covers the " +
           counted(static_cast<long>(ended.reached), "site") + " it reached.";
}

std::string check_status(int sites, int problems, int warnings) {
    return "The check found " + counted(problems, "problem") + " and " +
           counted(warnings, "warning") + " in " + counted(sites, "site") +
           "; it wrote no site file.";
}

void say_check_counts(int sites, int problems, int warnings, bool strict_counts) {
    os::print_format("%s checked, %s, %s%s\n", counted(sites, "site").c_str(),
                     counted(problems, "problem").c_str(), counted(warnings, "warning").c_str(),
                     strict_counts ? ", counted as problems by --strict" : "");
}

int say_out_of_memory() {
    os::print_format("Error: %s; siteprep stopped.\n", std::strerror(ENOMEM));
    os::print_error("siteprep", "out of memory; it stopped");
    return 1;
}
