// The command line of the importer's soil command.
#include "command_options.h"
#include "convert.h"
#include "input.h"
#include "reporter.h"
#include "soil/soil_run.h"
#include "tokens.h"

#include <algorithm>

namespace import {

namespace {

const std::string soil_usage =
    usage_of({"soil soilgrids|sda|horizons [OPTIONS] FILE... --soils OUT.csv",
              "soil soilgrids|sda --plan POINTS.csv [OPTIONS]"});

void print_soil_help() {
    say_text(soil_usage);
    say_text("\n"
             "Puts a row a site into the soils table OUT.csv (name, sand, silt, clay as\n"
             "fractions, bulk_density, layer_code, top_cm, bottom_cm, coverage, texture_sum,\n"
             "pass_through, source): the texture averaged from 0 to the depth of the\n"
             "site's layer-count code, each layer by its thickness there with data, the\n"
             "components of a map unit by their shares. Rows of other sites are kept.\n"
             "  soilgrids  SoilGrids 2.0 properties/query responses (JSON), one a site,\n"
             "             named by the file's name without its extension (or --name)\n"
             "  sda        a Soil Data Access result in JSON+COLUMNNAME form, the sites\n"
             "             named by its name column (the --plan query's) or by --points\n"
             "  horizons   a CSV of name,top_cm,bottom_cm,sand_pct,silt_pct,clay_pct,\n"
             "             bulk_density[,share] (or sand_frac,silt_frac,clay_frac)\n");
    if (!json_formats_built())
        say_text("This build reads no JSON (it was made without nlohmann-json): soilgrids\n"
                 "and sda are left out, though their --plan works.\n");
    say_text("\n"
             "Options:\n"
             "  --soils OUT.csv          the soils table to write (made, or rows replaced)\n"
             "  --plan POINTS.csv        print the downloads for a table of name,lat,lon (a\n"
             "                           stations table or a site list serves) instead;\n"
             "                           nothing is read\n"
             "  --layer-code N           the layer-count code (1 to 9) of every site\n"
             "  --default-layer-code N   the code of a site without a restriction depth\n"
             "                           (sda takes the largest code above its restriction,\n"
             "                           and needs neither option)\n"
             "  --pass-through VALUE     the site list's pass-through value of every site\n"
             "  --pass-through-from PROPERTY\n"
             "                           soilgrids: a property averaged as the texture and\n"
             "                           divided by its d_factor (phh2o: pH)\n"
             "  --quantile Q0.05|Q0.5|Q0.95\n"
             "                           soilgrids: read that quantile instead of the mean\n"
             "                           (marginal quantiles of each depth, not one soil)\n"
             "  --points FILE.csv        sda: the sites, as name,mukey\n"
             "  --name NAME              soilgrids: the site of a single FILE ('-': standard\n"
             "                           input)\n"
             "  --keep-going             go on past a failed input or site and list it (with\n"
             "                           --plan: a point without a place)\n"
             "  -h, --help               show this help and exit\n"
             "\n"
             "Exit status: 0 when every site got its row, 1 after an error, 2 for a wrong\n"
             "command line.\n");
}

struct soil_line {
    soil_request r;
    bool help = false, quantile = false, pass_from = false, pass_value = false;
};

bool take_code(const char *option, int &code) {
    if (parse_int(optarg, code) && code >= 1 && code <= 9)
        return true;
    say_error(std::string("invalid ") + option + " value '" + optarg +
              "': a whole number from 1 to 9");
    return false;
}

bool take_soil_option(int opt, soil_line &c) {
    soil_request &r = c.r;
    switch (opt) {
    case 's':
        return take_text("--soils", r.soils);
    case 'p':
        return take_text("--plan", r.plan);
    case 'L':
        return take_code("--layer-code", r.codes.given);
    case 'D':
        return take_code("--default-layer-code", r.codes.fallback);
    case 'v': {
        int decimals = 0;
        c.pass_value = true;
        if (plain_number(optarg, r.pass_through, decimals))
            return true;
        say_error(std::string("invalid --pass-through value '") + optarg + "': a number");
        return false;
    }
    case 'f':
        c.pass_from = true;
        return take_text("--pass-through-from", r.reading.pass_property);
    case 'q':
        c.quantile = true;
        r.reading.quantile = optarg;
        if (r.reading.quantile == "Q0.05" || r.reading.quantile == "Q0.5" ||
            r.reading.quantile == "Q0.95" || r.reading.quantile == "mean")
            return true;
        say_error(std::string("invalid --quantile '") + optarg + "': Q0.05, Q0.5 or Q0.95");
        return false;
    case 'P':
        return take_text("--points", r.points);
    case 'n':
        return take_text("--name", r.reading.name);
    case 'k':
        r.keep_going = true;
        return true;
    case 'h':
        c.help = true;
        return true;
    default:
        return false; // getopt_long has said why
    }
}

bool take_soil_format(const std::string &text, soil_request &r) {
    for (soil_source s : {soil_source::soilgrids, soil_source::sda, soil_source::horizons})
        if (text == soil_source_name(s)) {
            r.format = s;
            return true;
        }
    say_error("unknown soil format '" + text + "': soilgrids, sda or horizons");
    return false;
}

// What goes with what; false after saying what is wrong.
bool check_soil_line(const soil_line &c) {
    const soil_request &r = c.r;
    const bool soilgrids = r.format == soil_source::soilgrids;
    const char *wrong = nullptr;
    if ((c.quantile || c.pass_from || !r.reading.name.empty()) && !soilgrids)
        wrong = "--quantile, --pass-through-from and --name go with soilgrids";
    else if (!r.points.empty() && r.format != soil_source::sda)
        wrong = "--points goes with sda";
    else if (!r.plan.empty() && r.format == soil_source::horizons)
        wrong = "--plan is for soilgrids and sda, whose downloads it prints";
    else if (!r.plan.empty() && (!r.inputs.empty() || !r.soils.empty()))
        wrong = "--plan prints the downloads: it takes no FILE and no --soils";
    else if (r.plan.empty() && r.inputs.empty())
        wrong = "no input file given";
    else if (r.plan.empty() && r.soils.empty())
        wrong = "--soils OUT.csv is needed: the soils table to write";
    else if (r.plan.empty() && c.pass_from == c.pass_value)
        wrong = "give one of --pass-through VALUE and --pass-through-from PROPERTY";
    else if (r.plan.empty() && r.format != soil_source::sda && r.codes.given == 0 &&
             r.codes.fallback == 0)
        wrong = "give --layer-code N or --default-layer-code N";
    else if (!r.reading.name.empty() && r.inputs.size() != 1)
        wrong = "--name is for a single input file";
    else if (r.reading.name.empty() && soilgrids && r.plan.empty() &&
             std::find(r.inputs.begin(), r.inputs.end(), "-") != r.inputs.end())
        wrong = "standard input ('-') needs --name";
    else if (r.plan.empty() && r.format != soil_source::horizons && !json_formats_built())
        wrong = "this build reads no JSON (it was made without nlohmann-json): soilgrids and "
                "sda are left out";
    if (wrong != nullptr)
        say_error(wrong);
    return wrong == nullptr;
}

bool parse_soil_line(int argc, char **argv, soil_line &c) {
    static const option long_options[] = {{"soils", required_argument, nullptr, 's'},
                                          {"plan", required_argument, nullptr, 'p'},
                                          {"layer-code", required_argument, nullptr, 'L'},
                                          {"default-layer-code", required_argument, nullptr, 'D'},
                                          {"pass-through", required_argument, nullptr, 'v'},
                                          {"pass-through-from", required_argument, nullptr, 'f'},
                                          {"quantile", required_argument, nullptr, 'q'},
                                          {"points", required_argument, nullptr, 'P'},
                                          {"name", required_argument, nullptr, 'n'},
                                          {"keep-going", no_argument, nullptr, 'k'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    if (!read_command_options(argc, argv, long_options,
                              [&c](int opt) { return take_soil_option(opt, c); }))
        return false;
    if (c.help)
        return true;
    if (optind == argc) {
        say_error("no soil format given: soilgrids, sda or horizons");
        return false;
    }
    if (!take_soil_format(argv[optind++], c.r))
        return false;
    for (int i = optind; i < argc; ++i)
        c.r.inputs.push_back(argv[i]);
    return check_soil_line(c);
}

} // namespace

int soil_command(int argc, char **argv) {
    soil_line c;
    if (!parse_soil_line(argc, argv, c)) {
        return wrong_command_line(soil_usage, "soil");
    }
    if (c.help) {
        print_soil_help();
        return 0;
    }
    return run_soil(std::move(c.r));
}

} // namespace import
