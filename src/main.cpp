// siteprep: prepares the input files of every site in a site list.
#include "siteprep.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <getopt.h>
#include <sched.h>
#include <unistd.h>

namespace {

const char usage_line[] =
    "usage: siteprep [--check [--strict]] [--sync] [--jobs N] [--keep-going] "
    "[--keep-soils] [--summary CSV] [--report HTML] [--[no-]progress] SITE_LIST\n";

void print_help() {
    std::printf("%s", usage_line);
    std::printf("\n"
                "For every site of SITE_LIST, in order: writes the soil layer file soils.in\n"
                "from the site's texture, sets SITLAT, SITLNG, NLAYER, NLAYPG and ELEV in\n"
                "the site's parameter file SITE.sfp, and replaces lines 3 to 62 of that file\n"
                "with monthly climate statistics from the daily weather file SITE.wth.\n"
                "SITE.sfp is rewritten in place through the temporary copy XXXX.sfp.\n"
                "\n"
                "Site list lines: name latitude longitude sand silt clay bulk-density\n"
                "pass-through layer-code elevation, separated by white space.\n"
                "\n"
                "Options:\n"
                "  --check    check every site's files and report every problem, writing\n"
                "             nothing; status 0 when there is none\n"
                "  --strict   with --check: count warnings as problems (status 1)\n"
                "  --sync     sync every rewritten file to the disk before going on, so that\n"
                "             a power failure cannot lose a site file (slower)\n"
                "  -j, --jobs N\n"
                "             run on N threads: the others read the daily files of the\n"
                "             next sites while one rewrites the current site, and it\n"
                "             reads too rather than wait (default: the available cores,\n"
                "             at most 8; 1: no threads); the results are the same\n"
                "  --keep-going\n"
                "             go on past a site that fails (its site file is left as it\n"
                "             was) and list the failed sites at the end\n"
                "  --summary FILE.csv\n"
                "             also write the monthly statistics of every site as CSV\n"
                "  --report FILE.html\n"
                "             also write an HTML page with a climograph of every site\n"
                "  --keep-soils\n"
                "             also write each site's soil rows to SITE.soils.in\n"
                "  --progress, --no-progress\n"
                "             show or hide a progress line on standard error (default:\n"
                "             shown when standard error is a terminal)\n"
                "  --help     show this help and exit\n"
                "  --version  show the version and exit\n"
                "\n"
                "Exit status: 0 when every site was prepared, 1 after an error, 2 for a\n"
                "wrong command line.\n");
}

struct options {
    bool check = false;
    bool strict = false;
    bool sync = false;
    int jobs = 0; // 0: the available cores, at most 8
    bool keep_going = false;
    bool keep_soils = false;
    std::string summary, report; // --summary and --report files
    int progress = -1;           // -1: when standard error is a terminal
    bool help = false;
    bool version = false;
    const char *site_list = nullptr;
};

// False for a command line that is not one of the usage's.
bool parse_options(int argc, char **argv, options &opts) {
    static const option long_options[] = {{"check", no_argument, nullptr, 'c'},
                                          {"strict", no_argument, nullptr, 'x'},
                                          {"sync", no_argument, nullptr, 's'},
                                          {"jobs", required_argument, nullptr, 'j'},
                                          {"keep-going", no_argument, nullptr, 'k'},
                                          {"summary", required_argument, nullptr, 'C'},
                                          {"report", required_argument, nullptr, 'R'},
                                          {"keep-soils", no_argument, nullptr, 'S'},
                                          {"progress", no_argument, nullptr, 'p'},
                                          {"no-progress", no_argument, nullptr, 'P'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {"version", no_argument, nullptr, 'V'},
                                          {nullptr, 0, nullptr, 0}};
    opterr = 0; // the usage says it
    for (int opt; (opt = getopt_long(argc, argv, "+j:", long_options, nullptr)) != -1;) {
        switch (opt) {
        case 'c':
            opts.check = true;
            break;
        case 'x':
            opts.strict = true;
            break;
        case 's':
            opts.sync = true;
            break;
        case 'k':
            opts.keep_going = true;
            break;
        case 'C':
            opts.summary = optarg;
            break;
        case 'R':
            opts.report = optarg;
            break;
        case 'S':
            opts.keep_soils = true;
            break;
        case 'p':
        case 'P':
            opts.progress = opt == 'p';
            break;
        case 'j':
            if (!parse_int(optarg, opts.jobs) || opts.jobs < 1 || opts.jobs > 256)
                return false;
            break;
        case 'h':
            opts.help = true;
            break;
        case 'V':
            opts.version = true;
            break;
        default:
            return false;
        }
    }
    if (opts.help || opts.version)
        return optind == argc;
    if (argc - optind != 1)
        return false;
    opts.site_list = argv[optind];
    return true;
}

// The cores this process may run on, at most 8: more threads only wait on
// the one that rewrites.
int default_jobs() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return std::clamp(CPU_COUNT(&set), 1, 8);
}

// Messages are the run's record: a lost one is an error too.
int finish_stdout(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "siteprep: error writing standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}

} // namespace

int main(int argc, char **argv) {
    options opts;
    if (!parse_options(argc, argv, opts)) {
        std::fputs(usage_line, stderr);
        return 2;
    }
    if (opts.help) {
        print_help();
        return finish_stdout(0);
    }
    if (opts.version) {
        std::printf("siteprep %s\n", SITEPREP_VERSION);
        return finish_stdout(0);
    }
    const int threads = opts.jobs > 0 ? opts.jobs : default_jobs();
    batch_outputs outputs;
    outputs.summary_path = opts.summary;
    outputs.report_path = opts.report;
    outputs.list_name = opts.site_list;
    batch_outputs *wanted = opts.summary.empty() && opts.report.empty() ? nullptr : &outputs;
    if (opts.check)
        return finish_stdout(check_batch(opts.site_list, opts.strict, threads, wanted));
    sync_rewrites = opts.sync;
    // Past a file-size limit a write then fails (and is reported, and the
    // site file restored) instead of the signal killing the run mid-rewrite.
    std::signal(SIGXFSZ, SIG_IGN);
    run_options run;
    run.threads = threads;
    run.keep_going = opts.keep_going;
    run.keep_soils = opts.keep_soils;
    run.progress = opts.progress >= 0 ? opts.progress == 1 : isatty(STDERR_FILENO) == 1;
    run.outputs = wanted;
    return finish_stdout(run_batch(opts.site_list, run));
}
