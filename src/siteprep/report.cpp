// The end of a run or a check that ran out of memory.
#include "report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int say_out_of_memory() {
    std::printf("Error: %s; siteprep stopped.\n", std::strerror(ENOMEM));
    std::fprintf(stderr, "siteprep: out of memory; it stopped\n");
    return 1;
}
