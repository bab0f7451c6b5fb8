// Failures of the system's functions made on purpose, for the tests: a
// count of each function's calls and the calls that are to fail. Atomic,
// so that a worker thread or a signal handler may count too; a plan's
// file and the trace are set while no other thread runs, or read under a
// lock.
#include "sys_faults.h"

#include <atomic>
#include <iterator>
#include <mutex>

namespace os::sys {

namespace {

struct fault_slot {
    std::atomic<long> count{0};          // every call
    std::atomic<long> matched{0};        // the calls on the plan's file
    std::atomic<long> first{0}, last{0}; // the matched calls that fail; none when first is 0
    std::atomic<int> err{0}, signal{0};
    std::atomic<bool> has_file{false};
    std::string file;
};

// Made on first use: a plan may come from another file's static
// initialisation, before this file's would run.
fault_slot &slot(call fn) {
    static fault_slot slots[calls];
    return slots[static_cast<int>(fn)];
}

struct call_trace {
    std::atomic<bool> on{false};
    std::mutex lock;
    std::vector<traced_call> calls;
};
call_trace &traced() {
    static call_trace t;
    return t;
}

// In the order of call.
const char *const names[] = {
    "open",     "openat",         "read",          "pread",  "write",    "pwrite",   "lseek",
    "fsync",    "fdatasync",      "ftruncate",     "close",  "dup",      "fcntl",    "flock",
    "fstat",    "stat",           "lstat",         "access", "readlink", "realpath", "rename",
    "link",     "unlink",         "mkdir",         "rmdir",  "fchmod",   "mkostemp", "isatty",
    "fopen",    "fdopen",         "fclose",        "fflush", "fread",    "fwrite",   "vfprintf",
    "fmemopen", "open_memstream", "pthread_create"};
static_assert(std::size(names) == calls);

// Whether a file's name, after its last '/', starts with prefix.
bool named_so(const std::string &path, const std::string &prefix) {
    const size_t slash = path.rfind('/');
    return path.compare(slash == std::string::npos ? 0 : slash + 1, prefix.size(), prefix) == 0;
}

std::atomic<long> pretended{-1};

} // namespace

injection injected(call fn, const file_ref &file) {
    fault_slot &f = slot(fn);
    f.count.fetch_add(1);
    call_trace &t = traced();
    const bool tracing = t.on.load();
    const bool filtered = f.has_file.load();
    std::string name;
    if (tracing || filtered)
        name = file_name_of(file);
    if (tracing) {
        std::lock_guard<std::mutex> hold(t.lock);
        t.calls.push_back({fn, name});
    }
    if (filtered && !named_so(name, f.file))
        return {};
    const long n = f.matched.fetch_add(1) + 1;
    const long first = f.first.load();
    if (first == 0 || n < first || n > f.last.load())
        return {};
    return {f.err.load(), f.signal.load()};
}

void plan_fault(const planned_fault &fault) {
    fault_slot &f = slot(fault.fn);
    f.first.store(0);
    f.has_file.store(false);
    f.file = fault.file;
    f.matched.store(0);
    f.err.store(fault.err);
    f.signal.store(fault.signal);
    f.last.store(fault.nth + fault.times - 1);
    f.has_file.store(!fault.file.empty());
    f.first.store(fault.nth);
}

void fail_call(call fn, long nth, int err, long times) {
    plan_fault({fn, nth, times, err, 0, std::string()});
}

long calls_of(call fn) {
    return slot(fn).count.load();
}

void clear_faults() {
    pretended.store(-1);
    call_trace &t = traced();
    t.on.store(false);
    for (int i = 0; i < calls; ++i) {
        fault_slot &f = slot(static_cast<call>(i));
        f.first.store(0);
        f.has_file.store(false);
        f.count.store(0);
        f.matched.store(0);
    }
    std::lock_guard<std::mutex> hold(t.lock);
    t.calls.clear();
}

injected_fault::injected_fault(call fn, long nth, int err, long times)
    : injected_fault(planned_fault{fn, nth, times, err, 0, std::string()}) {}

injected_fault::injected_fault(const planned_fault &fault) {
    clear_faults();
    plan_fault(fault);
}

injected_fault::~injected_fault() {
    clear_faults();
}

void start_trace() {
    call_trace &t = traced();
    {
        std::lock_guard<std::mutex> hold(t.lock);
        t.calls.clear();
    }
    t.on.store(true);
}

std::vector<traced_call> trace() {
    call_trace &t = traced();
    std::lock_guard<std::mutex> hold(t.lock);
    return t.calls;
}

void pretend_user(long uid) {
    pretended.store(uid);
}

long pretended_user() {
    return pretended.load();
}

const char *name_of(call fn) {
    return names[static_cast<int>(fn)];
}

bool call_named(std::string_view name, call &fn) {
    for (int i = 0; i < calls; ++i)
        if (name == names[i]) {
            fn = static_cast<call>(i);
            return true;
        }
    return false;
}

} // namespace os::sys
