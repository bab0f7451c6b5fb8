// The run: every site of the list in order, stopping at the first failure
// or, with --keep-going, going on past it and listing the failures at the end.
#include "batch.h"
#include "failed_list.h"
#include "fd.h"
#include "file_paths.h"
#include "files.h"
#include "guard_batch.h"
#include "outputs/outputs.h"
#include "progress.h"
#include "report.h"
#include "shown.h"
#include "site.h"
#include "site_list.h"
#include "site_template.h"
#include "work_ahead.h"

#include <cstring>
#include <vector>

namespace {

// The same on a worker thread, which leaves what it cannot do to the main
// thread.
site_weather read_weather_ahead(const site_line &site, const weather_options &weather) {
    site_weather read;
    if (ran_out_of_memory([&] {
            read = read_weather(paths_of(site.name), site.name, true, nullptr, nullptr, &weather);
        }))
        read.left_to_main = true;
    return read;
}

// Why the run must not start, a line each reason (none when it may); and
// whether the --failed file may be written all the same.
failure refusals(const os::in_stream &list, const site_list &sites, const char *list_path,
                 const run_options &options, bool &failed_list_clear) {
    const batch_refusals refused =
        refusals_of(sites, list.descriptor(), list_path,
                    writes_of(options.keep_soils, options.failed_path, options.outputs,
                              options.extras.template_path),
                    options.fixed);
    // A list not read whole cannot say which sites a --failed file must name.
    failed_list_clear = refused.found.failed_list_clear && sites.read_problem.empty();
    if (refused.left_copy.failed())
        return refused.left_copy;
    if (!sites.read_problem.empty())
        return failed_with(sites.read_problem);
    failure f;
    for (const std::string &c : refused.collisions)
        f.message += (f.message.empty() ? "" : "\n") + c;
    return f;
}

} // namespace

