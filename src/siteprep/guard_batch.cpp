// The batch's guard: every file a run or a check would write, checked
// against every file the batch reads or rewrites and against the other
// outputs, by device and inode through links, before the first write.
#include "guard_batch.h"
#include "file_paths.h"
#include "fixed_files.h"
#include "guard.h"
#include "shown.h"

#include <algorithm>
#include <cstdint>
#include <sys/stat.h>

namespace {

// What a file is to the batch.
enum class role : uint8_t {
    site_list,      // read
    site_file,      // rewritten
    weather_file,   // read
    site_soil_file, // written, one a site
    soil_file,      // written
    temp_copy,      // written
    summary,        // written
    report,         // written
    failed_list     // written
};

bool is_written(role r) {
    return r >= role::site_soil_file;
}

bool is_read(role r) {
    return r == role::site_list || r == role::weather_file;
}

// One file of the batch: its role, and for a site's files the index of its
// line in the list.
struct entry {
    role what;
    uint32_t site;
};

struct batch_files {
    const char *list_path;
    const batch_writes &writes;
    const fixed_files &fixed;
    std::vector<const listed_site *> lines; // every line of the list, the part's and the others'
    size_t part_first = 0, part_end = 0;    // the part's lines among them
    std::vector<entry> entries;
    std::vector<std::pair<file_key, uint32_t>> keyed; // key, index into entries
};

// Whether a file is the run's own concern: an output of the run, the site
// list, or a file of a line in its part.
bool ours(const batch_files &files, const entry &e) {
    switch (e.what) {
    case role::site_file:
    case role::weather_file:
    case role::site_soil_file:
        return e.site >= files.part_first && e.site < files.part_end;
    default:
        return true;
    }
}

void add(batch_files &files, role what, uint32_t site, const std::string &path) {
    file_key key;
    if (!(is_written(what) ? output_key(path, key) : existing_key(path, key)))
        return; // an input that is not there fails on its own
    files.keyed.emplace_back(std::move(key), static_cast<uint32_t>(files.entries.size()));
    files.entries.push_back({what, site});
}

// The name of a site's line; only a site's files have one (a list may
// have no line at all).
const std::string &name_of(const batch_files &files, const entry &e) {
    return files.lines[e.site]->site.name;
}

std::string path_of(const batch_files &files, const entry &e) {
    switch (e.what) {
    case role::site_list:
        return files.list_path;
    case role::site_file:
        return paths_of(name_of(files, e)).site_file;
    case role::weather_file:
        return paths_of(name_of(files, e)).weather_file;
    case role::site_soil_file:
        return paths_of(name_of(files, e)).soil_file;
    case role::soil_file:
        return files.fixed.soil;
    case role::temp_copy:
        return files.fixed.temp;
    case role::summary:
        return files.writes.summary_path;
    case role::report:
        return files.writes.report_path;
    case role::failed_list:
        return files.writes.failed_path;
    }
    return std::string();
}

std::string role_of(const batch_files &files, const entry &e) {
    const auto line = [&] {
        return shown_name(files.list_path) + " line " +
               std::to_string(files.lines[e.site]->line_number);
    };
    switch (e.what) {
    case role::site_list:
        return "the site list";
    case role::site_file:
        return "the site parameter file of " + line();
    case role::weather_file:
        return "the daily weather file of " + line();
    case role::site_soil_file:
        return "the --keep-soils file of " + line();
    case role::soil_file:
        return "the soil layer file";
    case role::temp_copy:
        return "the temporary copy";
    case role::summary:
        return "the --summary file";
    case role::report:
        return "the --report file";
    case role::failed_list:
        return "the --failed file";
    }
    return std::string();
}

std::string collision(const batch_files &files, const entry &writer, const entry &other) {
    const std::string path = shown_name(path_of(files, writer));
    const std::string verb = writer.what == role::site_file ? "rewriting " : "writing ";
    if (other.what == role::site_list) {
        const std::string list = shown_name(files.list_path);
        return "The site list is " + path + (list != path ? " (" + list + ")" : "") + ": " + verb +
               role_of(files, writer) + " would destroy it.";
    }
    const std::string other_path = shown_name(path_of(files, other));
    if (other_path == path)
        return path + " is " + role_of(files, other) + " and " + role_of(files, writer) +
               " at once: the one would destroy the other.";
    if (is_written(other.what))
        return path + " and " + other_path + " name the same file: " + role_of(files, writer) +
               " and " + role_of(files, other) + " would overwrite each other.";
    return path + " is the same file as " + other_path + ": " + verb + role_of(files, writer) +
           " would destroy " + role_of(files, other) + ".";
}

// Whether a written entry and another entry of the same file would lose a
// file. A site listed twice writes its own soil file twice: no loss.
bool written_clash(const batch_files &files, const entry &writer, const entry &other) {
    return !(writer.what == role::site_soil_file && other.what == role::site_soil_file &&
             name_of(files, writer) == name_of(files, other));
}

// The collision among the entries of one file that concerns the run, if
// any: an output with anything else, or a site file with a file read by
// another line.
bool collide(const batch_files &files, const std::vector<uint32_t> &group, std::string &message) {
    const auto &e = files.entries;
    const auto concerns = [&](uint32_t i, uint32_t j) {
        return ours(files, e[i]) || ours(files, e[j]);
    };
    for (uint32_t w : group) {
        if (!is_written(e[w].what))
            continue;
        for (uint32_t i : group)
            if (i != w && written_clash(files, e[w], e[i]) && concerns(w, i)) {
                message = collision(files, e[w], e[i]);
                return true;
            }
    }
    // A site's own daily file as its site file is refused at that site.
    for (uint32_t r : group) {
        if (!is_read(e[r].what))
            continue;
        for (uint32_t s : group) {
            const bool own = e[r].what == role::weather_file && e[r].site == e[s].site;
            if (e[s].what == role::site_file && !own && concerns(s, r)) {
                message = collision(files, e[s], e[r]);
                return true;
            }
        }
    }
    return false;
}

// The files of one line.
void add_line(batch_files &files, uint32_t i) {
    const listed_site &line = *files.lines[i];
    if (!line.problem.empty())
        return;
    const site_paths paths = paths_of(line.site.name);
    add(files, role::site_file, i, paths.site_file);
    add(files, role::weather_file, i, paths.weather_file);
    if (files.writes.site_soil_files)
        add(files, role::site_soil_file, i, paths.soil_file);
}

void add_batch(batch_files &files, const site_list &list, int list_fd) {
    for (const auto *lines : {&list.before_part, &list.lines, &list.after_part}) {
        if (lines == &list.lines)
            files.part_first = files.lines.size();
        for (const listed_site &line : *lines)
            files.lines.push_back(&line);
        if (lines == &list.lines)
            files.part_end = files.lines.size();
    }
    struct stat st;
    if (fstat(list_fd, &st) == 0) {
        files.keyed.push_back({{static_cast<unsigned long long>(st.st_dev),
                                static_cast<unsigned long long>(st.st_ino), std::string()},
                               0});
        files.entries.push_back({role::site_list, 0});
    }
    for (uint32_t i = 0; i < files.lines.size(); ++i)
        add_line(files, i);
    add(files, role::soil_file, 0, files.fixed.soil);
    add(files, role::temp_copy, 0, files.fixed.temp);
    if (!files.writes.summary_path.empty())
        add(files, role::summary, 0, files.writes.summary_path);
    if (!files.writes.report_path.empty())
        add(files, role::report, 0, files.writes.report_path);
    if (!files.writes.failed_path.empty())
        add(files, role::failed_list, 0, files.writes.failed_path);
}

// Outputs reached through a link that another user planted.
void add_planted_links(const site_list &list, const batch_writes &writes, const fixed_files &fixed,
                       std::vector<std::string> &messages, guard_findings &found) {
    std::vector<std::string> outputs = {fixed.soil, writes.summary_path, writes.report_path,
                                        writes.failed_path};
    if (writes.site_soil_files)
        for (const listed_site &l : list.lines)
            if (l.problem.empty())
                outputs.push_back(paths_of(l.site.name).soil_file);
    for (const std::string &path : outputs)
        if (!path.empty())
            if (std::string why = planted_link(path); !why.empty()) {
                found.failed_list_clear = found.failed_list_clear && path != writes.failed_path;
                messages.push_back(std::move(why));
            }
}

// Notes what a group of entries of one file says of the --failed file and
// the temporary copy.
void note_group(const batch_files &files, const std::vector<uint32_t> &group,
                guard_findings &found) {
    const auto has = [&](auto pick) {
        return std::any_of(group.begin(), group.end(),
                           [&](uint32_t i) { return pick(files.entries[i].what); });
    };
    if (group.size() > 1 && has([](role r) { return r == role::failed_list; }))
        found.failed_list_clear = false;
    if (has([](role r) { return r == role::temp_copy; }) &&
        has([](role r) { return is_read(r) || r == role::site_file; }))
        found.temp_copy_is_read = true;
}

} // namespace

