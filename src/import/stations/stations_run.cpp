// The stations command: the files guarded, the points, stations and
// inventory read, each point's station and donors chosen, the choice table
// written through a temporary name; with --plan, the downloads of the
// chosen stations' daily files printed.
#include "stations/stations_run.h"
#include "csv.h"
#include "dem.h"
#include "download_plan.h"
#include "guard.h"
#include "input.h"
#include "outputs.h"
#include "points.h"
#include "reporter.h"
#include "shown.h"
#include "tokens.h"

#include <cmath>
#include <set>

namespace import {

std::string choice_header() {
    return "name,latitude,longitude,elevation_m,station,distance_km,elevation_difference_m,years,"
           "donors\r\n";
}

namespace {

// A point of the --points table: its name and place as given, its
// elevation (NaN: unknown) and the text the table gives it; its problem,
// when it gets no station.
struct point {
    std::string name, latitude, longitude, elevation_text = "NA";
    double lat = 0, lon = 0, elevation = NAN;
    failure problem;
};

std::vector<failure> stations_collisions(const stations_request &r) {
    std::vector<os::guarded_file> files = {{r.points, "the --points file", false},
                                           {r.ghcn_stations, "the --ghcn-stations file", false},
                                           {r.inventory, "the --inventory file", false}};
    for (const std::string &path : r.dems)
        files.push_back({path, "the --dem file " + shown_name(path), false});
    files.push_back({r.choice, "the --choice file", true});
    std::vector<failure> found = guard_failures(files);
    if (found.empty())
        if (failure f = check_named_table(r.choice, choice_header(), "choice table", "--choice");
            f.failed())
            found.push_back(f);
    return found;
}

// A point of the table's row (a site list's wth/plot1 is plot1, as the
// daily formats' --points take it); its problem when its place is not one.
point point_of(const points &p, size_t row) {
    point at;
    at.name = p.name_of(row);
    if (p.site_list)
        at.name.erase(0, at.name.rfind('/') + 1); // npos + 1: nothing
    at.latitude = trimmed(p.lat_of(row));
    at.longitude = trimmed(p.lon_of(row));
    const std::string elevation = p.elevation_of(row);
    if (std::string fault = place_fault(at.latitude, at.longitude, elevation); !fault.empty()) {
        at.problem = {p.table.at(row) + ": " + shown_name(at.name) + ": " + fault};
        return at;
    }
    (void)parse_finite_double(at.latitude, at.lat);
    (void)parse_finite_double(at.longitude, at.lon);
    if (!elevation.empty() && !is_na(elevation)) {
        at.elevation_text = trimmed(elevation);
        (void)parse_finite_double(at.elevation_text, at.elevation);
    }
    return at;
}

// The points of the --points table, each name one that names a daily file
// and given once; or what is wrong.
failure read_choice_points(const std::string &path, std::vector<point> &out) {
    points p;
    if (failure f = read_points(path, p); f.failed())
        return f;
    if (p.empty())
        return {input_name(path) + " is empty: a header row is needed"};
    std::set<std::string> names;
    for (size_t row = 0; row < p.table.rows.size(); ++row) {
        point at = point_of(p, row);
        if (!site_list_can_name(at.name) || at.name.find('/') != std::string::npos)
            return {p.table.at(row) + ": the name " + quote_token(at.name) +
                    " holds white space, a control character or a '/': it names a daily file"};
        if (!names.insert(at.name).second)
            return {p.table.at(row) + ": " + shown_name(at.name) + " is named again"};
        out.push_back(std::move(at));
    }
    return {};
}

// The points' elevations from the DEMs where one covers them (the first
// that does, to a tenth of a metre), in place of the table's; or what is
// wrong with a DEM.
failure dem_elevations(const std::vector<std::string> &dems, std::vector<point> &points) {
    std::vector<bool> done(points.size(), false);
    for (const std::string &path : dems) {
        dem d;
        if (failure f = d.open_path(path); f.failed())
            return f;
        bool loaded = false;
        for (size_t i = 0; i < points.size(); ++i) {
            point &p = points[i];
            if (done[i] || p.problem.failed() || !d.covers(p.lat, p.lon))
                continue;
            if (!loaded)
                if (failure f = d.load(); f.failed())
                    return f;
            loaded = done[i] = true;
            if (double v = 0; d.elevation_at(p.lat, p.lon, v)) {
                p.elevation = std::round(v * 10) / 10;
                p.elevation_text = format_message("%.1f", p.elevation);
            }
        }
        d.unload();
    }
    return {};
}

// A count of tenths as the table prints it: 12.3, -0.4.
std::string tenths_text(long long tenths) {
    const long long size = std::llabs(tenths);
    return format_message("%s%lld.%lld", tenths < 0 ? "-" : "", size / 10, size % 10);
}

// What a point lacks when no station qualifies within reach.
std::string none_within(const point &p, const choice_rule &rule) {
    return format_message("%s: no station with %s over %g %% of the years %d-%d within %g km",
                          shown_name(p.name).c_str(),
                          rule.temperatures ? "PRCP, TMAX and TMIN" : "PRCP", rule.share * 100,
                          rule.first_year, rule.last_year, rule.max_distance_km);
}

// The point's row of the choice table.
std::string choice_line(const point &p, const std::vector<ranked_station> &ranked) {
    const ranked_station &s = ranked.front();
    std::string donors;
    for (size_t i = 1; i < ranked.size(); ++i)
        donors += (i > 1 ? " " : "") + ranked[i].station->id;
    return csv_field(p.name) + "," + p.latitude + "," + p.longitude + "," + p.elevation_text + "," +
           s.station->id + "," + tenths_text(s.distance_tenths) + "," +
           (s.has_difference ? tenths_text(s.difference_tenths) : std::string("NA")) + "," +
           std::to_string(s.station->years) + "," + donors + "\r\n";
}

// What the choice made: the table's rows, the daily files to fetch (the
// stations and the donors, in the order of the rows) and the points left
// without a station.
struct choice_outcome {
    std::vector<named_row> rows;
    std::vector<std::string> ids;
    std::vector<failure> left_out;
};

void choose_for_points(const std::vector<point> &points, const std::vector<candidate> &stations,
                       const choice_rule &rule, choice_outcome &out) {
    for (const point &p : points) {
        if (p.problem.failed()) {
            out.left_out.push_back(p.problem);
            continue;
        }
        const std::vector<ranked_station> ranked =
            choose_stations(stations, p.lat, p.lon, p.elevation, rule);
        if (ranked.empty()) {
            out.left_out.push_back({none_within(p, rule)});
            continue;
        }
        out.rows.emplace_back(p.name, choice_line(p, ranked));
        for (const ranked_station &s : ranked)
            out.ids.push_back(s.station->id);
    }
}

// Warns of stations the inventory qualifies that the list of stations
// lacks (files fetched on different days): they are not chosen.
void say_unplaced(const stations_request &r, const std::vector<std::string> &unplaced) {
    if (unplaced.empty())
        return;
    std::string some;
    for (size_t i = 0; i < unplaced.size() && i < 3; ++i)
        some += (i > 0 ? ", " : "") + unplaced[i];
    say_error("warning: " + counted(static_cast<long>(unplaced.size()), "station") + " of " +
              input_name(r.inventory) + " that qualif" + (unplaced.size() == 1 ? "ies" : "y") +
              " (" + some + (unplaced.size() > 3 ? ", ..." : "") + ") not in " +
              input_name(r.ghcn_stations) + ": not chosen");
}

// The inputs read and every point's choice made; or what is wrong.
failure make_choice(const stations_request &r, choice_outcome &out) {
    std::vector<point> points;
    station_places places;
    ghcn_inventory inventory;
    std::vector<candidate> stations;
    std::vector<std::string> unplaced;
    if (failure f = read_choice_points(r.points, points); f.failed())
        return f;
    if (failure f = read_station_places(r.ghcn_stations, places); f.failed())
        return f;
    if (failure f = read_inventory(r.inventory, inventory); f.failed())
        return f;
    if (failure f =
            qualifying_stations(inventory, places, r.ghcn_stations, r.rule, stations, unplaced);
        f.failed())
        return f;
    say_unplaced(r, unplaced);
    if (failure f = dem_elevations(r.dems, points); f.failed())
        return f;
    choose_for_points(points, stations, r.rule, out);
    return {};
}

// Why a station's daily file that is there would not do (empty: it
// would): each line a .dly line of the station, as the ghcn format takes
// them.
std::string dly_fault(const std::string &path, const std::string &id) {
    input in(path);
    if (!in.opened())
        return read_failure(in);
    bool any = false;
    while (in.next()) {
        if (is_blank(in.line))
            continue;
        if (in.line.size() != 269 || in.line.compare(0, id.size(), id) != 0)
            return at_line(in, "not a .dly line of " + id);
        any = true;
    }
    if (in.err != 0)
        return read_failure(in);
    return any ? std::string() : input_name(path) + ": no line";
}

// --plan: the daily files of the stations and donors, each once, as ID.dly.
int print_plan(const stations_request &r, const std::vector<std::string> &ids) {
    const download_service service = {
        "GHCN-Daily station files of the chosen stations and donors, saved as ID.dly",
        "NCEI publishes no rate limit for these files, so one at a time",
        "https://www.ncei.noaa.gov/pub/data/ghcn/daily/readme.txt", 1};
    std::vector<download> downloads;
    for (const std::string &id : ids)
        downloads.push_back({id + ".dly", service_url(r.base_url, "https://www.ncei.noaa.gov",
                                                      "/pub/data/ghcn/daily/all/" + id + ".dly")});
    plan_count count;
    const whole_check check = [](const std::string &path) {
        return dly_fault(path, stem_of(path));
    };
    if (failure f = print_download_plan(service, downloads, check, count); f.failed())
        return error_status(f);
    return 0;
}

// Says the points left without a station; status 1.
int say_left_out(const stations_request &r, const std::vector<failure> &left_out, bool written) {
    for (const failure &f : left_out)
        say_error((written ? "left out: " : "") + f.message);
    const std::string points = counted(static_cast<long>(left_out.size()), "point");
    if (written)
        say_error(points + " without a station, listed above, left out of " + shown_name(r.choice));
    else
        say_error(points + " without a station: " + shown_name(r.choice) +
                  " was not written (--keep-going leaves them out)");
    return 1;
}

int stations_all(const stations_request &r) {
    if (const std::vector<failure> found = stations_collisions(r); !found.empty()) {
        for (const failure &f : found)
            say_error(f.message);
        say_error("nothing was written");
        return 1;
    }
    choice_outcome out;
    if (failure f = make_choice(r, out); f.failed()) {
        say_error(f.message);
        say_error(shown_name(r.choice) + " was not written");
        return 1;
    }
    if (!out.left_out.empty() && !r.keep_going)
        return say_left_out(r, out.left_out, false);
    if (!out.rows.empty())
        if (failure f = write_named_table(r.choice, choice_header(), out.rows, "choice table");
            f.failed())
            return error_status(f);
    int status = 0;
    if (r.plan)
        status = print_plan(r, out.ids);
    else
        say_format(
            "%s: %s, %s\n", shown_name(r.choice).c_str(),
            counted(static_cast<long>(out.rows.size()), "point").c_str(),
            counted(static_cast<long>(std::set(out.ids.begin(), out.ids.end()).size()), "station")
                .c_str());
    if (!out.left_out.empty())
        return say_left_out(r, out.left_out, true);
    return status;
}

} // namespace

int run_stations(const stations_request &request) {
    return run_reported([&] { return stations_all(request); });
}

} // namespace import
