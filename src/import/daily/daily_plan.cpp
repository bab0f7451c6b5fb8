// The daily formats' --plan: a download a point (Daymet, POWER) or a
// station (GHCN-Daily), each file judged whole by importing it into
// memory as the format's command would.
#include "daily_plan.h"

#include "csv_table.h"
#include "daily_import.h"
#include "formats.h"
#include "input.h"
#include "points.h"
#include "reporter.h"
#include "shown.h"
#include "text_streams.h"

#include <cctype>

namespace import {

namespace {

// The variables and parameters the readers read, as the services name them.
constexpr char daymet_vars[] = "tmax,tmin,prcp";
constexpr char power_parameters[] = "T2M_MAX,T2M_MIN,PRECTOTCORR";

// What keeps the file from being imported (empty: nothing), its daily
// file made in memory and dropped; with whole_years, a file whose days
// with a value do not reach from the first of --years to the last (one
// fetched for other years) is not the file the plan asks for.
std::string import_fault(const std::string &path, const import_options &o, bool whole_years) {
    os::text_output memory;
    if (const os::result<void> opened = memory.open(); !opened)
        return opened.error().reason();
    station_row row;
    const failure why = import_file(path, o, memory.stream(), row);
    const os::result<std::string_view> made = memory.close();
    if (why.failed())
        return why.message;
    if (!made)
        return made.error().reason();
    if (whole_years && o.first_year != 0 &&
        (row.first.year != o.first_year || row.last.year != o.last_year))
        return format_message("its days with a value are of %d-%d, not of --years %d-%d",
                              row.first.year, row.last.year, o.first_year, o.last_year);
    return {};
}

// The points of the table, each a download of the service's URL for its
// place (the query after lat and lon given by rest), saved as NAME.ext.
failure point_downloads(const import_request &r, const std::string &ext,
                        std::string (*url)(const import_request &, const plan_point &),
                        daily_plan &plan) {
    std::vector<plan_point> points;
    if (failure f = read_plan_points(r.plan, r.keep_going, points, plan.left_out); f.failed())
        return f;
    for (const plan_point &p : points)
        plan.downloads.push_back({p.name + ext, url(r, p)});
    return {};
}

std::string daymet_url(const import_request &r, const plan_point &p) {
    std::string query =
        "/single-pixel/api/data?lat=" + p.latitude + "&lon=" + p.longitude + "&vars=" + daymet_vars;
    if (r.options.first_year != 0)
        query += format_message("&start=%04d-01-01&end=%04d-12-31", r.options.first_year,
                                r.options.last_year);
    return service_url(r.base_url, "https://daymet.ornl.gov", query);
}

std::string power_url(const import_request &r, const plan_point &p) {
    return service_url(r.base_url, "https://power.larc.nasa.gov",
                       std::string("/api/temporal/daily/point?parameters=") + power_parameters +
                           "&community=AG&longitude=" + p.longitude + "&latitude=" + p.latitude +
                           format_message("&start=%04d0101&end=%04d1231", r.options.first_year,
                                          r.options.last_year) +
                           "&format=" + (r.plan_json ? "JSON" : "CSV"));
}

// A GHCN-Daily station ID: 11 capital letters and digits.
bool ghcn_id(const std::string &id) {
    if (id.size() != 11)
        return false;
    for (char c : id)
        if (!std::isdigit(static_cast<unsigned char>(c)) &&
            !std::isupper(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// The station IDs of the table's station column, or of its name column
// (the table ghcn --points reads, named by station ID); NA passed over.
failure plan_stations(const import_request &r, std::vector<std::string> &ids,
                      std::vector<failure> &left_out) {
    csv_table t;
    if (failure f = read_csv_table(r.plan, t); f.failed())
        return f;
    size_t column = t.column({"station"});
    if (column == csv_table::none)
        column = t.column({"name"});
    if (column == csv_table::none)
        return {input_name(r.plan) +
                ": a ghcn --plan table needs a station column (or a name column of station IDs)"};
    for (size_t row = 0; row < t.rows.size(); ++row) {
        const std::string id(trimmed(t.rows[row][column]));
        if (is_na(id))
            continue;
        if (ghcn_id(id)) {
            ids.push_back(id);
            continue;
        }
        const failure wrong = {t.at(row) + ": " + quote_token(id) +
                               " is no GHCN-Daily station ID (11 capital letters and digits)"};
        if (!r.keep_going)
            return wrong;
        left_out.push_back(wrong);
    }
    return {};
}

} // namespace

failure plan_daymet(const import_request &r, daily_plan &plan) {
    plan.service = {"Daymet single-pixel CSV (" + std::string(daymet_vars) +
                        "), a file a point, saved as NAME.csv",
                    "the service publishes no rate limit, so one request at a time",
                    "https://daac.ornl.gov/DAYMET/guides/Daymet_SPET.html", 2};
    return point_downloads(r, ".csv", daymet_url, plan);
}

failure plan_power(const import_request &r, daily_plan &plan) {
#ifndef SITEPREP_HAVE_JSON
    if (r.plan_json) // its files could never be judged whole
        return {"--plan-format json: this build reads no JSON (it was made without nlohmann-json)"};
#endif
    const std::string ext = r.plan_json ? ".json" : ".csv";
    plan.service = {"NASA POWER daily point " + std::string(r.plan_json ? "JSON" : "CSV") + " (" +
                        power_parameters + "), a file a point, saved as NAME" + ext,
                    "the Daily API publishes no rate limit, so one request at a time",
                    "https://power.larc.nasa.gov/docs/services/api/temporal/daily/", 2};
    return point_downloads(r, ext, power_url, plan);
}

failure plan_ghcn(const import_request &r, daily_plan &plan) {
    plan.service = {"GHCN-Daily station files, a file a station, saved as ID.dly",
                    "NCEI publishes no rate limit for these files, so one at a time",
                    "https://www.ncei.noaa.gov/pub/data/ghcn/daily/readme.txt", 1};
    std::vector<std::string> ids;
    if (failure f = plan_stations(r, ids, plan.left_out); f.failed())
        return f;
    for (const std::string &id : ids)
        plan.downloads.push_back(
            {id + ".dly", service_url(r.base_url, "https://www.ncei.noaa.gov",
                                      "/pub/data/ghcn/daily/all/" + id + ".dly")});
    return {};
}

int run_daily_plan(const import_request &r) {
    return run_reported([&r] {
        daily_plan plan;
        if (failure f = r.options.format->plan(r, plan); f.failed())
            return error_status(f);
        import_options options = r.options;
        options.allow_lacking = true; // a station without temperatures is whole
        // A service of points serves the years asked; a station's file is its record.
        const bool whole_years = !r.options.format->named_by_station;
        plan_count count;
        if (failure f = print_download_plan(
                plan.service, plan.downloads,
                [&](const std::string &path) { return import_fault(path, options, whole_years); },
                count);
            f.failed())
            return error_status(f);
        if (plan.left_out.empty())
            return 0;
        for (const failure &f : plan.left_out)
            say_error("left out: " + f.message);
        say_error(counted(static_cast<long>(plan.left_out.size()), "row") +
                  ", listed above, left out of the plan");
        return 1;
    });
}

} // namespace import
