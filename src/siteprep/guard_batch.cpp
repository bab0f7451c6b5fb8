// The batch's guard: every file a run or a check would write, checked
// against every file the batch reads or rewrites and against the other
// outputs, by device and inode through links, before the first write.
#include "guard_batch.h"
#include "file_paths.h"
#include "fixed_files.h"
#include "guard.h"
#include "outputs/outputs.h"
#include "outputs/station_sources.h"
#include "shown.h"
#include "site_template.h"

#include <algorithm>
#include <cstdint>

namespace {

// What a file is to the batch.
enum class role : uint8_t {
    site_list,      // read
    site_file,      // rewritten
    weather_file,   // read
    template_file,  // read (--template)
    fill_record,    // read
    stations_table, // read (--report: stations.csv beside the list)
    site_soil_file, // written, one a site
    soil_file,      // written
    temp_copy,      // written
    summary,        // written
    report,         // written
    failed_list,    // written
    new_site_file,  // written: a site file made from the template, then rewritten
    monthly         // written
};

bool is_written(role r) {
    return r >= role::site_soil_file;
}

// One file of the batch: its role, and for a site's files the index of its
// line in the list.
struct entry {
    role what;
    uint32_t site;
};

// The batch's files, for the guard's engine, and what each is to the batch.
struct batch_files {
    const char *list_path;
    const batch_writes &writes;
    std::vector<const listed_site *> lines; // every line of the list, the part's and the others'
    size_t part_first = 0, part_end = 0;    // the part's lines among them
    std::vector<os::guarded_file> files;
    std::vector<entry> entries;
};

// Whether a file is the run's own concern: an output of the run, the site
// list, or a file of a line in its part.
bool ours(const batch_files &files, const entry &e) {
    switch (e.what) {
    case role::site_file:
    case role::weather_file:
    case role::fill_record:
    case role::site_soil_file:
    case role::new_site_file:
        return e.site >= files.part_first && e.site < files.part_end;
    default:
        return true;
    }
}

void add(batch_files &files, role what, uint32_t site, const std::string &path,
         std::string role_text) {
    os::guarded_file f;
    f.path = path;
    f.role = std::move(role_text);
    f.written = is_written(what);
    f.rewritten = what == role::site_file;
    files.files.push_back(std::move(f));
    files.entries.push_back({what, site});
}

// The name of a site's line.
const std::string &name_of(const batch_files &files, const entry &e) {
    return files.lines[e.site]->site.name;
}

// The collisions the batch allows: a site's own daily file as its site
// file is refused at that site, a site listed twice writes its own soil
// file twice, which loses nothing, and a site file made from the template
// for two lines is made once (the second finds it there). A collision
// among other parts' files alone is theirs to refuse.
bool excused(const batch_files &files, size_t writer, size_t other) {
    const entry &w = files.entries[writer], &o = files.entries[other];
    if (!ours(files, w) && !ours(files, o))
        return true;
    if (w.what == role::site_file && o.what == role::weather_file && w.site == o.site)
        return true;
    if (w.what == role::new_site_file && o.what == role::new_site_file)
        return true;
    return w.what == role::site_soil_file && o.what == role::site_soil_file &&
           name_of(files, w) == name_of(files, o);
}

// The files of one line.
void add_line(batch_files &files, uint32_t i) {
    const listed_site &line = *files.lines[i];
    if (!line.problem.empty())
        return;
    const site_paths paths = paths_of(line.site.name);
    const std::string of_line =
        " of " + shown_name(files.list_path) + " line " + std::to_string(line.line_number);
    if (!files.writes.template_path.empty() && site_file_missing(paths.site_file))
        add(files, role::new_site_file, i, paths.site_file,
            "the site parameter file" + of_line + " (made from the --template file)");
    else
        add(files, role::site_file, i, paths.site_file, "the site parameter file" + of_line);
    add(files, role::weather_file, i, paths.weather_file, "the daily weather file" + of_line);
    if (files.writes.site_soil_files)
        add(files, role::site_soil_file, i, paths.soil_file, "the --keep-soils file" + of_line);
    if (files.writes.fill_records)
        add(files, role::fill_record, i, fill_record_of(paths.weather_file),
            "the fill's record" + of_line);
}

void add_batch(batch_files &files, const site_list &list, int list_fd, const fixed_files &fixed) {
    for (const auto *lines : {&list.before_part, &list.lines, &list.after_part}) {
        if (lines == &list.lines)
            files.part_first = files.lines.size();
        for (const listed_site &line : *lines)
            files.lines.push_back(&line);
        if (lines == &list.lines)
            files.part_end = files.lines.size();
    }
    add(files, role::site_list, 0, files.list_path, "the site list");
    files.files.back().named_by_role = true;
    files.files.back().open_fd = list_fd;
    for (uint32_t i = 0; i < files.lines.size(); ++i)
        add_line(files, i);
    if (!files.writes.template_path.empty())
        add(files, role::template_file, 0, files.writes.template_path, "the --template file");
    add(files, role::soil_file, 0, fixed.soil, "the soil layer file");
    add(files, role::temp_copy, 0, fixed.temp, "the temporary copy");
    if (!files.writes.summary_path.empty())
        add(files, role::summary, 0, files.writes.summary_path, "the --summary file");
    if (!files.writes.report_path.empty()) {
        add(files, role::report, 0, files.writes.report_path, "the --report file");
        add(files, role::stations_table, 0, stations_table_path(files.list_path),
            "the stations table");
    }
    if (!files.writes.failed_path.empty())
        add(files, role::failed_list, 0, files.writes.failed_path, "the --failed file");
    if (!files.writes.monthly_path.empty())
        add(files, role::monthly, 0, files.writes.monthly_path, "the --monthly file");
}

// Outputs reached through a link that another user planted.
void add_planted_links(const site_list &list, const batch_writes &writes, const fixed_files &fixed,
                       std::vector<std::string> &messages, guard_findings &found) {
    std::vector<std::string> outputs = {fixed.soil, writes.summary_path, writes.report_path,
                                        writes.failed_path, writes.monthly_path};
    if (writes.site_soil_files)
        for (const listed_site &l : list.lines)
            if (l.problem.empty())
                outputs.push_back(paths_of(l.site.name).soil_file);
    for (const std::string &path : outputs)
        if (!path.empty())
            if (std::string why = os::planted_link(path); !why.empty()) {
                found.failed_list_clear = found.failed_list_clear && path != writes.failed_path;
                messages.push_back(std::move(why));
            }
}

// Notes what a group of files of one file says of the --failed file and
// the temporary copy.
void note_group(const batch_files &files, const std::vector<size_t> &group, guard_findings &found) {
    const auto has = [&](auto pick) {
        return std::any_of(group.begin(), group.end(),
                           [&](size_t i) { return pick(files.entries[i].what); });
    };
    if (has([](role r) { return r == role::failed_list; }))
        found.failed_list_clear = false;
    if (has([](role r) { return r == role::temp_copy; }) &&
        has([](role r) { return !is_written(r); }))
        found.temp_copy_is_read = true;
}

} // namespace

