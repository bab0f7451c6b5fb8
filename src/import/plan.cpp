// The import's loop over its inputs. Every file it will write is named and
// guarded before the first is written; each daily file is streamed into a
// temporary name and renamed into place, so that a failed import leaves
// nothing under the final name, and an existing one is replaced only when
// the user says so.
#include "plan.h"
#include "fd.h"
#include "file_paths.h"
#include "guard.h"
#include "open.h"
#include "printer.h"
#include "shown.h"
#include "site_files.h"
#include "tokens.h"
#include "write_whole.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

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
        if (p.failure.empty() && !site_list_can_name(p.name))
            p.failure = input_name(input) + ": the name " + quote_token(p.name) +
                        " holds white space or a control character, which no site list can "
                        "name: give --name";
        // The daily file siteprep reads for a site of that name there.
        p.output = paths_of((r.output_dir == "." ? std::string() : r.output_dir + "/") + p.name)
                       .weather_file;
        p.row.name = p.name;
        p.row.format = source_name(r.options.format);
        plans.push_back(std::move(p));
    }
    return plans;
}

std::vector<std::string> collisions(const import_request &r, const std::vector<planned> &plans) {
    std::vector<guarded_file> files;
    for (const planned &p : plans) {
        // Standard input is the file it reads, as the system names it.
        if (p.input == "-")
            files.push_back({"/dev/stdin", "standard input", false});
        else
            files.push_back({p.input, "the input " + shown_name(p.input), false});
        if (p.failure.empty())
            files.push_back({p.output, "the daily file of " + input_name(p.input), true});
    }
    if (!r.ghcn_stations.empty())
        files.push_back({r.ghcn_stations, "the --ghcn-stations file", false});
    if (!r.stations.empty())
        files.push_back({r.stations, "the --stations file", true});
    return guard_files(files);
}

} // namespace

std::string make_directories(std::string dir, std::vector<std::string> &made) {
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    const std::string failed = "Error making the directory " + shown_name(dir) + ": ";
    const os::result<struct stat> st = os::status_of(dir);
    if (st)
        return S_ISDIR(st.value().st_mode) ? std::string() : failed + std::strerror(ENOTDIR);
    if (st.err() == ENOENT && dir_of(dir) != dir)
        if (std::string why = make_directories(dir_of(dir), made); !why.empty())
            return why;
    if (const os::result<void> making = os::make_directory(dir); !making)
        return failed + making.error().reason();
    made.push_back(dir);
    return std::string();
}

namespace {

// The stations table as it is (empty when there is none, or when it is no
// regular file and so is written to as it stands); empty, or what failed.
std::string read_stations(const std::string &path, std::string &text) {
    text.clear();
    const os::result<os::regular_file> opened = os::open_regular(path);
    if (!opened) {
        const std::string why = opened.error().reason();
        const os::result<struct stat> st = os::status_of(path);
        return !st                           ? (st.err() == ENOENT ? std::string() : why)
               : S_ISREG(st.value().st_mode) ? why
                                             : std::string();
    }
    os::result<std::string> read = os::read_rest(opened.value().file);
    if (!read)
        return read.error().reason();
    text = std::move(*read);
    return std::string();
}

} // namespace

std::string check_stations(const std::string &path) {
    // Its directory too: a table that cannot be written would fail only
    // after every daily file.
    if (const os::result<void> room = os::may_create_in(dir_of(path)); !room)
        return "Error writing " + shown_name(path) + ": " + room.error().reason();
    std::string table, text;
    if (std::string why = read_stations(path, table); !why.empty())
        return "Error reading " + shown_name(path) + ": " + why;
    if (!merge_stations(table, {}, text))
        return shown_name(path) + " is not a stations table (its first line is not the " +
               "table's header): it is left as it is; give another --stations file";
    return std::string();
}

int update_stations(const std::string &path, const std::vector<station_row> &rows) {
    if (rows.empty())
        return 0; // nothing imported: the table stays as it is
    std::string table, text;
    if (std::string why = read_stations(path, table); !why.empty()) {
        print_error_line("Error reading " + shown_name(path) + ": " + why);
        return 1;
    }
    if (!merge_stations(table, rows, text)) {
        print_error_line(shown_name(path) +
                         " changed while importing: it is no longer a stations table");
        return 1;
    }
    const os::result<void> written = os::write_file_replacing(
        path, path + ".", [&text](os::out_stream &out) { return out.put(text), 0; });
    if (!written) {
        print_error_line("Error writing " + shown_name(path) + ": " + written.error().reason());
        return 1;
    }
    return 0;
}

