// The check: every problem a run of the batch would meet, in one pass,
// writing nothing.
#include "check.h"
#include "audit/audit.h"
#include "create_soil.h"
#include "fd.h"
#include "file_paths.h"
#include "files.h"
#include "fixed_files.h"
#include "guard_batch.h"
#include "lines.h"
#include "neighbours.h"
#include "outputs/outputs.h"
#include "progress.h"
#include "read_text.h"
#include "report.h"
#include "shown.h"
#include "site.h"
#include "site_list.h"
#include "site_template.h"
#include "statistics_notes.h"
#include "work_ahead.h"
#include "wthr.h"

#include <cmath>
#include <cstring>
#include <map>

namespace {

// A line the check says: a problem or a warning, each counted (a problem
// line may stand for several), or a note, which is not.
struct said {
    enum kind { problem, warning, note } what;
    std::string text;
    int count = 1;
};
using lines_said = std::vector<said>;

void problem(lines_said &out, std::string text, int count = 1) {
    out.push_back({said::problem, std::move(text), count});
}

void add_warnings(lines_said &out, const std::vector<std::string> &texts) {
    for (const std::string &t : texts)
        out.push_back({said::warning, t, 1});
}

struct check_tally {
    int sites = 0;
    int problems = 0;
    int warnings = 0;
};

// The one place the check prints: the lines in order, counted.
void say(check_tally &tally, const lines_said &lines) {
    for (const said &s : lines) {
        ::say(s.text);
        if (s.what == said::problem)
            tally.problems += s.count;
        else if (s.what == said::warning)
            tally.warnings += s.count;
    }
}

int counted_of(const lines_said &lines, said::kind what) {
    int n = 0;
    for (const said &s : lines)
        n += s.what == what ? s.count : 0;
    return n;
}

// Whether a run could write soils.in here: an existing writable regular
// file, or none in a writable directory.
void check_soil_file(lines_said &out, const fixed_files &fixed) {
    if (const os::result<void> may = os::may_write_over(fixed.soil); !may)
        problem(out, format_message(unwritable_message, fixed.soil.c_str(),
                                    may.error().reason().c_str()));
}

// The temporary copy is created in the working (or scratch) directory.
void check_work_dir(lines_said &out, const fixed_files &fixed) {
    if (const os::result<void> may = os::may_create_in(os::dir_of(fixed.temp)); !may)
        problem(out,
                format_message(uncreatable_message, fixed.temp.c_str(),
                               where_fixed_files_are(fixed).c_str(), may.error().reason().c_str()));
}

// What the check takes from the command line for every site: the
// template (read before the first site; path empty: none, or it cannot be
// read) and --texture-keys.
struct check_extras {
    site_template from;
    bool texture_keys = false;
    weather_options weather;
};

// A site file the run would make from the template: said as a note, with
// a problem when its directory takes no new file.
bool check_site_file_to_make(lines_said &out, const std::string &path, const check_extras &extras) {
    if (extras.from.path.empty() || !site_file_missing(path))
        return false;
    out.push_back({said::note,
                   format_message(template_to_make_message, shown_name(path).c_str(),
                                  shown_name(extras.from.path).c_str()),
                   0});
    if (const os::result<void> may = os::may_create_in(os::dir_of(path)); !may)
        problem(out,
                format_message(template_failed_message, shown_name(path).c_str(),
                               shown_name(extras.from.path).c_str(), may.error().reason().c_str()));
    return true;
}

// The site file, opened as the run opens it, so that what refuses its
// writing (an append-only or read-only file) is found here too: a
// readable regular file that the run can write, with lines of a length
// the run accepts, read whole into text. False when it cannot be opened.
bool check_site_file(lines_said &out, const site_line &site, site_file &opened, std::string &text,
                     bool &descriptors_ran_out) {
    if (failure f = open_site_file(site, paths_of(site.name), false, opened, &descriptors_ran_out);
        f.failed()) {
        problem(out, one_line(f.message));
        return false;
    }
    if (opened.write_errno != 0)
        problem(out, step_failed("opening for writing", opened.path, opened.write_errno));
    long long_line = 0;
    (void)os::read_text(opened.file, text, os::max_text_line, long_line);
    if (long_line > 0)
        problem(out, long_site_line(opened.path, long_line));
    return true;
}

// The bad lines of a daily file as problems: the first few, then how many
// more.
void add_bad_lines(lines_said &out, const std::string &weather_file, const daily_problems &bad) {
    const std::string shown = shown_name(weather_file);
    for (const daily_error &line : bad.first)
        problem(out, line.line > 0
                         ? format_message(weather_line_message, shown.c_str(), line.line,
                                          line.reason.c_str())
                         : format_message(read_message, shown.c_str(), line.reason.c_str()));
    if (bad.count > daily_problems::kept)
        problem(out,
                format_message(unlisted_message, shown.c_str(),
                               counted(bad.count - daily_problems::kept, "more problem").c_str()),
                bad.count - daily_problems::kept);
}

// The audit's warnings, then its summary line.
void add_audit(lines_said &out, const audit_said &audit) {
    add_warnings(out, audit.warnings);
    if (!audit.summary.empty())
        out.push_back({said::note, audit.summary, 0});
}

// What a rule or a period other than the defaults changes of a site's
// statistics, and the calendar months with too few years for a normal.
lines_said choice_lines(const std::string &weather_file, const weather_options &weather,
                        const site_weather &read) {
    lines_said out;
    if (read.has_legacy)
        out.push_back({said::note, change_note(weather_file, weather.choice, read), 0});
    if (weather.normals_min > 0)
        add_warnings(out,
                     normals_warnings(weather_file, weather.choice, weather.normals_min, read.ws));
    return out;
}

// The weather read goes to stats when the daily file is free of problems
// (readable), and has_stats says whether its statistics could be made (a
// rule may leave a month without a year). listed_as names the site's list line; site_text is the
// site file's, and site_id which file it is (nullptr: it could not be opened).
void check_weather_file(lines_said &out, const site_line &site, const std::string &listed_as,
                        const std::string *site_text, const os::file_id *site_id, bool texture_keys,
                        const weather_options &weather, site_weather &stats, bool &has_stats,
                        bool &readable, bool &descriptors_ran_out) {
    const site_paths paths = paths_of(site.name);
    daily_problems bad;
    auto audit = start_daily_audit();
    daily_options how;
    how.all_bad = &bad;
    how.listener = listener_of(audit.get());
    site_weather read = read_weather(paths, site.name, true, &how, site_id, &weather);
    const monthly_tables &tables = *read.tables;
    if (!read.has_id || read.same_file) {
        descriptors_ran_out = descriptors_ran_out || read.left_to_main;
        problem(out, one_line(read.why.message));
        add_audit(out, audit_site(site, site_text, nullptr, 0, tables.prec, tables.tmin,
                                  tables.tmax, listed_as, texture_keys));
        return;
    }
    add_bad_lines(out, paths.weather_file, bad);
    readable = bad.count == 0 && read.years > 0;
    if (readable && read.why.failed())
        problem(out, one_line(read.why.message)); // a choice that leaves a month without a year
    has_stats = readable && !read.why.failed();
    // The audit's warnings come after the problems of the file.
    add_audit(out, audit_site(site, site_text, read.years > 0 ? audit.get() : nullptr, read.years,
                              tables.prec, tables.tmin, tables.tmax, listed_as, texture_keys));
    if (!read.stale_record.empty())
        out.push_back({said::warning,
                       "Warning: " + stale_record_note(read.stale_record, paths.weather_file)});
    if (has_stats) {
        const lines_said chosen = choice_lines(paths.weather_file, weather, read);
        out.insert(out.end(), chosen.begin(), chosen.end());
    }
    if (readable)
        stats = std::move(read); // a failed one keeps its months
}

// Sites that a batch names twice: by the same name, or by two names of one
// file. A run rewrites such a site twice, which may not be meant.
struct seen_sites {
    std::map<std::string, long> names;
    std::map<std::pair<unsigned long long, unsigned long long>, std::pair<long, std::string>> files;
};

lines_said check_repeats(seen_sites &seen, const char *list_path, const listed_site &entry,
                         const os::file_id *id) {
    const site_line &site = entry.site;
    if (auto [it, fresh] = seen.names.emplace(site.name, entry.line_number); !fresh)
        return {{said::warning, format_message(listed_again_warning, list_path, entry.line_number,
                                               shown_name(site.name).c_str(), it->second)}};
    if (id == nullptr)
        return {};
    auto [it, fresh] =
        seen.files.emplace(std::make_pair(id->dev, id->ino),
                           std::make_pair(entry.line_number, paths_of(site.name).site_file));
    if (fresh)
        return {};
    return {
        {said::warning, format_message(same_site_file_warning, list_path, entry.line_number,
                                       shown_name(site.name).c_str(),
                                       shown_name(it->second.second).c_str(), it->second.first)}};
}

// What the check says of one site: before and after the warnings of a site
// named twice, which need the sites before it; and which file its site
// file is.
struct site_report {
    lines_said before, after;
    bool has_stats = false, read = false; // statistics made; the daily file read whole
    site_weather weather;
    bool has_id = false;
    os::file_id id;
    // Its site file or daily file could not be opened for want of
    // descriptors: checked again on the main thread, so that every thread
    // count says the same.
    bool descriptors_ran_out = false;
};

// Checks one site, keeping what it says: sites can be checked on several
// threads and reported in order.
site_report check_site(const char *list_path, const listed_site &entry,
                       const check_extras &extras) {
    site_report report;
    const site_line &site = entry.site;
    if (!is_valid_layer_code(site.layer_code))
        report.before.push_back(
            {said::warning,
             format_message(list_line_warning, list_path, entry.line_number,
                            (std::string(layer_code_warning) + " " + layer_code_default).c_str())});
    add_warnings(report.before, audit_site_line(site, list_path, entry.line_number));
    site_file opened;
    std::string text;
    // A site file to be made is audited as the template it will be.
    const bool to_make =
        check_site_file_to_make(report.before, paths_of(site.name).site_file, extras);
    if (!to_make)
        report.has_id =
            check_site_file(report.before, site, opened, text, report.descriptors_ran_out);
    report.id = opened.id;
    const std::string *site_text = to_make ? &extras.from.text : report.has_id ? &text : nullptr;
    check_weather_file(report.after, site,
                       format_message("%s line %ld", list_path, entry.line_number), site_text,
                       report.has_id ? &report.id : nullptr, extras.texture_keys, extras.weather,
                       report.weather, report.has_stats, report.read, report.descriptors_ran_out);
    return report;
}

// The texts of what was said, for the outputs.
std::vector<std::string> texts_of(std::initializer_list<const lines_said *> parts) {
    std::vector<std::string> texts;
    for (const lines_said *part : parts)
        for (const said &s : *part)
            texts.push_back(s.text);
    return texts;
}

// The report of a site checked on a worker thread; one that ran out of
// descriptors or memory there is left to the main thread.
struct checked {
    site_report report;
    bool left_to_main = false;
};

void check_ahead(const char *list_path, const listed_site &entry, const check_extras &extras,
                 checked &into) {
    into = checked();
    into.left_to_main =
        ran_out_of_memory([&] { into.report = check_site(list_path, entry, extras); }) ||
        into.report.descriptors_ran_out;
}

// The site of the list's line i, as the check says it, in order.
void say_site(check_tally &tally, seen_sites &seen, const char *list_path, const listed_site &entry,
              const site_report &report, batch_outputs *outputs) {
    const lines_said repeated =
        check_repeats(seen, list_path, entry, report.has_id ? &report.id : nullptr);
    for (const lines_said *part : {&report.before, &repeated, &report.after})
        say(tally, *part);
    int problems = 0, warnings = 0;
    for (const lines_said *part : {&report.before, &repeated, &report.after}) {
        problems += counted_of(*part, said::problem);
        warnings += counted_of(*part, said::warning);
    }
    add_outcome(outputs, entry, report.read ? &report.weather : nullptr, nullptr, problems,
                warnings, texts_of({&report.before, &repeated, &report.after}));
}

// The sites whose statistics were made, for the comparison with their
// neighbours once the whole batch is read.
struct compared_sites {
    std::vector<neighbour_input> inputs;
    std::vector<const listed_site *> entries;
    std::vector<size_t> numbers; // among the outputs' sites, from 1
};

// A site's annual precipitation total and mean temperature from the
// statistics its site file gets (NaN where a month has none).
neighbour_input neighbour_input_of(const site_line &site, const weather_stats &ws) {
    neighbour_input in;
    in.latitude = site.latitude;
    in.longitude = site.longitude;
    in.elevation = site.elevation;
    double precipitation = 0, temperature = 0;
    for (int m = 0; m < months; ++m) {
        precipitation += ws.prec_mean[m];
        temperature += (static_cast<double>(ws.tmin_mean[m]) + ws.tmax_mean[m]) / 2;
    }
    in.precipitation = std::isfinite(precipitation) ? precipitation : NAN;
    in.temperature = std::isfinite(temperature) ? temperature / months : NAN;
    return in;
}

// The sites that disagree with their neighbours, as warnings after the
// sites, and for the page.
void say_neighbours(check_tally &tally, const char *list_path, const compared_sites &sites,
                    const neighbour_settings &settings, batch_outputs *outputs) {
    const std::vector<neighbour_result> results = compare_neighbours(sites.inputs, settings);
    lines_said out;
    for (size_t i = 0; i < results.size(); ++i) {
        if (!results[i].flagged())
            continue;
        out.push_back({said::warning,
                       format_message(list_line_warning, list_path, sites.entries[i]->line_number,
                                      (shown_name(sites.entries[i]->site.name) + " " +
                                       neighbour_words(results[i], sites.inputs[i], settings))
                                          .c_str())});
        if (outputs != nullptr)
            outputs->neighbour_warnings.emplace_back(sites.numbers[i], out.back().text);
    }
    say(tally, out);
}

void check_sites(check_tally &tally, const char *list_path, const site_list &sites, int threads,
                 bool progress, batch_outputs *outputs, const check_extras &extras) {
    seen_sites seen;
    compared_sites compared;
    // A site holds at most three descriptors at once: its site file, a copy
    // of that descriptor and its daily file.
    threads = threads_for_descriptors(threads, 3, 4);
    std::vector<checked> reports(work_ahead_window(threads));
    work_ahead_ptr ahead = start_work_ahead(sites.lines.size(), threads, [&](size_t i) {
        if (sites.lines[i].problem.empty())
            check_ahead(list_path, sites.lines[i], extras, reports[i % reports.size()]);
    });
    auto shown = start_progress(progress, sites.lines.size());
    for (size_t i = 0; i < sites.lines.size(); ++i) {
        const listed_site &entry = sites.lines[i];
        show_progress(shown.get(), i,
                      entry.problem.empty() ? shown_name(entry.site.name)
                                            : "line " + std::to_string(entry.line_number));
        take_job(*ahead, i);
        hide_progress_for_output(shown.get());
        ++tally.sites;
        if (!entry.problem.empty()) {
            say(tally, {{said::problem, entry.problem}});
            add_outcome(outputs, entry, nullptr, nullptr, 1, 0, {entry.problem});
            continue;
        }
        checked &done = reports[i % reports.size()];
        const site_report report =
            done.left_to_main ? check_site(list_path, entry, extras) : std::move(done.report);
        say_site(tally, seen, list_path, entry, report, outputs);
        if (report.has_stats) {
            compared.inputs.push_back(neighbour_input_of(entry.site, report.weather.ws));
            compared.entries.push_back(&entry);
            compared.numbers.push_back(i + 1);
        }
    }
    finish_progress(shown.get(), sites.lines.size());
    say_neighbours(tally, list_path, compared, extras.weather.neighbours, outputs);
}

// What would stop the run before its first site, or lose a file: a copy
// left over, a file the batch both writes and reads, an unwritable
// soils.in or working directory. False when the outputs must not be
// written.
bool check_batch_files(check_tally &tally, const os::in_stream &list, const char *list_path,
                       const site_list &sites, bool keep_soils, batch_outputs *outputs,
                       const fixed_files &fixed, check_extras &extras) {
    lines_said out;
    const batch_refusals refused =
        refusals_of(sites, list.descriptor(), list_path,
                    writes_of(keep_soils, std::string(), outputs, extras.from.path), fixed);
    if (refused.left_copy.failed())
        problem(out, refused.left_copy.message);
    for (const std::string &c : refused.collisions)
        problem(out, c);
    // A template that cannot be read is one problem, not one a site.
    if (!extras.from.path.empty())
        if (const failure why = read_template(extras.from); why.failed()) {
            problem(out, why.message);
            extras.from.path.clear();
        }
    check_soil_file(out, fixed);
    check_work_dir(out, fixed);
    say(tally, out);
    if (!refused.collisions.empty() || outputs == nullptr)
        return false;
    const failure opened = open_outputs(*outputs);
    if (!opened.failed())
        return true;
    say(tally, {{said::problem, opened.message}});
    return false;
}

} // namespace

