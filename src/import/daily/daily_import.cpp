// The import's loop over its inputs. Every file it will write is named and
// guarded before the first is written; each daily file is streamed into a
// temporary name and renamed into place, so that a failed import leaves
// nothing under the final name, and an existing one is replaced only when
// the user says so.
#include "daily_import.h"

#include "fd.h"
#include "file_paths.h"
#include "fill_files.h"
#include "formats.h"
#include "guard.h"
#include "input.h"
#include "open.h"
#include "outputs.h"
#include "points.h"
#include "reporter.h"
#include "shown.h"
#include "site_files.h"
#include "text_streams.h"
#include "tokens.h"
#include "write_whole.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace import {

namespace {

// One input and the daily file it makes.
struct planned {
    std::string input, name, output;
    failure refused; // why it cannot be imported, found before any write
    station_row row;
};

// The row of the points table that places an input's station; or why
// there is none.
failure place_from_points(const points &table, const planned &p, station_row &row) {
    const std::string where = " in the --points file " + input_name(table.table.path);
    size_t found = csv_table::none;
    for (size_t i = 0; i < table.table.rows.size(); ++i) {
        // A site list names a site by its path (wth/plot1): its last part.
        const std::string &name = table.name_of(i);
        const size_t slash = name.rfind('/');
        if (name != p.name && !(table.site_list && slash != std::string::npos &&
                                name.compare(slash + 1, std::string::npos, p.name) == 0))
            continue;
        if (found != csv_table::none)
            return {input_name(p.input) + ": " + quote_token(p.name) + " is named on lines " +
                    std::to_string(table.table.lines[found]) + " and " +
                    std::to_string(table.table.lines[i]) + where};
        found = i;
    }
    if (found == csv_table::none)
        return {input_name(p.input) + ": no row for " + quote_token(p.name) + where};
    const std::string elevation = table.elevation_of(found);
    if (std::string fault = place_fault(table.lat_of(found), table.lon_of(found), elevation);
        !fault.empty())
        return {input_name(p.input) + ": " + fault + " in " + table.table.at(found)};
    row.latitude = trimmed(table.lat_of(found));
    row.longitude = trimmed(table.lon_of(found));
    row.elevation = is_na(elevation) ? std::string() : std::string(trimmed(elevation));
    return {};
}

// The place the command line gives an input, into its row: --lat and
// --lon, or its row of the --points table.
failure place_input(const import_request &r, const points *table, planned &p) {
    if (table != nullptr)
        return place_from_points(*table, p, p.row);
    if (!r.latitude.empty()) {
        p.row.latitude = trimmed(r.latitude);
        p.row.longitude = trimmed(r.longitude);
        p.row.elevation = is_na(r.elevation) ? std::string() : std::string(trimmed(r.elevation));
    }
    return {};
}

std::vector<planned> plan(const import_request &r, const points *table) {
    std::vector<planned> plans;
    for (const std::string &input : r.inputs) {
        planned p;
        p.input = input;
        if (!r.name.empty())
            p.name = r.name;
        else if (r.options.format->named_by_station)
            p.refused = ghcn_station_of(input, p.name);
        else
            p.name = stem_of(input);
        if (!p.refused.failed() && !site_list_can_name(p.name))
            p.refused = {input_name(input) + ": the name " + quote_token(p.name) +
                         " holds white space or a control character, which no site list can "
                         "name: give --name"};
        // The daily file siteprep reads for a site of that name there.
        p.output = daily_file_in(r.output_dir, p.name);
        p.row.name = p.name;
        p.row.format = r.options.format->name;
        if (!p.refused.failed())
            p.refused = place_input(r, table, p);
        plans.push_back(std::move(p));
    }
    return plans;
}

std::vector<failure> collisions(const import_request &r, const std::vector<planned> &plans) {
    std::vector<os::guarded_file> files;
    for (const planned &p : plans) {
        // Standard input is the file it reads, as the system names it.
        if (p.input == "-")
            files.push_back({"/dev/stdin", "standard input", false});
        else
            files.push_back({p.input, "the input " + shown_name(p.input), false});
        if (!p.refused.failed())
            files.push_back({p.output, "the daily file of " + input_name(p.input), true});
        if (!p.refused.failed() && !r.fill_from.empty()) {
            files.push_back(
                {fill_record_of(p.output), "the fill record of " + input_name(p.input), true});
            files.push_back(
                {fill_skill_of(p.output), "the skill table of " + input_name(p.input), true});
        }
    }
    for (const std::string &donor : r.fill_from)
        files.push_back({donor, "the --fill-from file " + shown_name(donor), false});
    if (!r.ghcn_stations.empty())
        files.push_back({r.ghcn_stations, "the --ghcn-stations file", false});
    if (!r.points.empty())
        files.push_back({r.points, "the --points file", false});
    if (!r.stations.empty())
        files.push_back({r.stations, "the --stations file", true});
    return guard_failures(files);
}

} // namespace

