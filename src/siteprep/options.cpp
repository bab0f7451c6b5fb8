// The command line's options turned into a run or a check of the batch.
#include "options.h"
#include "batch.h"
#include "check.h"
#include "fixed_files.h"
#include "outputs/outputs.h"
#include "process.h"
#include "signals.h"
#include "threads.h"

#include <algorithm>
#include <unistd.h>

namespace {

// The cores this process may run on, at most 8: more threads only wait on
// the one that rewrites.
int default_jobs() {
    return std::clamp(os::usable_cores(), 1, 8);
}

// How the sites' statistics are made, as the options ask.
weather_options weather_of(const command_options &opts) {
    weather_options w;
    w.choice = opts.choice;
    w.named = opts.choice_named;
    w.months = !opts.monthly.empty();
    w.overview = !opts.report.empty();
    w.records = opts.check || w.months || w.overview;
    w.compare = opts.check;
    w.normals_min = opts.normals_min;
    w.neighbours = opts.neighbours;
    return w;
}

} // namespace

int run_command(const command_options &opts) {
    const int threads = opts.jobs > 0 ? opts.jobs : default_jobs();
    const weather_options weather = weather_of(opts);
    batch_outputs outputs;
    outputs.summary_path = opts.summary;
    outputs.report_path = opts.report;
    outputs.monthly_path = opts.monthly;
    outputs.list_name = opts.site_list;
    outputs.check = opts.check;
    outputs.weather = &weather;
    batch_outputs *wanted =
        opts.summary.empty() && opts.report.empty() && opts.monthly.empty() ? nullptr : &outputs;
    // Past a file-size limit a write then fails (and is reported, and the
    // site file restored) instead of the signal killing the run mid-rewrite.
    os::fail_writes_past_size_limit();
    const fixed_files fixed = fixed_files_in(opts.scratch);
    const bool progress = opts.progress >= 0 ? opts.progress == 1 : os::is_terminal(STDERR_FILENO);
    if (opts.check)
        return check_batch(opts.site_list, opts.strict, opts.keep_soils, threads, progress, wanted,
                           opts.part, fixed, opts.extras, weather);
    run_options run;
    run.sync = opts.sync;
    run.fixed = fixed;
    run.threads = threads;
    run.keep_going = opts.keep_going;
    run.keep_soils = opts.keep_soils;
    run.progress = progress;
    run.outputs = wanted;
    run.part = opts.part;
    run.failed_path = opts.failed;
    run.extras = opts.extras;
    run.weather = weather;
    return run_batch(opts.site_list, run);
}
