// The one printer of a program: its messages on standard output, in the
// order they are said, and its lines on standard error. A failed write to
// standard output is kept, and finish_printing reports it: a lost message
// is an error too.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string_view>

namespace os {

// A message line on standard output (the line end added).
void print_line(std::string_view line);
// Text on standard output as it stands.
void print_text(std::string_view text);
// Formatted text on standard output, as printf puts it.
void print_format(const char *format, ...) __attribute__((format(printf, 1, 2)));
void print_vformat(const char *format, va_list args) __attribute__((format(printf, 1, 0)));
// What was said so far, out now: a message that someone waits on, or one
// that must outlast an interrupt.
void print_now();

// A line on standard error, after the program's name ("siteprep: ...").
void print_error(const char *program, std::string_view text);
// A line on standard error as it stands (the line end added), and text
// there as it stands.
void print_error_line(std::string_view line);
void print_error_text(std::string_view text);

// Text put out on a stream at once, nothing kept of a failure: the
// progress line, which nothing depends on.
void print_at_once(FILE *stream, std::string_view text);

// Whether standard output and standard error are one file.
bool same_output_and_error();

// The end of a program's output: the status, or 1 (after saying so on
// standard error) when standard output could not be written.
int finish_printing(const char *program, int status);

} // namespace os
