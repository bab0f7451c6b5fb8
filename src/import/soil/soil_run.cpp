// The soil command: each input read into its sites, each site's row made,
// the rows put into the soils table through the guard and a temporary
// name; or, with --plan, the downloads printed that make the inputs.
#include "soil/soil_run.h"
#include "csv_table.h"
#include "download_plan.h"
#include "guard.h"
#include "input.h"
#include "outputs.h"
#include "points.h"
#include "reporter.h"
#include "shown.h"

#include <cerrno>
#include <cstring>
#include <map>

namespace import {

const char *soil_source_name(soil_source s) {
    switch (s) {
    case soil_source::soilgrids:
        return "soilgrids";
    case soil_source::sda:
        return "sda";
    case soil_source::horizons:
        return "horizons";
    }
    return "";
}

namespace {

void say_warning(const std::string &text) {
    say_error("warning: " + text);
}

// A text for SQL, in single quotes.
std::string sql_text(const std::string &text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

constexpr char soilgrids_query[] = "https://rest.isric.org/soilgrids/v2.0/properties/query";
constexpr const char *soilgrids_depths[] = {"0-5cm",   "5-15cm",   "15-30cm",
                                            "30-60cm", "60-100cm", "100-200cm"};

// One download a site, a query every 12 seconds (SoilGrids allows about
// five a minute), each saved as NAME.json, which names its site.
void print_soilgrids_plan(const std::vector<plan_point> &points, const soil_reading &how) {
    say_line("# SoilGrids 2.0 properties/query, one point a site, saved as NAME.json;");
    say_line("# the service allows about 5 queries a minute.");
    std::string asked;
    for (const char *p : {"sand", "silt", "clay", "bdod"})
        asked += std::string("&property=") + p;
    if (!how.pass_property.empty())
        asked += "&property=" + how.pass_property;
    for (const char *d : soilgrids_depths)
        asked += std::string("&depth=") + d;
    asked += "&value=" + how.quantile;
    for (const plan_point &p : points)
        say_line("curl -fsS -o " + shell_word(p.name + ".json") + " " +
                 shell_word(std::string(soilgrids_query) + "?lon=" + p.longitude +
                            "&lat=" + p.latitude + asked) +
                 " && sleep 12");
}

// A text for a JSON string, in double quotes (a site-list name holds no
// control character).
std::string json_text(const std::string &text) {
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' || c == '\\' ? std::string("\\") + c
                  : c == '\n'           ? std::string("\\n")
                                        : std::string(1, c);
    return quoted + "\"";
}

// The query of every point: its map unit, the components, their horizons
// and the shallowest restriction, each row named by its point.
std::vector<std::string> sda_query(const std::vector<plan_point> &points) {
    std::vector<std::string> sql = {
        "SELECT p.name, c.mukey, c.cokey, c.comppct_r, c.majcompflag, c.compkind,",
        "  h.hzdept_r, h.hzdepb_r, h.sandtotal_r, h.silttotal_r, h.claytotal_r, h.dbthirdbar_r,",
        "  (SELECT MIN(r.resdept_r) FROM corestrictions AS r WHERE r.cokey = c.cokey) AS "
        "resdept_r",
        "FROM ("};
    for (size_t i = 0; i < points.size(); ++i)
        sql.push_back(std::string(i == 0 ? "  " : "  UNION ALL ") + "SELECT " +
                      sql_text(points[i].name) +
                      " AS name, mukey FROM SDA_Get_Mukey_from_intersection_with_WktWgs84('point(" +
                      points[i].longitude + " " + points[i].latitude + ")')");
    for (const char *line : {") AS p", "INNER JOIN component AS c ON c.mukey = p.mukey",
                             "LEFT OUTER JOIN chorizon AS h ON h.cokey = c.cokey",
                             "ORDER BY p.name, c.cokey, h.hzdept_r"})
        sql.emplace_back(line);
    return sql;
}

// One request for every point, posted as the service takes it (a JSON
// object of the query and the result's format); the query is shown first
// as comments.
void print_sda_plan(const std::vector<plan_point> &points) {
    say_line("# Soil Data Access: one query for every point; its JSON+COLUMNNAME result,");
    say_line("# sda.json, names the sites. The query:");
    const std::vector<std::string> sql = sda_query(points);
    std::string query;
    for (const std::string &line : sql) {
        say_line("#   " + line);
        query += (query.empty() ? "" : "\n") + line;
    }
    say_line("cat > sda-request.json <<'JSON'");
    say_line("{\"format\":\"JSON+COLUMNNAME\",\"query\":" + json_text(query) + "}");
    say_line("JSON");
    say_line("curl -fsS -o sda.json -H 'Content-Type: application/json' "
             "--data-binary @sda-request.json "
             "https://sdmdataaccess.sc.egov.usda.gov/Tabular/post.rest");
}

// --plan: the commands that download the inputs, said; or what failed.
int print_plan(const soil_request &r) {
    std::vector<plan_point> points;
    std::vector<failure> left_out;
    if (failure f = read_plan_points(r.plan, r.keep_going, points, left_out); f.failed())
        return error_status(f);
    if (points.empty())
        ; // no query to print
    else if (r.format == soil_source::soilgrids)
        print_soilgrids_plan(points, r.reading);
    else
        print_sda_plan(points);
    if (left_out.empty())
        return 0;
    for (const failure &f : left_out)
        say_error("left out: " + f.message);
    say_error(counted(static_cast<long>(left_out.size()), "point") +
              " without a place, listed above, left out of the plan");
    return 1;
}

// The --points table: name and mukey, a site each; or what is wrong.
failure read_points(const std::string &path, soil_reading &how) {
    csv_table t;
    if (failure f = read_csv_table(path, t); f.failed())
        return f;
    const size_t name = t.column({"name"}), mukey = t.column({"mukey"});
    if (name == t.none || mukey == t.none)
        return {input_name(path) + ": a --points table needs the columns name and mukey"};
    for (size_t r = 0; r < t.rows.size(); ++r) {
        if (!site_list_can_name(t.rows[r][name]) || is_na(t.rows[r][mukey]))
            return {t.at(r) + ": a site-list name and a map unit key are needed"};
        how.points.emplace_back(t.rows[r][name], std::string(trimmed(t.rows[r][mukey])));
    }
    return {};
}

// Nothing is written where an input or another output would be lost.
std::vector<failure> soil_collisions(const soil_request &r) {
    std::vector<os::guarded_file> files;
    for (const std::string &input : r.inputs)
        files.push_back(input == "-"
                            ? os::guarded_file{"/dev/stdin", "standard input", false}
                            : os::guarded_file{input, "the input " + shown_name(input), false});
    if (!r.points.empty())
        files.push_back({r.points, "the --points file", false});
    files.push_back({r.soils, "the --soils file", true});
    std::vector<failure> found = guard_failures(files);
    if (found.empty())
        if (failure f = check_named_table(r.soils, soils_header(), "soils table", "--soils");
            f.failed())
            found.push_back(f);
    return found;
}

failure read_input(const soil_request &r, const std::string &path, soil_read &read) {
    switch (r.format) {
    case soil_source::soilgrids:
        return read_soilgrids(path, r.reading, read);
    case soil_source::sda:
        return read_sda(path, r.reading, read);
    case soil_source::horizons:
        return read_horizons(path, r.reading, read);
    }
    return {};
}

// What the inputs made: the rows, and the failures (an input's or a
// site's), each said as it is met.
struct soil_outcome {
    std::vector<named_row> rows;
    std::vector<failure> failures;
    std::map<std::string, std::string> where; // a site's input, for one named twice
};

// The sites of one input into rows; false when the command must stop.
bool add_sites(const soil_request &r, const std::string &input, soil_outcome &out) {
    soil_read read;
    std::vector<failure> failed;
    if (failure f = read_input(r, input, read); f.failed())
        failed.push_back(f);
    failed.insert(failed.end(), read.failures.begin(), read.failures.end());
    const std::string source = std::string(soil_source_name(r.format)) +
                               (r.format == soil_source::soilgrids ? " " + r.reading.quantile : "");
    for (const site_soil &site : read.sites) {
        if (auto [at, fresh] = out.where.try_emplace(site.name, input_name(input)); !fresh) {
            failed.push_back({shown_name(site.name) + ": given again in " + input_name(input) +
                              " (first in " + at->second + ")"});
            continue;
        }
        soil_row row;
        if (failure f = soil_row_of(site, r.codes, r.pass_through, source, row); f.failed()) {
            failed.push_back(f);
            continue;
        }
        for (const std::string &note : row.notes)
            say_warning(note);
        out.rows.emplace_back(row.name, soils_line(row));
    }
    for (const failure &f : failed)
        say_error(f.message);
    out.failures.insert(out.failures.end(), failed.begin(), failed.end());
    return failed.empty() || r.keep_going;
}

int soil_all(soil_request &r) {
    if (!r.plan.empty())
        return print_plan(r);
    if (!r.points.empty())
        if (failure f = read_points(r.points, r.reading); f.failed())
            return error_status(f);
    if (const std::vector<failure> found = soil_collisions(r); !found.empty()) {
        for (const failure &f : found)
            say_error(f.message);
        say_error("nothing was written");
        return 1;
    }
    if (r.format == soil_source::soilgrids && r.reading.quantile != "mean")
        say_error("note: the " + r.reading.quantile +
                  " values are quantiles of each property and depth on its "
                  "own, not the texture of one soil: the three need not sum "
                  "to 100 %");
    soil_outcome out;
    for (const std::string &input : r.inputs)
        if (!add_sites(r, input, out)) {
            say_error(shown_name(r.soils) + " was not written");
            return 1;
        }
    if (!out.rows.empty())
        if (failure f = write_named_table(r.soils, soils_header(), out.rows, "soils table");
            f.failed())
            return error_status(f);
    say_format("%s: %s\n", shown_name(r.soils).c_str(),
               counted(static_cast<long>(out.rows.size()), "site").c_str());
    if (out.failures.empty())
        return 0;
    say_error(counted(static_cast<long>(out.failures.size()), "failure") +
              ", listed above; their sites are not in " + shown_name(r.soils));
    return 1;
}

} // namespace

int run_soil(soil_request request) {
    return run_reported([&] { return soil_all(request); });
}

} // namespace import
