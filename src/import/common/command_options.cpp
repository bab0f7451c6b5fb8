// The options of the importer's commands.
#include "command_options.h"

#include "layout.h"
#include "reporter.h"
#include "shown.h"
#include "tokens.h"

#include <algorithm>

#include <cstring>

namespace import {

const char shared_options_help[] = "  -h, --help            show this help and exit\n";

namespace {

// The refused options' code: past every character getopt_long gives.
constexpr int refused_code = 0x10000;

// The command's table with the refused options after its own.
std::vector<option> with_refused(const option *own, const std::vector<refused_options> &refused,
                                 std::vector<std::string> &names) {
    std::vector<option> all;
    for (const option *o = own; o->name != nullptr; ++o)
        all.push_back(*o);
    for (const refused_options &r : refused)
        for (const char *name : r.names)
            names.emplace_back(name);
    size_t at = 0;
    for (size_t group = 0; group < refused.size(); ++group)
        for (size_t k = 0; k < refused[group].names.size(); ++k, ++at) {
            std::string &name = names[at];
            const bool valued = !name.empty() && name.back() == '=';
            if (valued)
                name.pop_back();
            all.push_back({name.c_str(), valued ? required_argument : no_argument, nullptr,
                           refused_code + static_cast<int>(group)});
        }
    all.push_back({nullptr, 0, nullptr, 0});
    return all;
}

} // namespace

bool read_command_options(int argc, char **argv, const option *long_options,
                          const std::function<bool(int)> &take,
                          const std::vector<refused_options> &refused, const char *short_options) {
    std::vector<std::string> names;
    names.reserve(64);
    const std::vector<option> table = with_refused(long_options, refused, names);
    // getopt_long names the program by argv[0] in what it says.
    std::string name = program_name();
    char *const invoked = argv[0];
    argv[0] = name.data();
    opterr = 1;
    optind = 1;
    bool ok = true;
    for (int opt;
         ok && (opt = getopt_long(argc, argv, short_options, table.data(), nullptr)) != -1;) {
        if (opt >= refused_code) {
            say_error(refused[static_cast<size_t>(opt - refused_code)].why);
            ok = false;
        } else {
            ok = take(opt);
        }
    }
    argv[0] = invoked;
    return ok;
}

bool take_text(const char *option, std::string &into) {
    into = optarg;
    if (!into.empty())
        return true;
    say_error(std::string("option '") + option + "' needs a value");
    return false;
}

bool take_years(const char *text, int &first, int &last) {
    if (!parse_year_range(text, first, last)) {
        say_error(std::string("invalid --years value '") + text +
                  "': FIRST-LAST, such as 1991-2020");
        return false;
    }
    if (last - first >= max_years) {
        say_error(std::string("invalid --years value '") + text +
                  format_message("': more than %d years, the most siteprep reads", max_years));
        return false;
    }
    return true;
}

bool take_inputs(int argc, char **argv, bool reads_stdin, std::vector<std::string> &inputs) {
    for (int i = optind; i < argc; ++i)
        inputs.push_back(argv[i]);
    if (inputs.empty()) {
        say_error("no input file given");
        return false;
    }
    if (!reads_stdin && std::find(inputs.begin(), inputs.end(), "-") != inputs.end()) {
        say_error("netcdf and scenario read files, not standard input ('-')");
        return false;
    }
    return true;
}

std::vector<refused_options> fill_options_refused(bool donor_only) {
    std::vector<refused_options> refused = {
        {{"donor="}, "--donor goes with fill (ghcn, daymet: --fill-from)"}};
    if (!donor_only) {
        refused.push_back({{"fill-from="}, "--fill-from goes with the ghcn and daymet formats"});
        refused.push_back(
            {{"max-interp=", "min-overlap=", "max-bias="},
             "--max-interp, --min-overlap and --max-bias go with fill or --fill-from"});
    }
    return refused;
}

} // namespace import
