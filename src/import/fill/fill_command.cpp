// The command line of the fill command.
#include "fill_command.h"

#include "command_options.h"
#include "fill_files.h"
#include "reporter.h"
#include "tokens.h"

namespace import {

namespace {

const std::string fill_usage =
    usage_of({"fill TARGET.wth --donor A.wth [--donor B.wth]... (-o DIR | --force) "
              "[--stations FILE.csv]"});

void print_fill_help() {
    say_text(fill_usage);
    say_text("\n"
             "Fills the gaps of TARGET.wth from neighbouring stations' daily files and\n"
             "writes DIR/NAME.wth (or, with --force and no -o, TARGET.wth in place),\n"
             "NAME.fill.csv (every value filled: date, quantity, value, method, source,\n"
             "adjustment) and NAME.fill-skill.csv (each donor month's fit and its error\n"
             "on every 10th overlapping day held out). Temperatures: runs of at most\n"
             "--max-interp days interpolated, then donor + the calendar month's bias;\n"
             "precipitation: donor x the calendar month's ratio, never interpolated.\n"
             "\n"
             "Options:\n"
             "  --donor FILE.wth      a neighbouring station's daily file, tried in the\n"
             "                        order given (repeatable)\n"
             "  -o, --output-dir DIR  write the filled files in DIR\n"
             "  --force               replace the target in place (without -o), or the\n"
             "                        files in DIR\n"
             "  --stations FILE.csv   give the target's row of this stations table its\n"
             "                        filled file's days and missing days\n"
             "  --max-interp N        the longest run of temperatures interpolated\n"
             "                        (default 3; 0: none)\n"
             "  --min-overlap N       days both must have valid in a calendar month for\n"
             "                        its bias or ratio to be used (default 60)\n"
             "  --max-bias X          the largest bias, and standard deviation of the\n"
             "                        differences, of a donor month in degrees C (default 3)\n");
    say_text(shared_options_help);
    say_text("\n"
             "Exit status: 0 when the target was filled, 1 after an error, 2 for a wrong\n"
             "command line.\n");
}

struct fill_line {
    fill_request r;
    bool help = false, output_given = false;
};

bool take_fill_option(int opt, fill_line &c) {
    switch (opt) {
    case 'U':
        c.r.donors.push_back(optarg);
        return true;
    case 'o':
        c.output_given = true;
        return take_text("--output-dir", c.r.output_dir);
    case 'f':
        c.r.force = true;
        return true;
    case 'S':
        return take_text("--stations", c.r.stations);
    case 'I':
    case 'L':
    case 'B':
        return take_fill_setting(opt, c.r.settings);
    case 'h':
        c.help = true;
        return true;
    default:
        return false; // getopt_long has said why
    }
}

const std::vector<refused_options> &fill_refuses() {
    static const std::vector<refused_options> refused = {
        {{"name=",      "years=",   "ghcn-stations=", "keep-going",   "prcp-unit=", "temp-unit=",
          "date=",      "year=",    "month=",         "day=",         "tmax=",      "tmin=",
          "prcp=",      "missing=", "delimiter=",     "fill-from=",   "sites=",     "max-distance=",
          "elevation=", "daily",    "deltas=",        "accumulation="},
         "fill takes --donor, -o, --force, --stations, --max-interp, --min-overlap and "
         "--max-bias; the "
         "formats' options do not go with it"}};
    return refused;
}

// What fill needs: one target, a donor, and -o DIR or --force.
bool read_fill_line(int argc, char **argv, fill_line &c) {
    static const option long_options[] = {{"donor", required_argument, nullptr, 'U'},
                                          {"output-dir", required_argument, nullptr, 'o'},
                                          {"force", no_argument, nullptr, 'f'},
                                          {"stations", required_argument, nullptr, 'S'},
                                          {"max-interp", required_argument, nullptr, 'I'},
                                          {"min-overlap", required_argument, nullptr, 'L'},
                                          {"max-bias", required_argument, nullptr, 'B'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    if (!read_command_options(
            argc, argv, long_options, [&c](int opt) { return take_fill_option(opt, c); },
            fill_refuses(), "ho:"))
        return false;
    if (c.help)
        return true;
    const int targets = argc - optind;
    if (targets != 1) {
        say_error("fill takes one target daily file, not " + std::to_string(targets));
        return false;
    }
    c.r.target = argv[optind];
    if (c.r.donors.empty()) {
        say_error("fill needs a --donor daily file");
        return false;
    }
    if (!c.output_given && !c.r.force) {
        say_error("fill needs -o DIR, or --force to replace the target in place");
        return false;
    }
    if (!c.output_given)
        c.r.output_dir.clear();
    return true;
}

} // namespace

bool take_fill_setting(int opt, fill_settings &f) {
    const char *name = opt == 'I' ? "--max-interp" : opt == 'L' ? "--min-overlap" : "--max-bias";
    float bias = 0;
    int n = 0;
    if (opt == 'B' ? parse_float(optarg, bias) && bias > 0
                   : parse_int(optarg, n) && n >= (opt == 'I' ? 0 : 1)) {
        if (opt == 'B')
            f.max_bias = static_cast<double>(bias);
        else
            (opt == 'I' ? f.max_interp : f.min_overlap) = n;
        return true;
    }
    say_error(std::string("invalid ") + name + " value '" + optarg + "': " +
              (opt == 'B'   ? "a number of degrees above 0"
               : opt == 'I' ? "a whole number of days, 0 or more"
                            : "a whole number of days, 1 or more"));
    return false;
}

int fill_command(int argc, char **argv) {
    fill_line c;
    if (!read_fill_line(argc, argv, c))
        return wrong_command_line(fill_usage, "fill");
    if (c.help) {
        print_fill_help();
        return 0;
    }
    return run_fill(c.r);
}

} // namespace import
