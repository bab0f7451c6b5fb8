// Interrupts deferred while a file is written, so that the process ends
// between two writes of a file, never in the middle of one.
#pragma once

namespace os {

// Names a temporary file that an interrupt coming while none is deferred
// removes before it ends the process (nullptr: none): a write that may wait
// on its input, and so is not deferred, leaves nothing behind. The path is
// one the system took (shorter than PATH_MAX).
void remove_on_interrupt(const char *path);

// What the process does before an interrupt, a hang-up or a closed output
// pipe ends it, once (nullptr: nothing): only async-signal-safe calls.
void at_interrupt(void (*last_words)());

// A write past the process's file size limit fails (EFBIG) instead of
// ending the process, so that the failure is told and the file restored.
void fail_writes_past_size_limit();

// Interrupts deferred for the length of a scope: an interrupt, a hang-up
// or a closed output pipe that comes meanwhile waits, and ends the process
// as the scope ends (the last such scope, where threads each have one),
// between two writes of a file, never in the middle; no way out of the
// scope leaves them deferred.
class deferred_interrupts {
  public:
    deferred_interrupts();
    ~deferred_interrupts();
    deferred_interrupts(const deferred_interrupts &) = delete;
    deferred_interrupts &operator=(const deferred_interrupts &) = delete;
};

// Whether an interrupt is waiting for the scopes that defer it to end: a
// thread writing one file after another takes no new one then.
bool interrupt_pending();

} // namespace os
