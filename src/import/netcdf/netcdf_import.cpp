// The netCDF import: the sites read, every file they write named and
// guarded before the first is written, the files inspected, each site
// placed on its cell, the pass over the files, and each site's daily file
// written through a temporary name, then the stations table.
#include "netcdf_import.h"
#include "file_paths.h"
#include "guard.h"
#include "layout.h"
#include "outputs.h"
#include "pass.h"
#include "placing.h"
#include "reporter.h"
#include "shown.h"
#include "signals.h"
#include "site_files.h"
#include "sites.h"
#include "sources.h"
#include "threads.h"
#include "write_whole.h"
#include "wth_writer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <sys/stat.h>

namespace import {

namespace {

using namespace netcdf;

const char *const quantity_name[quantities] = {"tmax", "tmin", "prcp"};

// A site that gets a daily file: where its values come from, its slots
// among the cells the pass reads (its own cell's, then the other's of an
// undecided site), the slot taken, and its row of the stations table.
struct placed_site {
    placement where;
    size_t first_slot = 0, slots = 1, slot = 0;
    station_row row;
};

struct job {
    const netcdf_request &r;
    std::vector<site> sites;
    std::vector<std::string> outputs; // of each site
    sources found;
    std::vector<placed_site> placed;
    std::vector<failure> failed; // what failed, a site a line
    long long first_day = 0;
    size_t days = 0;
    std::vector<calendar_date> dates; // of the days written
};

int say(const failure &f) {
    say_error_line(f.message);
    return 1;
}

std::string site_named(const job &j, size_t i) {
    return netcdf::site_named(j.r.sites, j.sites[i]);
}

placing_request placing_of(const job &j) {
    return {j.sites, j.r.sites, j.r.max_distance_km};
}

// The shortest text of a coordinate: a float's when it is one.
std::string coordinate_text(double x) {
    char text[64];
    const float f = static_cast<float>(x);
    const std::to_chars_result r = static_cast<double>(f) == x
                                       ? std::to_chars(text, text + sizeof text, f)
                                       : std::to_chars(text, text + sizeof text, x);
    return std::string(text, r.ptr);
}

std::vector<os::guarded_file> guarded(const job &j) {
    std::vector<os::guarded_file> files;
    for (const std::string &input : j.r.inputs)
        files.push_back({input, "the input " + shown_name(input), false});
    files.push_back({j.r.sites, "the --sites file", false});
    for (size_t i = 0; i < j.sites.size(); ++i)
        files.push_back({j.outputs[i], "the daily file of " + site_named(j, i), true});
    if (!j.r.stations.empty())
        files.push_back({j.r.stations, "the --stations file", true});
    return files;
}

// The problems found before anything is written: collisions, daily files
// that exist, directories missing, a stations table that is not one.
std::vector<failure> output_problems(const job &j) {
    std::vector<failure> found = guard_failures(guarded(j));
    for (size_t i = 0; i < j.sites.size() && found.empty(); ++i) {
        const std::string &out = j.outputs[i];
        if (!j.r.force && os::link_status_of(out).ok())
            found.push_back({shown_name(out) + " exists: --force replaces it"});
        else if (const os::result<struct stat> dir = os::status_of(os::dir_of(out));
                 !dir || !S_ISDIR(dir.value().st_mode))
            found.push_back({"The directory of " + shown_name(out) + " (" + site_named(j, i) +
                             ") is not there"});
    }
    if (found.empty() && !j.r.stations.empty())
        if (failure f = check_stations(j.r.stations); f.failed())
            found.push_back(f);
    return found;
}

// Each site on its cell, or on two until the pass tells which.
failure place(job &j) {
    std::vector<placement> placed;
    if (failure f = place_sites(j.found, j.r.inputs, placing_of(j), placed, j.failed); f.failed())
        return f;
    for (placement &p : placed) {
        placed_site s;
        s.where = std::move(p);
        j.placed.push_back(std::move(s));
    }
    return {};
}

// The cells the pass reads, a slot each: every site's own, and after it
// the other cell of an undecided site.
std::vector<size_t> slot_cells(job &j) {
    std::vector<size_t> cells;
    for (placed_site &p : j.placed) {
        p.first_slot = p.slot = cells.size();
        cells.push_back(p.where.cell);
        if (p.where.undecided && p.where.other != geo::no_cell)
            cells.push_back(p.where.other);
        p.slots = cells.size() - p.first_slot;
    }
    return cells;
}

// The days written: whole years, those of the steps or --years.
failure choose_days(job &j) {
    long long first = 0, last = 0;
    day_span(j.found, first, last);
    if (first > last)
        return {"No time step of the files falls on a day of the real calendar"};
    int first_year = cf::gregorian_date(first).year, last_year = cf::gregorian_date(last).year;
    if (j.r.first_year != 0) {
        if (last_year < j.r.first_year || first_year > j.r.last_year)
            return {format_message("No day of the files falls in --years %d-%d (they hold %d-%d)",
                                   j.r.first_year, j.r.last_year, first_year, last_year)};
        first_year = j.r.first_year;
        last_year = j.r.last_year;
    }
    if (first_year < 1 || last_year > 9999)
        return {format_message("The files' days run from year %d to %d: daily files hold years 1 "
                               "to 9999; give --years",
                               first_year, last_year)};
    if (last_year - first_year >= max_years)
        return {format_message("The files' days span %d years, more than the %d siteprep reads: "
                               "give --years",
                               last_year - first_year + 1, max_years)};
    j.first_day = day_number(first_year, 1, 1);
    j.days = static_cast<size_t>(day_number(last_year + 1, 1, 1) - j.first_day);
    for (size_t d = 0; d < j.days; ++d)
        j.dates.push_back(cf::gregorian_date(j.first_day + static_cast<long long>(d)));
    return {};
}

// The stations table's row of a placed site, but for what the writer adds.
void begin_row(const job &j, placed_site &p, const std::vector<double> &elevation) {
    const geo::point cell = j.found.grid.at(p.where.cell);
    const site &s = j.sites[p.where.site];
    p.row.name = s.name;
    p.row.format = "netcdf";
    // The site's own place, as its file gives it (east of 180 as west), and
    // the cell's beside it.
    p.row.latitude = s.latitude;
    p.row.longitude = s.at.lon > 180 ? coordinate_text(s.at.lon - 360) : s.longitude;
    p.row.cell_latitude = coordinate_text(cell.lat);
    p.row.cell_longitude = coordinate_text(cell.lon > 180 ? cell.lon - 360 : cell.lon);
    if (p.slot < elevation.size() && std::isfinite(elevation[p.slot]))
        p.row.elevation = coordinate_text(static_cast<float>(elevation[p.slot]));
    p.row.distance_km = format_message("%.3f", p.where.km);
}

// A site's values of each day through the daily file's writer.
int write_days(const job &j, const float *values, os::out_stream &out, station_row &row) {
    wth_writer writer(out, row);
    for (size_t d = 0; d < j.days; ++d) {
        value day[quantities];
        for (int q = 0; q < quantities; ++q) {
            const float f = values[d * quantities + static_cast<size_t>(q)];
            day[q] = {!std::isnan(f), f, 1, true};
        }
        writer.add(j.dates[d], day);
    }
    writer.finish();
    return 0;
}

// The cell of each undecided site: its own when it has a value of every
// quantity over the period, else the other; a site with neither dropped.
void decide_cells(job &j, const daily_values &values, std::vector<bool> &keep) {
    keep.assign(j.placed.size(), true);
    for (size_t k = 0; k < j.placed.size(); ++k) {
        placed_site &p = j.placed[k];
        if (!p.where.undecided)
            continue;
        bool own = true;
        for (int q = 0; q < quantities; ++q)
            own = own && values.valid(p.first_slot, q) > 0;
        if (!decide_cell(placing_of(j), p.where, own, j.failed))
            keep[k] = false;
        else if (!own)
            p.slot = p.first_slot + 1;
    }
}

// Drops the sites a quantity has no value for on any day.
void drop_empty_sites(job &j, const daily_values &values, std::vector<bool> &keep) {
    for (size_t k = 0; k < j.placed.size(); ++k)
        for (int q = 0; q < quantities && keep[k]; ++q)
            if (values.valid(j.placed[k].slot, q) == 0) {
                const geo::point cell = j.found.grid.at(j.placed[k].where.cell);
                j.failed.push_back({site_named(j, j.placed[k].where.site) + ": its cell (" +
                                    coordinate_text(cell.lat) + ", " + coordinate_text(cell.lon) +
                                    ") has no " + quantity_name[q] + " value (" +
                                    quote_token(j.r.variable[q]) + ") on any day"});
                keep[k] = false;
            }
}

// What became of a site's daily file: not taken (the writing stopped
// first), written, or why not.
struct file_outcome {
    bool taken = false;
    failure why; // none: written
};

// The daily files of a group of sites, written on the cores at once (a
// file's whole write defers an interrupt, and a thread takes no new file
// once one is waiting), and what became of each.
struct group_writing {
    job &j;
    const std::vector<float> &group;
    const std::vector<bool> &keep;
    size_t first = 0, count = 0; // the sites written, from j.placed[first]
    size_t first_slot = 0;       // the group's first
    std::vector<file_outcome> outcome;
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};

