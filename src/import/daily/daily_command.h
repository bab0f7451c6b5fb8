// The command line of the daily formats' import.
#pragma once

#include "formats.h"

namespace import {

// The command line after a daily format's name (argv[0] is the name); the
// exit status.
int daily_command(const daily_format &format, int argc, char **argv);

} // namespace import
