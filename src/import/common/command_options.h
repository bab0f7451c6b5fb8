// The options of the importer's commands, read as GNU tools read them:
// each command has its own table; an option of another command is refused
// with a word on where it goes, and one of none by getopt_long.
#pragma once

#include <functional>
#include <getopt.h>
#include <string>
#include <vector>

namespace import {

// Options a command refuses, and what it says of them: their long names,
// each ending in '=' where the option takes a value.
struct refused_options {
    std::vector<const char *> names;
    std::string why;
};

// Reads the options of argv (argv[0] the command's word) with take, each
// as getopt_long gives it, until one is wrong (take returns false) or
// refused (said on standard error); the arguments left start at optind.
// False for a wrong one.
// short_options: getopt's string of the letters it takes.
bool read_command_options(int argc, char **argv, const option *long_options,
                          const std::function<bool(int)> &take,
                          const std::vector<refused_options> &refused = {},
                          const char *short_options = "h");

// An option's text as its value, which must not be empty; false after
// saying so.
bool take_text(const char *option, std::string &into);

// --years FIRST-LAST: whole years, no more than siteprep reads; false
// after saying why not.
bool take_years(const char *text, int &first, int &last);

// The inputs left after the options (from optind): at least one, and
// standard input ('-') only where reads_stdin; false after saying why not.
bool take_inputs(int argc, char **argv, bool reads_stdin, std::vector<std::string> &inputs);

// What a command that fills nothing says of the fill's options (--donor,
// and unless donor_only --fill-from and the settings).
std::vector<refused_options> fill_options_refused(bool donor_only);

// The help of the options every command takes.
extern const char shared_options_help[];

} // namespace import
