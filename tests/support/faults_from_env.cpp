// Linked into siteprep_with_faults, the test build of siteprep on the
// seam's test build: before main runs, the faults that SITEPREP_FAULTS
// names are planned (one a line, "call:nth:times:errno:signal:file", as
// seam_faults_setting writes them), and with SITEPREP_TRACE=FILE the calls
// made are written to FILE at the end ("call file", one a line), so that
// an end-to-end test meets a full disk, a lost permission, an interrupt at
// a given call or a thread refused as a run does, without root or a tracer.
#include "sys_faults.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

std::string trace_file;

void write_trace() {
    FILE *out = std::fopen(trace_file.c_str(), "w");
    if (out == nullptr)
        return;
    for (const os::sys::traced_call &c : os::sys::trace())
        std::fprintf(out, "%s %s\n", os::sys::name_of(c.fn), c.file.c_str());
    std::fclose(out);
}

// A fault from its line; a line that names no function ends the process,
// so that a test's mistake is not taken for a pass.
void plan(const std::string &line) {
    std::istringstream fields(line);
    std::string name, nth, times, err, signal, file;
    std::getline(fields, name, ':');
    std::getline(fields, nth, ':');
    std::getline(fields, times, ':');
    std::getline(fields, err, ':');
    std::getline(fields, signal, ':');
    std::getline(fields, file);
    os::sys::planned_fault fault;
    if (!os::sys::call_named(name, fault.fn)) {
        std::fprintf(stderr, "SITEPREP_FAULTS: no such call: %s\n", name.c_str());
        std::exit(125);
    }
    fault.nth = std::atol(nth.c_str());
    fault.times = std::atol(times.c_str());
    fault.err = std::atoi(err.c_str());
    fault.signal = std::atoi(signal.c_str());
    fault.file = file;
    os::sys::plan_fault(fault);
}

const bool planned = [] {
    if (const char *faults = std::getenv("SITEPREP_FAULTS")) {
        std::istringstream lines(faults);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty())
                plan(line);
    }
    if (const char *trace = std::getenv("SITEPREP_TRACE")) {
        trace_file = trace;
        os::sys::start_trace();
        std::atexit(write_trace);
    }
    return true;
}();

} // namespace
