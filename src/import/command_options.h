// The options of the importer's commands (soil, sites), read as GNU tools
// read them: a wrong one is said on standard error by getopt_long.
#pragma once

#include <functional>
#include <getopt.h>

namespace import {

// Reads the options of argv (argv[0] the command's word) with take, each
// as getopt_long gives it, until one is wrong (take returns false); the
// arguments left start at optind. False for a wrong one.
bool read_command_options(int argc, char **argv, const option *long_options,
                          const std::function<bool(int)> &take);

} // namespace import
