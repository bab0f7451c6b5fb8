// Failures of the system's functions made on purpose, for the tests: a
// count of each function's calls and the calls that are to fail. Atomic,
// so that a worker thread or a signal handler may count too.
#include "sys_faults.h"

#include <atomic>

namespace os::sys {

namespace {

struct planned_fault {
    std::atomic<long> count{0};
    std::atomic<long> first{0}, last{0}; // the calls that fail; none when first is 0
    std::atomic<int> err{0};
};

planned_fault faults[calls];

} // namespace

int injected(call fn) {
    planned_fault &f = faults[static_cast<int>(fn)];
    const long n = f.count.fetch_add(1) + 1;
    const long first = f.first.load();
    return first != 0 && n >= first && n <= f.last.load() ? f.err.load() : 0;
}

void fail_call(call fn, long nth, int err, long times) {
    planned_fault &f = faults[static_cast<int>(fn)];
    const long now = f.count.load();
    f.first.store(0);
    f.err.store(err);
    f.last.store(now + nth + times - 1);
    f.first.store(now + nth);
}

long calls_of(call fn) {
    return faults[static_cast<int>(fn)].count.load();
}

void clear_faults() {
    for (planned_fault &f : faults) {
        f.first.store(0);
        f.count.store(0);
    }
}

injected_fault::injected_fault(call fn, long nth, int err, long times) {
    clear_faults();
    fail_call(fn, nth, err, times);
}

injected_fault::~injected_fault() {
    clear_faults();
}

} // namespace os::sys
