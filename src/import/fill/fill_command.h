// The fill command, and the fill's settings, which ghcn and daymet
// --fill-from take too.
#pragma once

#include "fill.h"

namespace import {

// A fill setting's value, from --max-interp (opt 'I'), --min-overlap
// ('L') or --max-bias ('B') with the value in optarg: a
// whole number of days (at least 0 for --max-interp, 1 for --min-overlap),
// or a positive number of degrees; false after saying why not.
bool take_fill_setting(int opt, fill_settings &f);

// The command line after "fill" (argv[0] is "fill"); the exit status.
int fill_command(int argc, char **argv);

} // namespace import