namespace {

int check_all(const char *list_path, bool strict, bool keep_soils, int threads, bool progress,
              batch_outputs *outputs, const list_part &part, const fixed_files &fixed,
              const site_extras &given, const weather_options &weather) {
    check_extras extras;
    extras.from.path = given.template_path;
    extras.texture_keys = given.texture_keys;
    extras.weather = weather;
    check_tally tally;
    bool write = false;
    if (!weather.choice.is_default())
        say(tally, {{said::note, choice_note(weather.choice), 0}});
    os::in_stream list;
    if (const failure f = open_site_list(list_path, list); f.failed()) {
        say(tally, {{said::problem, f.message}});
    } else {
        const std::string list_name = shown_name(list_path);
        site_list sites = read_site_list(list.get(), list_path);
        keep_part(sites, part);
        write =
            check_batch_files(tally, list, list_path, sites, keep_soils, outputs, fixed, extras);
        check_sites(tally, list_name.c_str(), sites, threads, progress, write ? outputs : nullptr,
                    extras);
        if (!sites.read_problem.empty())
            say(tally, {{said::problem, sites.read_problem}});
    }
    // A status of 1 for warnings alone says where it comes from.
    const bool strict_counts = strict && tally.warnings > 0;
    say_check_counts(tally.sites, tally.problems, tally.warnings, strict_counts);
    const int status = tally.problems == 0 && !strict_counts ? 0 : 1;
    if (!write)
        return status;
    outputs->status = check_status(tally.sites, tally.problems, tally.warnings);
    const failure written = write_outputs(*outputs);
    say_if_failed(written);
    return written.failed() ? 1 : status;
}

} // namespace

int check_batch(const char *list_path, bool strict, bool keep_soils, int threads, bool progress,
                batch_outputs *outputs, const list_part &part, const fixed_files &fixed,
                const site_extras &extras, const weather_options &weather) {
    int status = 0;
    if (ran_out_of_memory([&] {
            status = check_all(list_path, strict, keep_soils, threads, progress, outputs, part,
                               fixed, extras, weather);
        }))
        return say_out_of_memory();
    return status;
}
