// The importer's messages, said through the printer: its name before an
// error, a run's lines on standard output and standard error, the list of
// failures at the end, a wrong command line's answer, and the answer to
// running out of memory. No other unit of the importer prints.
#pragma once

#include "convert.h"
#include "failure.h"

#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace import {

// The program's name, as its messages begin.
const char *program_name();

// A message line on standard output (the line end added); text as it
// stands; formatted text, as printf puts it.
void say_line(std::string_view line);
void say_text(std::string_view text);
void say_format(const char *format, ...) __attribute__((format(printf, 1, 2)));
// What was said so far, out now: kept if an interrupt ends what follows.
void say_now();

// the program's name, a colon and text on standard error, and a line there as it stands.
void say_error(std::string_view text);
void say_error_line(std::string_view line);

// The values of a file outside the physical range, once for the file:
// "PROGRAM: warning: WHERE: 2 tmax values outside ... (the first on ...),
// DONE"; nothing when there are none.
void say_outside_range(std::string_view where, const outside_range &found, std::string_view done);

// A command's failure said as say_error says it: status 1; 0, saying
// nothing, for one that did not fail.
int error_status(const failure &f);

// The list at the end of a run that went on past failures: "Failed
// inputs:" (or sites), a line for each, and "N of M inputs failed".
void say_failures(const char *what, const std::vector<std::string> &lines, size_t of);

// The usage lines of a command, each given without the program's name:
// "usage: PROGRAM LINE", the others under it.
std::string usage_of(std::initializer_list<std::string_view> lines);
// A wrong command line, after what was wrong has been said: the usage and
// where the help of the command (empty: the program's) is; status 2.
int wrong_command_line(std::string_view usage, std::string_view command);
// the program's name and its version.
void say_version(const char *version);

// The answer to running out of memory: "PROGRAM: Cannot allocate
// memory; it stopped", status 1; or, while doing something, "DOING:
// Cannot allocate memory; PROGRAM stopped".
int say_out_of_memory();
void say_out_of_memory_while(std::string_view doing);

// The end of the program: the status, or 1 after saying so when standard
// output could not be written.
int finish(int status);

// Runs f, and false when it ran out of memory: the one place the
// importer meets std::bad_alloc.
template <class F> bool ran_in_memory(F &&f) {
    try {
        f();
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// A command's run: its status, or 1 after saying it ran out of memory.
template <class F> int run_reported(F &&f) {
    int status = 1;
    return ran_in_memory([&] { status = f(); }) ? status : say_out_of_memory();
}

} // namespace import
