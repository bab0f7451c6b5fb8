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

} // namespace

int run_command(const command_options &opts) {
    const int threads = opts.jobs > 0 ? opts.jobs : default_jobs();
    batch_outputs outputs;
    outputs.summary_path = opts.summary;
    outputs.report_path = opts.report;
    outputs.list_name = opts.site_list;
    outputs.check = opts.check;
    batch_outputs *wanted = opts.summary.empty() && opts.report.empty() ? nullptr : &outputs;
    // Past a file-size limit a write then fails (and is reported, and the
    // site file restored) instead of the signal killing the run mid-rewrite.
    fail_writes_past_size_limit();
    const fixed_files fixed = fixed_files_in(opts.scratch);
    const bool progress = opts.progress >= 0 ? opts.progress == 1 : is_terminal(STDERR_FILENO);
    if (opts.check)
        return check_batch(opts.site_list, opts.strict, opts.keep_soils, threads, progress, wanted,
                           opts.part, fixed);
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
    return run_batch(opts.site_list, run);
}