    // Writes site first + k's daily file, into outcome[k].
    void write_one(size_t k) {
        placed_site &p = j.placed[first + k];
        const std::string &path = j.outputs[p.where.site];
        const float *of_site = &group[(p.slot - first_slot) * j.days * quantities];
        failure why;
        const bool in_memory = ran_in_memory([&] {
            const os::result<void> done =
                os::write_file_keeping_mode(path, path + ".", [&](os::out_stream &out) {
                    return write_days(j, of_site, out, p.row);
                });
            if (!done)
                why = {"Error writing " + shown_name(path) + ": " + done.error().reason()};
        });
        if (!in_memory)
            why = {"Error writing " + shown_name(path) + ": " + std::strerror(ENOMEM)};
        if (why.failed() && !j.r.keep_going)
            stop = true;
        outcome[k] = {true, std::move(why)};
    }

    // Takes the group's sites one after another until none is left.
    void work() {
        for (size_t k = next++; k < count && !stop && !os::interrupt_pending(); k = next++)
            if (keep[first + k])
                write_one(k);
    }
};

void *write_group_thread(void *writing) {
    static_cast<group_writing *>(writing)->work();
    return nullptr;
}

// The sites of a group written by this thread and the others started
// (as many as the cores, at most 8; none where none can be started).
void write_group(group_writing &g) {
    g.outcome.assign(g.count, file_outcome());
    std::vector<os::thread> others;
    const int threads = std::clamp(os::usable_cores(), 1, 8);
    for (int t = 1; t < threads && g.count > 1; ++t) {
        os::result<os::thread> started = os::start_thread(write_group_thread, &g);
        if (!started)
            break;
        others.push_back(std::move(*started));
    }
    g.work();
    for (os::thread &t : others)
        t.join();
}

// The daily files, a group of sites at a time; the number written. Their
// outcomes are told in the sites' order; without --keep-going the writing
// stops at a failure, the files written beside it kept and counted, and
// after an interrupt at the group's end.
size_t write_files(job &j, const daily_values &values, const std::vector<bool> &keep,
                   std::vector<station_row> &rows, int &status) {
    std::vector<float> group;
    size_t written = 0;
    const size_t size = values.group_size();
    for (size_t first = 0, end = 0; first < j.placed.size(); first = end) {
        // The sites whose slots fit a group, one at least.
        const size_t slot0 = j.placed[first].first_slot;
        const auto slots_to = [&](size_t k) { return j.placed[k].first_slot + j.placed[k].slots; };
        for (end = first + 1; end < j.placed.size() && slots_to(end) - slot0 <= size;)
            ++end;
        const size_t count = end - first;
        if (failure f = values.read_group(slot0, slots_to(end - 1) - slot0, group); f.failed()) {
            status = say(f);
            return written;
        }
        group_writing g{j, group, keep, first, count, slot0, {}, {}, {}};
        write_group(g);
        bool stopped = false;
        for (size_t k = 0; k < count; ++k) {
            const placed_site &p = j.placed[first + k];
            const file_outcome &o = g.outcome[k];
            if (!o.taken)
                continue;
            if (o.why.failed()) {
                status = say(o.why);
                j.failed.push_back({site_named(j, p.where.site) + ": " + o.why.message});
                stopped = !j.r.keep_going;
                continue;
            }
            say_outside_range(shown_name(j.outputs[p.where.site]), p.row.outside,
                              "written as -99.99");
            rows.push_back(p.row);
            ++written;
        }
        if (stopped || os::interrupt_pending())
            return written;
    }
    return written;
}

void say_how(const job &j) {
    for (int q = 0; q < quantities; ++q)
        say_line(std::string(quantity_name[q]) + " from " + quote_token(j.r.variable[q]) + ": " +
                 j.found.of[q].how);
}

int list_failures(const job &j) {
    say_error_line("Failed sites:");
    for (const failure &f : j.failed)
        say_error_line(f.message);
    say_error_line(format_message("%zu of %zu sites failed", j.failed.size(), j.sites.size()));
    return 1;
}

// Everything up to the pass: the sites, the guard, the files, the places.
int prepare(job &j, std::vector<std::string> &made) {
    if (failure f = read_sites(j.r.sites, j.sites); f.failed())
        return say(f);
    if (failure f = make_directories(j.r.output_dir, made); f.failed())
        return say(f);
    for (const site &s : j.sites)
        j.outputs.push_back(daily_file_in(j.r.output_dir, s.name));
    if (std::vector<failure> problems = output_problems(j); !problems.empty())
        return nothing_written(problems, made);
    const source_request wanted{
        j.r.inputs,      {j.r.variable[tmax], j.r.variable[tmin], j.r.variable[prcp]},
        j.r.elevation,   j.r.daily,
        j.r.accumulated, j.r.mask};
    failure why = inspect(wanted, j.found);
    if (!why.failed())
        why = choose_days(j);
    if (why.failed())
        return nothing_written({why}, made);
    say_how(j);
    if (why = place(j); why.failed())
        return nothing_written({why}, made);
    if (!j.failed.empty() && !j.r.keep_going)
        return nothing_written(j.failed, made);
    return 0;
}

int import_netcdf(const netcdf_request &r) {
    job j{r, {}, {}, {}, {}, {}, 0, 0, {}};
    std::vector<std::string> made;
    if (const int status = prepare(j, made); status != 0)
        return status;
    const std::vector<size_t> cells = slot_cells(j);
    std::vector<double> elevation;
    if (j.found.has_elevation)
        if (failure f = netcdf::elevations(j.found, r.inputs, cells, elevation); f.failed())
            return nothing_written({f}, made);
    daily_values values(j.found, r.inputs, cells, j.first_day, j.days);
    if (failure f = values.fill(r.output_dir); f.failed())
        return nothing_written({f}, made);
    std::vector<bool> keep;
    const size_t failed_before = j.failed.size();
    decide_cells(j, values, keep);
    drop_empty_sites(j, values, keep);
    for (placed_site &p : j.placed)
        begin_row(j, p, elevation);
    if (j.failed.size() > failed_before && !r.keep_going)
        return nothing_written(
            std::vector<failure>(j.failed.begin() + static_cast<long>(failed_before),
                                 j.failed.end()),
            made);
    // An interrupt from here on waits for the files being written, then for
    // the stations table to get their rows, and ends the import as it
    // leaves: no daily file is left without its row.
    const os::deferred_interrupts until_the_table_is_written;
    int status = 0;
    std::vector<station_row> rows;
    const size_t written = write_files(j, values, keep, rows, status);
    const calendar_date first = cf::gregorian_date(j.first_day);
    say_line(format_message(
        "%s in %s, %d-%d (%zu days each), from %s",
        counted(static_cast<long>(written), "daily file").c_str(), shown_name(r.output_dir).c_str(),
        first.year, cf::gregorian_date(j.first_day + static_cast<long long>(j.days) - 1).year,
        j.days, counted(static_cast<long>(r.inputs.size()), "file").c_str()));
    if (r.keep_going && !j.failed.empty())
        status = list_failures(j);
    if (!r.stations.empty())
        if (failure f = update_stations(r.stations, rows); f.failed())
            status = say(f);
    return status;
}

} // namespace

int run_netcdf_import(const netcdf_request &request) {
    return run_reported([&] { return import_netcdf(request); });
}

} // namespace import
