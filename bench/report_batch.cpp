// A batch for the --report page's benchmark (bench/report_page.py): SITES
// small sites of two years each, with missing values, in DIR.
//
// usage: report_batch DIR SITES
#include "batch.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: report_batch DIR SITES\n");
        return 2;
    }
    make_batch(argv[1], std::atoi(argv[2]), 2, 0, "varied");
    return 0;
}