namespace {

// How an input's import went.
enum class outcome { done, failed, out_of_memory };

// An input imported into memory, as its daily file would be written; or
// what failed.
failure import_to_memory(const import_request &r, planned &p, std::string &text) {
    os::text_output memory; // its memory freed however the import ends
    if (const os::result<void> opened = memory.open(); !opened)
        return {"Error importing " + input_name(p.input) + ": " + opened.error().reason()};
    import_options options = r.options;
    options.allow_lacking = true; // the fill may supply it
    failure why = import_file(p.input, options, memory.stream(), p.row);
    const os::result<std::string_view> made = memory.close();
    if (made)
        text.assign(*made);
    else if (!why.failed())
        why = {"Error importing " + input_name(p.input) + ": " + made.error().reason()};
    return why;
}

// The stations table's counts of a filled daily file, and why it cannot be
// used when a quantity is still missing on every day.
failure recount(planned &p, const fill_result &filled) {
    static const char *const names[quantities] = {"tmax", "tmin", "prcp"};
    station_row &row = p.row;
    count_filled(filled, row);
    for (int q = 0; q < quantities; ++q)
        if (row.missing[q] == row.days)
            return {input_name(p.input) +
                    format_message(": no %s value on any of the %ld days written, nor from the "
                                   "--fill-from files: its statistics could only be nan",
                                   names[q], row.days)};
    return {};
}

// An input imported, then filled from the --fill-from donors: its daily
// file, its fill record and skill table written, each through a temporary
// name; or what failed.
failure import_filled(const import_request &r, const donor_files &donors, planned &p,
                      std::vector<std::string> &said) {
    std::string text;
    daily_text imported;
    if (failure f = import_to_memory(r, p, text); f.failed())
        return f;
    if (failure f = parse_daily_text(p.output, std::move(text), imported); f.failed())
        return f;
    const filled_files made = fill_files_of(p.output, imported, donors, r.fill, std::string());
    if (failure f = recount(p, made.result); f.failed())
        return f;
    if (failure f = write_filled(p.output, made); f.failed())
        return f;
    said = made.said;
    return {};
}

// Imports one input into its daily file (filled from donors, when there
// are any); what failed goes in why, what the fill says in said.
outcome import_one(const import_request &r, const donor_files &donors, planned &p, failure &why,
                   std::vector<std::string> &said) {
    if (p.refused.failed()) {
        why = p.refused;
        return outcome::failed;
    }
    // A fill's record and skill table are replaced only as its daily file is.
    for (const std::string &path : {p.output, fill_record_of(p.output), fill_skill_of(p.output)}) {
        if (!r.force && os::link_status_of(path).ok()) {
            why = {shown_name(path) + " exists: --force replaces it"};
            return outcome::failed;
        }
        if (donors.names.empty())
            break; // no fill: the daily file alone
    }
    if (!donors.names.empty()) {
        if (!ran_in_memory([&] { why = import_filled(r, donors, p, said); }))
            return outcome::out_of_memory;
        return why.failed() ? outcome::failed : outcome::done;
    }
    bool no_memory = false;
    const os::result<void> written =
        os::write_file_replacing(p.output, p.output + ".", [&](os::out_stream &out) {
            no_memory = !ran_in_memory([&] { why = import_file(p.input, r.options, out, p.row); });
            return no_memory ? ENOMEM : why.failed() ? EINVAL : 0;
        });
    if (no_memory)
        return outcome::out_of_memory;
    if (!why.failed() && !written)
        why = {"Error writing " + shown_name(p.output) + ": " + written.error().reason()};
    return why.failed() ? outcome::failed : outcome::done;
}

// Puts the rows of the inputs imported now into the stations table.
failure write_stations(const import_request &r, const std::vector<planned> &plans,
                       const std::vector<bool> &done) {
    std::vector<station_row> rows;
    for (size_t i = 0; i < plans.size(); ++i)
        if (done[i])
            rows.push_back(plans[i].row);
    return update_stations(r.stations, rows);
}

void list_failures(const std::vector<std::pair<std::string, failure>> &failed, size_t inputs) {
    std::vector<std::string> lines;
    // A failure that names its input already ("IN: ...", "IN line 3: ...")
    // is not named twice.
    for (const auto &[input, why] : failed) {
        const std::string name = input_name(input);
        const bool named =
            why.message.starts_with(name + ":") || why.message.starts_with(name + " line ");
        lines.push_back(named ? why.message : name + ": " + why.message);
    }
    say_failures("inputs", lines, inputs);
}

// Everything checked before the first write: the places, the output
// directory, the guard, the stations table; 0, or the status to end with.
int prepare(import_request &r, station_places &places, points &table, std::vector<planned> &plans,
            donor_files &donors) {
    if (!r.points.empty())
        if (failure f = read_points(r.points, table); f.failed()) {
            say_error_line(f.message);
            return 1;
        }
    if (!r.ghcn_stations.empty()) {
        if (failure f = read_station_places(r.ghcn_stations, places); f.failed()) {
            say_error_line(f.message);
            return 1;
        }
        r.options.places = &places;
    }
    // Made first, so that the guard sees where the daily files go.
    std::vector<std::string> made;
    if (failure f = make_directories(r.output_dir, made); f.failed()) {
        say_error_line(f.message);
        return 1;
    }
    plans = plan(r, r.points.empty() ? nullptr : &table);
    std::vector<failure> found = collisions(r, plans);
    if (found.empty() && !r.stations.empty())
        if (failure f = check_stations(r.stations); f.failed())
            found.push_back(f);
    if (found.empty() && !r.fill_from.empty())
        if (failure f = read_donors(r.fill_from, donors); f.failed())
            found.push_back(f);
    if (!found.empty())
        return nothing_written(found, made);
    say_donors_outside(donors);
    return 0;
}

int import_all(const import_request &request) {
    import_request r = request;
    station_places places;
    points table;
    std::vector<planned> plans;
    donor_files donors;
    if (const int status = prepare(r, places, table, plans, donors); status != 0)
        return status;
    std::vector<bool> done(plans.size(), false);
    std::vector<std::pair<std::string, failure>> failed;
    int status = 0;
    for (size_t i = 0; i < plans.size(); ++i) {
        failure why;
        std::vector<std::string> said;
        const outcome o = import_one(r, donors, plans[i], why, said);
        if (o == outcome::out_of_memory) {
            say_out_of_memory_while("Error importing " + input_name(plans[i].input));
            status = 1;
            break;
        }
        done[i] = o == outcome::done;
        if (done[i]) {
            const station_row &row = plans[i].row;
            say_line(shown_name(plans[i].output) + ": " + std::to_string(row.days) + " days from " +
                     input_name(plans[i].input));
            say_outside_range(input_name(plans[i].input), row.outside,
                              r.fill_from.empty()
                                  ? "written as -99.99 in " + shown_name(plans[i].output)
                                  : std::string("taken as missing"));
            for (const std::string &line : said)
                say_line(line);
            say_now(); // kept if an interrupt ends the import of the next
            continue;
        }
        say_error_line(why.message);
        failed.emplace_back(plans[i].input, why);
        if (!r.keep_going)
            break;
    }
    if (!failed.empty())
        status = 1;
    if (r.keep_going && !failed.empty())
        list_failures(failed, plans.size());
    if (!r.stations.empty())
        if (failure f = write_stations(r, plans, done); f.failed()) {
            say_error_line(f.message);
            status = 1;
        }
    return status;
}

} // namespace

int run_import(const import_request &request) {
    return import_all(request);
}

} // namespace import
