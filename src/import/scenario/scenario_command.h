// The scenario command's command line.
#pragma once

namespace import {

// The command line after "scenario" (argv[0] is "scenario"); the exit status.
int scenario_command(int argc, char **argv);

} // namespace import