std::vector<std::string> guard_batch(const site_list &list, int list_fd, const char *list_path,
                                     const batch_writes &writes, const fixed_files &fixed,
                                     guard_findings *findings) {
    guard_findings noted;
    batch_files files{list_path, writes, {}, 0, 0, {}, {}};
    add_batch(files, list, list_fd, fixed);
    const os::guard_excuse excuse = [&files](size_t writer, size_t other) {
        return excused(files, writer, other);
    };
    std::vector<std::string> messages;
    for (const std::vector<size_t> &group : os::same_files(files.files)) {
        if (std::string message = os::collision_in(files.files, group, excuse); !message.empty())
            messages.push_back(std::move(message));
        note_group(files, group, noted);
    }
    add_planted_links(list, writes, fixed, messages, noted);
    if (findings != nullptr)
        *findings = noted;
    return messages;
}

batch_writes writes_of(bool keep_soils, const std::string &failed_path,
                       const batch_outputs *outputs, const std::string &template_path) {
    batch_writes writes;
    writes.template_path = template_path;
    writes.site_soil_files = keep_soils;
    writes.failed_path = failed_path;
    if (outputs != nullptr) {
        writes.summary_path = outputs->summary_path;
        writes.report_path = outputs->report_path;
        writes.monthly_path = outputs->monthly_path;
        writes.fill_records =
            !outputs->monthly_path.empty() || outputs->check || !outputs->report_path.empty();
    }
    return writes;
}

batch_refusals refusals_of(const site_list &list, int list_fd, const char *list_path,
                           const batch_writes &writes, const fixed_files &fixed) {
    batch_refusals refused;
    refused.collisions = guard_batch(list, list_fd, list_path, writes, fixed, &refused.found);
    refused.left_copy = temp_copy_refusal(fixed, refused.found.temp_copy_is_read);
    return refused;
}
