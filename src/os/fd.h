// Checked writing and closing of streams: a write failure is never lost
// on the way to the close that reports it.
#pragma once

#include <cstdio>
#include <string_view>

// Checked output to a stream. The stream's first failure is remembered
// (with its errno) until close_output reports it.
bool put_text(FILE *fp, std::string_view text);
bool put_format(FILE *fp, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Copies everything from one stream to the other; 0 or the errno of the
// first read failure (a write failure is the output stream's, for its close).
int copy_stream(FILE *from, FILE *to);

// Closes an input stream; 0 or the errno of the failure.
int close_input(FILE *fp);

// Flushes and closes an output stream, first syncing it to the disk when
// sync is set; 0 or the errno of the first failure since it was opened.
int close_output(FILE *fp, bool sync);

// Messages are the run's record: a lost one is an error too. The status,
// or 1 (after saying so on standard error as program) when standard
// output could not be written.
int finish_stdout(const char *program, int status);
