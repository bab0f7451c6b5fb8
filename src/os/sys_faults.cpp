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

fault_slot slots[calls];

std::atomic<bool> tracing{false};
std::mutex trace_lock;
std::vector<traced_call> calls_made;

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

} // namespace

injection injected(call fn, const file_ref &file) {
    fault_slot &f = slots[static_cast<int>(fn)];
    f.count.fetch_add(1);
    const bool traced = tracing.load();
    const bool filtered = f.has_file.load();
    std::string name;
    if (traced || filtered)
        name = file_name_of(file);
    if (traced) {
        std::lock_guard<std::mutex> hold(trace_lock);
        calls_made.push_back({fn, name});
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
    fault_slot &f = slots[static_cast<int>(fault.fn)];
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
    return slots[static_cast<int>(fn)].count.load();
}

void clear_faults() {
    tracing.store(false);
    for (fault_slot &f : slots) {
        f.first.store(0);
        f.has_file.store(false);
        f.count.store(0);
        f.matched.store(0);
    }
    std::lock_guard<std::mutex> hold(trace_lock);
    calls_made.clear();
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
    {
        std::lock_guard<std::mutex> hold(trace_lock);
        calls_made.clear();
    }
    tracing.store(true);
}

std::vector<traced_call> trace() {
    std::lock_guard<std::mutex> hold(trace_lock);
    return calls_made;
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
