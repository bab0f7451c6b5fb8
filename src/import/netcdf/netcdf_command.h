// The netcdf command's command line.
#pragma once

namespace import {

// The command line after "netcdf" (argv[0] is "netcdf"); the exit status.
int netcdf_command(int argc, char **argv);

} // namespace import
