// The plan of downloads: the files not yet there whole, each a curl line
// that fetches to NAME.part and renames it into place on success.
#include "download_plan.h"

#include "file_paths.h"
#include "reporter.h"
#include "shown.h"

#include <map>
#include <sys/stat.h>

namespace import {

namespace {

// What is wrong with a download's file name (empty: nothing): it is saved
// in the plan's directory, so a plain name, no path.
std::string name_fault(const std::string &name) {
    if (name.empty() || name == "." || name == "..")
        return "an empty file name";
    if (name.find('/') != std::string::npos)
        return "the file name " + quote_token(name) + " is a path";
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "the file name " + quote_token(name) + " holds a control character";
    return {};
}

// The downloads, each name once; or the name given two URLs.
failure unique_downloads(const std::vector<download> &downloads, std::vector<download> &unique) {
    std::map<std::string, std::string> url_of;
    for (const download &d : downloads) {
        if (const std::string fault = name_fault(d.name); !fault.empty())
            return {"cannot plan " + shown_name(d.url) + ": " + fault};
        const auto [at, fresh] = url_of.try_emplace(d.name, d.url);
        if (fresh)
            unique.push_back(d);
        else if (at->second != d.url)
            return {shown_name(d.name) + " is planned from two URLs: " + shown_name(at->second) +
                    " and " + shown_name(d.url)};
    }
    return {};
}

// Whether the file is there whole; says why a file there is planned again.
bool there_whole(const std::string &name, const whole_check &check) {
    const os::result<struct stat> st = os::status_of(name);
    if (!st)
        return false; // not there (or not to be told): fetched
    if (!S_ISREG(st->st_mode)) {
        say_error(shown_name(name) + " is planned again: it is no regular file");
        return false;
    }
    const std::string why = check(name);
    if (why.empty())
        return true;
    say_error(shown_name(name) + " is planned again: " + why);
    return false;
}

void print_header(const download_service &s, size_t planned) {
    say_line("#!/bin/sh");
    say_line("# " + s.what);
    say_line("# " + counted(static_cast<long>(planned), "file") + " to fetch, " +
             (s.pause_seconds > 0 ? format_message("%d s apart", s.pause_seconds)
                                  : std::string("one after another")) +
             ": " + s.limit + " (" + s.source + ").");
    say_line("# Each is fetched to NAME.part and renamed into place only when whole;");
    say_line("# make the plan again for those that failed.");
    say_line(format_message("left=%zu", planned));
    say_line("fetch() {");
    say_line("  if curl -fsS --retry 3 -o \"$1.part\" \"$2\" && mv -f -- \"$1.part\" \"$1\"; then");
    say_line("    left=$((left - 1))");
    say_line("  else");
    say_line("    rm -f -- \"$1.part\"; echo \"failed: $1\" >&2");
    say_line("  fi");
    say_line("}");
}

void print_footer(size_t planned) {
    if (planned == 0) {
        say_line("echo 'nothing to fetch: every file is there whole' >&2");
        return;
    }
    const std::string files = counted(static_cast<long>(planned), "file");
    say_line("if [ \"$left\" -eq 0 ]; then");
    say_line("  echo 'all " + files + " fetched' >&2");
    say_line("else");
    say_line("  echo \"$left of " + files +
             " not fetched: make the plan again for them\" >&2; exit 1");
    say_line("fi");
}

} // namespace

failure print_download_plan(const download_service &service, const std::vector<download> &downloads,
                            const whole_check &check, plan_count &count) {
    count = {};
    std::vector<download> unique, left;
    if (failure f = unique_downloads(downloads, unique); f.failed())
        return f;
    for (const download &d : unique)
        if (there_whole(d.name, check))
            ++count.whole;
        else
            left.push_back(d);
    count.planned = left.size();
    print_header(service, left.size());
    for (size_t i = 0; i < left.size(); ++i) {
        if (i > 0 && service.pause_seconds > 0)
            say_line(format_message("sleep %d", service.pause_seconds));
        say_line("fetch " + shell_word(left[i].name) + " " + shell_word(left[i].url));
    }
    print_footer(left.size());
    say_error(format_message("%zu of %s left to fetch (%zu there whole)", count.planned,
                             counted(static_cast<long>(unique.size()), "file").c_str(),
                             count.whole));
    return {};
}

std::string service_url(const std::string &base, const std::string &default_base,
                        const std::string &path) {
    std::string at = base.empty() ? default_base : base;
    while (at.size() > 1 && at.back() == '/')
        at.pop_back();
    return at + path;
}

std::string shell_word(const std::string &text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace import