namespace {

// How an input's import went.
enum class outcome { done, failed, out_of_memory };

// Imports one input into its daily file; what failed goes in why.
outcome import_one(const import_request &r, planned &p, std::string &why) {
    if (!p.failure.empty()) {
        why = p.failure;
        return outcome::failed;
    }
    if (!r.force && os::link_status_of(p.output).ok()) {
        why = shown_name(p.output) + " exists: --force replaces it";
        return outcome::failed;
    }
    bool no_memory = false;
    const os::result<void> written =
        os::write_file_replacing(p.output, p.output + ".", [&](os::out_stream &out) {
            try {
                why = import_file(p.input, r.options, out, p.row);
            } catch (const std::bad_alloc &) {
                no_memory = true;
                return ENOMEM;
            }
            return why.empty() ? 0 : EINVAL;
        });
    if (no_memory)
        return outcome::out_of_memory;
    if (why.empty() && !written)
        why = "Error writing " + shown_name(p.output) + ": " + written.error().reason();
    return why.empty() ? outcome::done : outcome::failed;
}

// Puts the rows of the inputs imported now into the stations table.
int write_stations(const import_request &r, const std::vector<planned> &plans,
                   const std::vector<bool> &done) {
    std::vector<station_row> rows;
    for (size_t i = 0; i < plans.size(); ++i)
        if (done[i])
            rows.push_back(plans[i].row);
    return update_stations(r.stations, rows);
}

void list_failures(const std::vector<std::pair<std::string, std::string>> &failed, size_t inputs) {
    print_error_line("Failed inputs:");
    for (const auto &[input, why] : failed)
        print_error_line(input_name(input) + ": " + why);
    print_error_line(format_message("%zu of %zu inputs failed", failed.size(), inputs));
}

int say_out_of_memory(const std::string &input) {
    print_error_line("Error importing " + input_name(input) + ": " + std::strerror(ENOMEM) +
                     "; siteprep-import stopped");
    return 1;
}

// Everything checked before the first write: the places, the output
// directory, the guard, the stations table; 0, or the status to end with.
int prepare(import_request &r, station_places &places, std::vector<planned> &plans) {
    if (!r.ghcn_stations.empty()) {
        if (std::string why = read_station_places(r.ghcn_stations, places); !why.empty()) {
            print_error_line(why);
            return 1;
        }
        r.options.places = &places;
    }
    // Made first, so that the guard sees where the daily files go.
    std::vector<std::string> made;
    if (std::string why = make_directories(r.output_dir, made); !why.empty()) {
        print_error_line(why);
        return 1;
    }
    plans = plan(r);
    std::vector<std::string> found = collisions(r, plans);
    if (found.empty() && !r.stations.empty())
        if (std::string why = check_stations(r.stations); !why.empty())
            found.push_back(why);
    if (found.empty())
        return 0;
    for (const std::string &message : found)
        print_error_line(message);
    print_error_line("Nothing was written.");
    // The directories made for nothing go, where they can.
    for (auto dir = made.rbegin(); dir != made.rend(); ++dir)
        (void)os::remove_directory(*dir);
    return 1;
}

int import_all(const import_request &request) {
    import_request r = request;
    station_places places;
    std::vector<planned> plans;
    if (const int status = prepare(r, places, plans); status != 0)
        return status;
    std::vector<bool> done(plans.size(), false);
    std::vector<std::pair<std::string, std::string>> failed;
    int status = 0;
    for (size_t i = 0; i < plans.size(); ++i) {
        std::string why;
        const outcome o = import_one(r, plans[i], why);
        if (o == outcome::out_of_memory) {
            status = say_out_of_memory(plans[i].input);
            break;
        }
        done[i] = o == outcome::done;
        if (done[i]) {
            const station_row &row = plans[i].row;
            print_line(shown_name(plans[i].output) + ": " + std::to_string(row.days) +
                       " days from " + input_name(plans[i].input));
            print_now(); // kept if an interrupt ends the import of the next
            continue;
        }
        print_error_line(why);
        failed.emplace_back(plans[i].input, why);
        if (!r.keep_going)
            break;
    }
    if (!failed.empty())
        status = 1;
    if (r.keep_going && !failed.empty())
        list_failures(failed, plans.size());
    if (!r.stations.empty() && write_stations(r, plans, done) != 0)
        status = 1;
    return status;
}

} // namespace

bool site_list_can_name(const std::string &name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        return is_blank_char(c) || static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
    });
}

int run_import(const import_request &request) {
    try {
        return import_all(request);
    } catch (const std::bad_alloc &) {
        print_error("siteprep-import", std::string(std::strerror(ENOMEM)) + "; it stopped");
        return 1;
    }
}

} // namespace import
