// The options of the importer's commands.
#include "command_options.h"

namespace import {

bool read_command_options(int argc, char **argv, const option *long_options,
                          const std::function<bool(int)> &take) {
    // getopt_long names the program by argv[0] in what it says.
    char name[] = "siteprep-import";
    char *const invoked = argv[0];
    argv[0] = name;
    opterr = 1;
    optind = 1;
    bool ok = true;
    for (int opt; ok && (opt = getopt_long(argc, argv, "h", long_options, nullptr)) != -1;)
        ok = take(opt);
    argv[0] = invoked;
    return ok;
}

} // namespace import
