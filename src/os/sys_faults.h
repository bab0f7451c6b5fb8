// Failures of the system's functions made on purpose, in a test build
// only: the test executables link the seam built with them (the target
// siteprep_sys_faults) in place of the plain one, which the programs
// keep. Any thread's calls count and fail; a signal handler's too.
#pragma once

#include "sys_seam.h"

#include <string>
#include <string_view>
#include <vector>

namespace os::sys {

// Calls of one function planned to fail, or to be made with a signal
// sent to the process as they start (as an interrupt would come then).
struct planned_fault {
    call fn = call::open;
    long nth = 1;   // the first of them, counted from now (1: the next)
    long times = 1; // how many in a row
    int err = 0;    // the errno they fail with (or short_transfer); 0: they are made
    int signal = 0; // the signal the process gets as each starts; 0: none
    // Only calls on a file whose name (after its last '/') starts so
    // count: the path given, or the file a descriptor or stream is open
    // on. Empty: every call.
    std::string file;
};

// Plans the fault: calls that fail return what the function returns on
// failure with errno set to err. A close or fclose that fails has closed
// all the same, as the system's does. A stream's error flag is not set:
// a failed fwrite, vfprintf or fflush shows in its return and errno. A
// fault of fn planned before is replaced.
void plan_fault(const planned_fault &fault);
// The same, for the calls of fn on any file.
void fail_call(call fn, long nth, int err, long times = 1);

// The calls of fn since the last clear_faults (or the start).
long calls_of(call fn);

// Clears every fault and every count, and ends a trace.
void clear_faults();

// A fault for the length of a scope; the counts and faults are cleared
// when it begins and when it ends.
class injected_fault {
  public:
    injected_fault(call fn, long nth, int err, long times = 1);
    explicit injected_fault(const planned_fault &fault);
    ~injected_fault();
    injected_fault(const injected_fault &) = delete;
    injected_fault &operator=(const injected_fault &) = delete;
};

// The calls made from now on, in order, each with the file it was made on
// (as the caller named it, or the descriptor's file as the system names
// it: "/tmp/d/plot.sfp"; empty for none).
struct traced_call {
    call fn;
    std::string file;
};
void start_trace();
std::vector<traced_call> trace();

// Makes geteuid say uid, as if another user ran the process (as root can
// arrange it, by owning a file to another user); a negative uid, or
// clear_faults, gives the real one again.
void pretend_user(long uid);

// A function's name ("unlink"), and the function of a name.
const char *name_of(call fn);
bool call_named(std::string_view name, call &fn);

} // namespace os::sys
