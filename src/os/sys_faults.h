// Failures of the system's functions made on purpose, in a test build
// only: the test executables link the seam built with them (the target
// siteprep_sys_faults) in place of the plain one, which the programs
// keep. Any thread's calls count and fail; a signal handler's too.
#pragma once

#include "sys.h"

namespace os::sys {

// A fault makes a transfer (read, pread, write, pwrite, fread, fwrite)
// move fewer bytes than asked instead of failing: half of them, at least
// one.
inline constexpr int short_transfer = -1;

// Makes calls nth to nth + times - 1 of fn, counted from now (1: the
// next), fail with err: they return what the function returns on
// failure with errno set to err. A close or fclose that fails has closed
// all the same, as the system's does. A stream's error flag is not set:
// a failed fwrite, vfprintf or fflush shows in its return and errno. A
// fault of fn set before is replaced.
void fail_call(call fn, long nth, int err, long times = 1);

// The calls of fn since the last clear_faults (or the start).
long calls_of(call fn);

// Clears every fault and every count.
void clear_faults();

// A fault for the length of a scope; the counts and faults are cleared
// when it begins and when it ends.
class injected_fault {
  public:
    injected_fault(call fn, long nth, int err, long times = 1);
    ~injected_fault();
    injected_fault(const injected_fault &) = delete;
    injected_fault &operator=(const injected_fault &) = delete;
};

// The seam's own question on each call: the errno the call being made now
// is to fail with (short_transfer for a short one), or 0.
int injected(call fn);

} // namespace os::sys
