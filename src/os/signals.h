// Interrupts deferred while a file is written, so that the process ends
// between two writes of a file, never in the middle of one.
#pragma once

// While set, an interrupt, a hang-up or a closed output pipe waits: the
// process then ends between two writes of a file, never in the middle.
void defer_interrupts(bool defer);

// Names a temporary file that an interrupt coming while none is deferred
// removes before it ends the process (nullptr: none): a write that may wait
// on its input, and so is not deferred, leaves nothing behind. The path is
// one the system took (shorter than PATH_MAX).
void remove_on_interrupt(const char *path);

// What the process does before an interrupt, a hang-up or a closed output
// pipe ends it, once (nullptr: nothing): only async-signal-safe calls.
void at_interrupt(void (*last_words)());