namespace {

// Notes a failed site in how the run ends; true when the run stops here.
bool note_failure(run_end &ended, const listed_site &entry, const std::string &shown, site_end end,
                  const run_options &options, bool last) {
    ended.status = 1;
    ++ended.failed;
    const bool stops = !options.keep_going || end == site_end::fatal;
    if (ended.line == 0 || stops) {
        ended.line = entry.line_number;
        ended.site = entry.problem.empty() ? shown : std::string();
    }
    if (stops) {
        ended.at_failure = true;
        ended.early = !last;
    }
    return stops;
}

// The daily files of the sites ahead, read on other threads into weathers.
work_ahead_ptr read_ahead(const site_list &sites, int threads, const weather_options &weather,
                          std::vector<site_weather> &weathers) {
    if (threads <= 1 || sites.lines.size() <= 1)
        return work_ahead_ptr(nullptr, nullptr);
    return start_work_ahead(sites.lines.size(), threads, [&sites, &weathers, &weather](size_t i) {
        // A bad line stops the run before its site.
        weathers[i % weathers.size()] = sites.lines[i].problem.empty()
                                            ? read_weather_ahead(sites.lines[i].site, weather)
                                            : site_weather();
    });
}

// The --failed file and the kept soil file learn how a site ended.
void note_site_end(const run_options &options, const listed_site &entry, size_t i, site_end end) {
    if (end != site_end::done && options.keep_soils && entry.problem.empty())
        os::remove_if_regular(os::link_target(paths_of(entry.site.name).soil_file));
    if (options.failed_path.empty())
        return;
    if (end != site_end::done)
        note_failed_site(i);
    note_sites_reached(i + 1);
}

// What the run does at each site.
site_steps steps_of(const run_options &options, const site_template &from) {
    site_steps steps;
    steps.fixed = &options.fixed;
    steps.sync = options.sync;
    steps.keep_soils = options.keep_soils;
    steps.from_template = from.path.empty() ? nullptr : &from;
    steps.texture_keys = options.extras.texture_keys;
    steps.weather = &options.weather;
    return steps;
}

// The sites of the list in order, a few daily files read ahead.
void run_sites(const site_list &sites, const std::string &list_name, const run_options &options,
               const site_template &from, run_end &ended) {
    // One descriptor a worker; the main thread keeps what it needs.
    const int threads = threads_for_descriptors(options.threads, 1, 4);
    std::vector<site_weather> weathers(work_ahead_window(threads));
    work_ahead_ptr ahead = read_ahead(sites, threads, options.weather, weathers);
    auto progress = start_progress(options.progress, sites.lines.size());
    std::vector<failed_site> failed;
    ended.sites = sites.lines.size();
    const site_steps steps = steps_of(options, from);
    for (size_t i = 0; i < sites.lines.size(); ++i) {
        const listed_site &entry = sites.lines[i];
        const std::string shown = shown_name(entry.site.name);
        // Taken for every line, in order, even one that goes no further.
        site_weather weather;
        bool have_weather = false;
        if (ahead) {
            take_job(*ahead, i);
            weather = std::move(weathers[i % weathers.size()]);
            have_weather = !weather.left_to_main;
        }
        show_progress(progress.get(), i,
                      entry.problem.empty() ? shown : "line " + std::to_string(entry.line_number));
        hide_progress_for_output(progress.get());
        site_result result;
        if (entry.problem.empty()) {
            result = prepare_site(entry.site, steps, weather, have_weather);
        } else {
            result.end = site_end::failed;
            result.why = failed_with(entry.problem);
        }
        if (result.used && !weather.stale_record.empty())
            say_stale_record(weather.stale_record, paths_of(entry.site.name).weather_file);
        const std::string reason =
            result.end == site_end::done ? std::string() : say_failure(result.why);
        ended.reached = i + 1;
        add_outcome(options.outputs, entry, result.used ? &weather : nullptr,
                    result.used ? nullptr
                                : "the site failed before its daily weather file was read",
                    result.end == site_end::done ? 0 : 1, 0,
                    reason.empty() ? std::vector<std::string>() : std::vector{reason});
        note_site_end(options, entry, i, result.end);
        if (result.end == site_end::done)
            continue;
        const bool last = i + 1 == sites.lines.size();
        if (note_failure(ended, entry, shown, result.end, options, last)) {
            if (!options.keep_going)
                return;
            hide_progress(progress.get());
            say_failed_sites(failed, sites.lines.size(), list_name);
            say_stopped(list_name, entry.line_number, reason);
            return;
        }
        failed.push_back(
            {entry.line_number, entry.problem.empty() ? shown : std::string("-"), reason});
    }
    finish_progress(progress.get(), sites.lines.size());
    say_failed_sites(failed, sites.lines.size(), list_name);
}

// A failure, and after it what a further step's failure says.
failure then_failed(failure f, const failure &further) {
    if (further.failed())
        f.after = further.message;
    return f;
}

// Reads the list whole (and the template) and refuses a batch that would
// lose a file: why the run must not start (and, after it, a --failed file
// that could not be written then).
failure read_batch(const char *list_path, const run_options &options, site_list &sites,
                   site_template &from) {
    os::in_stream list;
    if (failure f = open_site_list(list_path, list); f.failed())
        return f;
    sites = read_site_list(list.get(), list_path, !options.failed_path.empty());
    keep_part(sites, options.part);
    bool failed_list_clear = false;
    if (failure why = refusals(list, sites, list_path, options, failed_list_clear); why.failed()) {
        list = os::in_stream(); // read: a failure to close it changes nothing
        // Not one site of the run was prepared.
        if (options.failed_path.empty() || !failed_list_clear)
            return why;
        return then_failed(why, list_every_site(options.failed_path, sites, options.sync));
    }
    failure unreadable;
    if (const os::result<void> closed = list.close(); !closed)
        unreadable = failed_with(format_message(close_message, shown_name(list_path).c_str(),
                                                closed.error().reason().c_str()));
    else if (!from.path.empty())
        unreadable = read_template(from);
    if (unreadable.failed())
        return options.failed_path.empty()
                   ? unreadable
                   : then_failed(unreadable,
                                 list_every_site(options.failed_path, sites, options.sync));
    // Written first, so that its directory is known to take it before the
    // first site, and so that it names every site until one is done.
    if (!options.failed_path.empty())
        if (failure f = begin_failed_list(options.failed_path, sites, options.sync); f.failed())
            return f;
    failure opened = options.outputs == nullptr ? failure() : open_outputs(*options.outputs);
    if (!opened.failed() || options.failed_path.empty())
        return opened;
    return then_failed(opened, end_failed_list());
}

} // namespace

namespace {

int run_all(const char *list_path, const run_options &options) {
    run_end ended;
    const std::string list_name = shown_name(list_path);
    site_list sites;
    site_template from;
    from.path = options.extras.template_path;
    if (const failure refused = read_batch(list_path, options, sites, from); refused.failed()) {
        say_failure(refused);
        ended.status = 1;
        say_failure_on_stderr(ended, list_name);
        return 1;
    }
    run_sites(sites, list_name, options, from, ended);
    if (!options.failed_path.empty())
        if (const failure f = end_failed_list(); f.failed()) {
            say_failure(f);
            ended.status = 1;
        }
    batch_outputs *outputs = options.outputs;
    if (outputs != nullptr) {
        outputs->status = run_status(ended);
        if (ended.early)
            for (const std::string &path : {outputs->summary_path, outputs->report_path})
                if (!path.empty())
                    say_output_covers(path, ended.reached);
        const failure written = write_outputs(*outputs);
        say_if_failed(written);
        if (written.failed() && ended.status == 0) {
            ended.status = 1;
            say_outputs_not_written();
            return 1;
        }
    }
    if (ended.status != 0)
        say_failure_on_stderr(ended, list_name);
    return ended.status;
}

} // namespace

int run_batch(const char *list_path, const run_options &options) {
    int status = 0;
    if (ran_out_of_memory([&] { status = run_all(list_path, options); }))
        return say_out_of_memory();
    return status;
}