std::vector<std::string> guard_batch(const site_list &list, int list_fd, const char *list_path,
                                     const batch_writes &writes, const fixed_files &fixed,
                                     guard_findings *findings) {
    guard_findings noted;
    batch_files files{list_path, writes, fixed, {}, 0, 0, {}, {}};
    add_batch(files, list, list_fd);
    // Sorted by key, the entries of one file stand together, in batch order.
    std::sort(files.keyed.begin(), files.keyed.end());
    std::vector<std::pair<uint32_t, std::string>> found; // first entry, message
    std::vector<uint32_t> group;
    for (size_t i = 0; i < files.keyed.size();) {
        size_t j = i;
        group.clear();
        for (; j < files.keyed.size() && files.keyed[j].first == files.keyed[i].first; ++j)
            group.push_back(files.keyed[j].second);
        std::string message;
        if (group.size() > 1 && collide(files, group, message))
            found.emplace_back(group.front(), std::move(message));
        note_group(files, group, noted);
        i = j;
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> messages;
    for (auto &f : found)
        messages.push_back(std::move(f.second));
    add_planted_links(list, writes, fixed, messages, noted);
    if (findings != nullptr)
        *findings = noted;
    return messages;
}

batch_refusals refusals_of(const site_list &list, int list_fd, const char *list_path,
                           const batch_writes &writes, const fixed_files &fixed) {
    batch_refusals refused;
    refused.collisions = guard_batch(list, list_fd, list_path, writes, fixed, &refused.found);
    refused.left_copy = temp_copy_refusal(fixed, refused.found.temp_copy_is_read);
    return refused;
}
