// siteprep: prepares the input files of every site in a site list. This
// file holds only the command line.
#include "files.h"
#include "layout.h"
#include "open.h"
#include "options.h"
#include "printer.h"
#include "shown.h"
#include "tokens.h"

#include <getopt.h>
#include <string>

namespace {

const char usage_line[] =
    "usage: siteprep [--sync] [--jobs N] [--keep-going] [--keep-soils] [--summary CSV]\n"
    "                [--report HTML] [--[no-]progress] [--part K/N] [--scratch DIR]\n"
    "                [--failed FILE] [--template FILE.sfp] [--texture-keys]\n"
    "                [--completeness RULE] [--years A-B] [--monthly CSV] [--] SITE_LIST\n"
    "       siteprep --check [--strict] [--jobs N] [--keep-soils] [--summary CSV]\n"
    "                [--report HTML] [--[no-]progress] [--part K/N] [--scratch DIR]\n"
    "                [--template FILE.sfp] [--texture-keys] [--completeness RULE]\n"
    "                [--years A-B] [--normals-min F]\n"
    "                [--neighbours K[,KM] | --no-neighbours] [--monthly CSV] [--] SITE_LIST\n"
    "       siteprep --help | --version\n";

void print_help() {
    os::print_text(usage_line);
    os::print_format(
        "\n"
        "For every site of SITE_LIST, in order: writes the soil layer file soils.in\n"
        "from the site's texture, sets SITLAT, SITLNG, NLAYER, NLAYPG and ELEV in\n"
        "the site's parameter file NAME.sfp, and replaces lines %d to %d of that file\n"
        "with monthly climate statistics from the daily weather file NAME.wth.\n"
        "NAME.sfp is rewritten in place through the temporary copy XXXX.sfp.\n"
        "\n"
        "Site list lines: name latitude longitude sand silt clay bulk-density\n"
        "pass-through layer-code elevation, separated by white space.\n"
        "Daily weather lines (NAME.wth): day month year day-of-year Tmax Tmin\n"
        "precipitation, temperatures in degrees C and precipitation in cm a day;\n"
        "values below -98 are missing.\n"
        "\n"
        "Options (they may also follow SITE_LIST; -- ends them):\n"
        "  --check    check every site's files and report every problem, writing\n"
        "             no site file; status 0 when there is none; its audit names a\n"
        "             leap year's December 31 a 365-day source (Daymet) drops as a\n"
        "             gap, and siteprep-import daymet --fill-from, which fills it\n"
        "  --strict   with --check: count warnings as problems (status 1); the\n"
        "             last line then says so\n"
        "  --sync     sync every rewritten file to the disk before going on, so that\n"
        "             a power failure cannot lose a site file (slower)\n"
        "  -j, --jobs N\n"
        "             run on N threads: the others read the daily files of the\n"
        "             next sites while one rewrites the current site, and it\n"
        "             reads too rather than wait (default: the available cores,\n"
        "             at most 8; 1: no threads); the results are the same\n"
        "  --keep-going\n"
        "             go on past a site that fails and list the failed sites at\n"
        "             the end (a failed site's file is restored, or keeps its new\n"
        "             site keys when its daily file is at fault)\n"
        "  --summary FILE.csv\n"
        "             also write the monthly statistics of every site as CSV,\n"
        "             each row with the site and its line in SITE_LIST\n"
        "  --report FILE.html\n"
        "             also write an HTML page: an overview table and a map of the\n"
        "             sites, and a climograph of every site\n"
        "  --keep-soils\n"
        "             also write each prepared site's soil rows to NAME.soils.in\n"
        "  --progress, --no-progress\n"
        "             show or hide the progress of a run or a check on standard\n"
        "             error (default: shown when standard error is a terminal);\n"
        "             elsewhere plain lines, one every 10 seconds at most, and a\n"
        "             last one with the final count\n"
        "  --part K/N take only the K-th of N near-equal parts of the list,\n"
        "             counted in sites (messages keep the list's line numbers;\n"
        "             the outputs are guarded against the whole list's files)\n"
        "  --scratch DIR\n"
        "             put soils.in and XXXX.sfp in DIR (site names still resolve\n"
        "             from the working directory; NAME.soils.in stays beside NAME.sfp)\n"
        "  --failed FILE\n"
        "             also write to FILE the site-list lines of every site not\n"
        "             prepared (failed, or left by a stop, a refusal or a signal):\n"
        "             a site list that runs just them again (empty if none)\n"
        "  --template FILE.sfp\n"
        "             a site whose NAME.sfp is not there gets a copy of FILE.sfp\n"
        "             first (a new file's mode); one that is there is never\n"
        "             touched; with --check, lists the files it would make\n"
        "  --texture-keys\n"
        "             also set SAND, SILT, CLAY (the texture as the soil rows\n"
        "             take it) and BULKD (the bulk density they compute) where\n"
        "             NAME.sfp holds them, with an Update line each\n"
        "  --completeness RULE\n",
        block_first_line, block_last_line);
    // The rules, from their table, in the paragraph's lines.
    os::print_text(wrapped("leave out of the statistics each month that RULE finds too incomplete "
                           "(days absent from the file count as missing): " +
                               rules_help() +
                               "; with it or --years, --summary adds the sample skewness, its "
                               "standard error, the rule and the years",
                           13, 72));
    os::print_text("  --years A-B\n"
                   "             the statistics over the years A to B only (a normals period)\n"
                   "  --normals-min F\n"
                   "             with --check and --years: warn of each calendar month with\n"
                   "             valid values in fewer than the share F of the period's years\n"
                   "             (compared exactly: 8 of 10 years reach 0.8)\n"
                   "  --neighbours K[,KM]\n"
                   "             with --check: compare each site with its K nearest sites\n"
                   "             within KM km (default 5,200; 0: not at all), and warn of\n"
                   "             one whose annual precipitation is beyond 3 times or a third\n"
                   "             of their median, or whose mean temperature at sea level\n"
                   "             (6.5 degrees C a km) is more than 3 degrees from theirs,\n"
                   "             with the likely cause; batches of K sites or fewer are not\n"
                   "             compared\n"
                   "  --no-neighbours\n"
                   "             with --check: no comparison (--neighbours 0)\n"
                   "  --monthly FILE.csv\n"
                   "             also write the monthly values of every site as CSV, a row a\n"
                   "             year and month: the days behind each, the longest gap, the\n"
                   "             days filled, and whether it enters the statistics\n"
                   "  -h, --help show this help and exit\n"
                   "  --version  show the version and exit\n"
                   "\n"
                   "Exit status: 0 when every site was prepared, 1 after an error, 2 for a\n"
                   "wrong command line.\n");
}

// What is wrong with a command line, as GNU tools say it; getopt_long says
// it itself for an unknown or ambiguous option or a missing argument.
void say_wrong(const std::string &what) {
    os::print_error("siteprep", what);
}

// The option's value, unless it is empty: a file name is needed.
bool take_file_name(const char *option, std::string &into) {
    into = optarg;
    if (!into.empty())
        return true;
    say_wrong(std::string("option '") + option + "' needs a file name");
    return false;
}

// K/N with 1 <= K <= N.
bool take_part(list_part &part) {
    const std::string text = optarg;
    const size_t slash = text.find('/');
    int k = 0, n = 0;
    if (slash != std::string::npos && parse_int(text.substr(0, slash), k) &&
        parse_int(text.substr(slash + 1), n) && k >= 1 && k <= n &&
        text.find_first_not_of("0123456789/") == std::string::npos) {
        part = {k, n};
        return true;
    }
    say_wrong("invalid --part value '" + text + "': K/N with 1 <= K <= N, such as 3/16");
    return false;
}

// --completeness RULE.
bool take_rule(command_options &opts) {
    opts.choice_named = true;
    if (parse_rule(optarg, opts.choice.rule))
        return true;
    say_wrong(std::string("invalid --completeness value '") + optarg + "': " + rules_listed());
    return false;
}

// --years A-B, years of four digits at most.
bool take_years(command_options &opts) {
    const std::string text = optarg;
    int first = 0, last = 0;
    if (parse_year_range(text, first, last)) {
        opts.choice.first_year = first;
        opts.choice.last_year = last;
        opts.choice_named = true;
        return true;
    }
    say_wrong("invalid --years value '" + text + "': FIRST-LAST, such as 1991-2020");
    return false;
}

// --normals-min F, a share above 0 and at most 1.
bool take_share(command_options &opts) {
    float share = 0;
    if (parse_float(optarg, share) && share > 0 && share <= 1) {
        opts.normals_min = share;
        return true;
    }
    say_wrong(std::string("invalid --normals-min value '") + optarg +
              "': a share above 0 and at most 1, such as 0.8");
    return false;
}

// --neighbours K[,KM]: K from 0 (none) to 100, KM above 0 and at most
// half the Earth's circumference.
bool take_neighbours(command_options &opts) {
    const std::string text = optarg;
    const size_t comma = text.find(',');
    int k = 0;
    float km = 200;
    if (parse_int(text.substr(0, comma), k) && k >= 0 && k <= 100 &&
        (comma == std::string::npos ||
         (parse_float(text.substr(comma + 1), km) && km > 0 && km <= 20016))) {
        opts.neighbours = {k, km};
        opts.neighbours_named = true;
        return true;
    }
    say_wrong("invalid --neighbours value '" + text +
              "': K[,KM], K nearest sites from 0 to 100 within KM km, such as 5,200");
    return false;
}

// One option; false (after saying why) for a wrong one.
bool take_option(int opt, command_options &opts) {
    switch (opt) {
    case 'c':
        opts.check = true;
        return true;
    case 'x':
        opts.strict = true;
        return true;
    case 's':
        opts.sync = true;
        return true;
    case 'k':
        opts.keep_going = true;
        return true;
    case 'C':
        return take_file_name("--summary", opts.summary);
    case 'R':
        return take_file_name("--report", opts.report);
    case 'S':
        opts.keep_soils = true;
        return true;
    case 'p':
    case 'P':
        opts.progress = opt == 'p';
        return true;
    case 'K':
        return take_part(opts.part);
    case 'D':
        return take_file_name("--scratch", opts.scratch);
    case 'F':
        return take_file_name("--failed", opts.failed);
    case 'T':
        return take_file_name("--template", opts.extras.template_path);
    case 'X':
        opts.extras.texture_keys = true;
        return true;
    case 'Q':
        return take_rule(opts);
    case 'Y':
        return take_years(opts);
    case 'N':
        return take_share(opts);
    case 'M':
        return take_file_name("--monthly", opts.monthly);
    case 'B':
        return take_neighbours(opts);
    case 'b':
        opts.neighbours.k = 0;
        opts.neighbours_named = true;
        return true;
    case 'j':
        if (parse_int(optarg, opts.jobs) && opts.jobs >= 1 && opts.jobs <= 256)
            return true;
        say_wrong(std::string("invalid --jobs value '") + optarg +
                  "': a whole number from 1 to 256");
        return false;
    case 'h':
        opts.help = true;
        return true;
    case 'V':
        opts.version = true;
        return true;
    default:
        return false; // getopt_long has said why
    }
}

// The options, each with the letter take_option knows it by.
const option long_options[] = {
    {"check", no_argument, nullptr, 'c'},         {"strict", no_argument, nullptr, 'x'},
    {"sync", no_argument, nullptr, 's'},          {"jobs", required_argument, nullptr, 'j'},
    {"keep-going", no_argument, nullptr, 'k'},    {"summary", required_argument, nullptr, 'C'},
    {"report", required_argument, nullptr, 'R'},  {"keep-soils", no_argument, nullptr, 'S'},
    {"progress", no_argument, nullptr, 'p'},      {"no-progress", no_argument, nullptr, 'P'},
    {"part", required_argument, nullptr, 'K'},    {"scratch", required_argument, nullptr, 'D'},
    {"failed", required_argument, nullptr, 'F'},  {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},       {"completeness", required_argument, nullptr, 'Q'},
    {"years", required_argument, nullptr, 'Y'},   {"normals-min", required_argument, nullptr, 'N'},
    {"monthly", required_argument, nullptr, 'M'}, {"template", required_argument, nullptr, 'T'},
    {"texture-keys", no_argument, nullptr, 'X'},  {"neighbours", required_argument, nullptr, 'B'},
    {"no-neighbours", no_argument, nullptr, 'b'}, {nullptr, 0, nullptr, 0}};

// False, after saying what is wrong, for a command line that is not one of
// the usage's. Options may follow the site list, as GNU tools take them.
bool parse_options(int argc, char **argv, command_options &opts) {
    // getopt_long names the program by argv[0], which may be a whole path.
    char name[] = "siteprep";
    char *const invoked = argv[0];
    argv[0] = name;
    opterr = 1;
    bool ok = true;
    for (int opt; ok && (opt = getopt_long(argc, argv, "hj:", long_options, nullptr)) != -1;)
        ok = take_option(opt, opts);
    argv[0] = invoked;
    if (!ok)
        return false;
    if (opts.help || opts.version) {
        if (optind == argc)
            return true;
        say_wrong(std::string("unexpected argument '") + argv[optind] + "'");
        return false;
    }
    if (opts.strict && !opts.check) {
        say_wrong("option '--strict' goes with '--check'");
        return false;
    }
    if (!opts.failed.empty() && opts.check) {
        say_wrong("option '--failed' goes with a run, not '--check'");
        return false;
    }
    if (opts.normals_min > 0 && (!opts.check || opts.choice.first_year == 0)) {
        say_wrong(!opts.check ? "option '--normals-min' goes with '--check'"
                              : "option '--normals-min' needs '--years': the share is of the "
                                "period's years");
        return false;
    }
    if (opts.neighbours_named && !opts.check) {
        say_wrong("option '--neighbours' goes with '--check'");
        return false;
    }
    if (!opts.scratch.empty() && !os::is_directory(opts.scratch)) {
        say_wrong("--scratch '" + opts.scratch + "' is not a directory");
        return false;
    }
    if (argc - optind != 1) {
        say_wrong(optind == argc ? std::string("no site list given")
                                 : "one site list expected, not " + std::to_string(argc - optind) +
                                       " arguments");
        return false;
    }
    opts.site_list = argv[optind];
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (!os::fill_standard_descriptors())
        return 1;
    command_options opts;
    if (!parse_options(argc, argv, opts)) {
        os::print_error_text(usage_line);
        os::print_error_text("Try 'siteprep --help' for more information.\n");
        return 2;
    }
    if (opts.help) {
        print_help();
        return os::finish_printing("siteprep", 0);
    }
    if (opts.version) {
        os::print_format("siteprep %s\n", SITEPREP_VERSION);
        return os::finish_printing("siteprep", 0);
    }
    return os::finish_printing("siteprep", run_command(opts));
}
