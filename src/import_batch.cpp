// The import's loop over its inputs. Every file it will write is named and
// guarded before the first is written; each daily file is streamed into a
// temporary name and renamed into place, so that a failed import leaves
// nothing under the final name, and an existing one is replaced only when
// the user says so.
#include "import_batch.h"
#include "guard.h"
#include "utils.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace import {

namespace {

// One input and the daily file it makes.
struct planned {
    std::string input, name, output;
    std::string failure; // why it cannot be imported, found before any write
    station_row row;
};

std::string stem_of(const std::string &path) {
    std::string base = base_of(path);
    const size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

std::vector<planned> plan(const import_request &r) {
    std::vector<planned> plans;
    for (const std::string &input : r.inputs) {
        planned p;
        p.input = input;
        if (!r.name.empty())
            p.name = r.name;
        else if (r.options.format == source::ghcn)
            p.name = ghcn_station_of(input, p.failure);
        else
            p.name = stem_of(input);
        p.output = (r.output_dir == "." ? std::string() : r.output_dir + "/") + p.name + ".wth";
        p.row.name = p.name;
        p.row.format = source_name(r.options.format);
        plans.push_back(std::move(p));
    }
    return plans;
}

std::vector<std::string> collisions(const import_request &r, const std::vector<planned> &plans) {
    std::vector<guarded_file> files;
    for (const planned &p : plans) {
        files.push_back({p.input, "the input " + shown_name(p.input), false});
        if (p.failure.empty())
            files.push_back({p.output, "the daily file of " + shown_name(p.input), true});
    }
    if (!r.ghcn_stations.empty())
        files.push_back({r.ghcn_stations, "the --ghcn-stations file", false});
    if (!r.stations.empty())
        files.push_back({r.stations, "the --stations file", true});
    return guard_files(files);
}

// Imports one input into its daily file; empty, or what failed.
std::string import_one(const import_request &r, planned &p) {
    if (!p.failure.empty())
        return p.failure;
    struct stat st;
    if (!r.force && lstat(p.output.c_str(), &st) == 0)
        return shown_name(p.output) + " exists: --force replaces it";
    std::string why;
    const int err = write_file_whole(
        p.output, p.output + ".",
        [&](FILE *out) {
            why = import_file(p.input, r.options, out, p.row);
            return why.empty() ? 0 : EINVAL;
        },
        false);
    if (!why.empty())
        return why;
    if (err != 0)
        return "Error writing " + shown_name(p.output) + ": " + std::strerror(err);
    return std::string();
}

int write_stations(const import_request &r, const std::vector<planned> &plans,
                   const std::vector<bool> &done) {
    std::string text = stations_header();
    for (size_t i = 0; i < plans.size(); ++i)
        if (done[i])
            text += stations_line(plans[i].row);
    if (const int err = write_through_temp(r.stations, r.stations + ".", text, false); err != 0) {
        std::fprintf(stderr, "Error writing %s: %s\n", shown_name(r.stations).c_str(),
                     std::strerror(err));
        return 1;
    }
    return 0;
}

void list_failures(const std::vector<std::pair<std::string, std::string>> &failed, size_t inputs) {
    std::fprintf(stderr, "Failed inputs:\n");
    for (const auto &[input, why] : failed)
        std::fprintf(stderr, "%s: %s\n", shown_name(input).c_str(), why.c_str());
    std::fprintf(stderr, "%zu of %zu inputs failed\n", failed.size(), inputs);
}

} // namespace

int run_import(const import_request &request) {
    import_request r = request;
    station_places places;
    if (!r.ghcn_stations.empty()) {
        if (std::string why = read_station_places(r.ghcn_stations, places); !why.empty()) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return 1;
        }
        r.options.places = &places;
    }
    std::vector<planned> plans = plan(r);
    if (const std::vector<std::string> found = collisions(r, plans); !found.empty()) {
        for (const std::string &message : found)
            std::fprintf(stderr, "%s\n", message.c_str());
        std::fprintf(stderr, "Nothing was written.\n");
        return 1;
    }
    std::vector<bool> done(plans.size(), false);
    std::vector<std::pair<std::string, std::string>> failed;
    for (size_t i = 0; i < plans.size(); ++i) {
        const std::string why = import_one(r, plans[i]);
        done[i] = why.empty();
        if (done[i]) {
            const station_row &row = plans[i].row;
            std::printf("%s: %ld days from %s\n", shown_name(plans[i].output).c_str(), row.days,
                        shown_name(plans[i].input).c_str());
            continue;
        }
        std::fprintf(stderr, "%s\n", why.c_str());
        failed.emplace_back(plans[i].input, why);
        if (!r.keep_going)
            break;
    }
    int status = failed.empty() ? 0 : 1;
    if (r.keep_going && !failed.empty())
        list_failures(failed, plans.size());
    if (!r.stations.empty() && write_stations(r, plans, done) != 0)
        status = 1;
    return status;
}

} // namespace import
