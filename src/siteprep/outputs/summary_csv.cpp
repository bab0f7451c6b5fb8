// The --summary table: every site's monthly statistics as CSV rows; and
// the streaming of both outputs, the table and the --report page, into
// unnamed files beside their final names as the sites are done, put in
// place whole at the end.
#include "csv.h"
#include "fd.h"
#include "file_paths.h"
#include "formats.h"
#include "open.h"
#include "report.h"
#include "report_charts.h"
#include "shown.h"
#include "write_whole.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

std::string block_value(float v) {
    if (std::isnan(v))
        return "NA";
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", static_cast<double>(v));
    return text;
}

namespace {

// The summary names the rule and the period when they were given, and
// gives the sample skewness beside the block's.
bool named(const batch_outputs &o) {
    return o.weather != nullptr && o.weather->named;
}

// A double as the table prints it, or NA.
std::string double_value(double v) {
    if (!std::isfinite(v))
        return "NA";
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", v);
    return text;
}

// The columns a named rule or period adds to a site's row of a month.
std::string choice_columns(const site_outcome &s, const batch_outputs &o, int m) {
    // A site a rule fails has no statistics: NA here as in the block's columns.
    const bool skew = s.stats != nullptr && s.weather != nullptr && s.weather->has_skew;
    return "," + (skew ? double_value(s.weather->skew[m].g1) : "NA") + "," +
           (skew ? double_value(s.weather->skew[m].se) : "NA") + "," +
           csv_field(rule_name(o.weather->choice.rule)) + "," + period_name(o.weather->choice);
}

} // namespace

std::string csv_header(const batch_outputs &o) {
    std::string header = "site,line,month,year_rows,precip_years,tmin_years,tmax_years";
    for (const char *name : block_names)
        header += std::string(",") + name;
    if (named(o))
        header += ",prcskw_g1,prcskw_se,completeness,years";
    return header + (o.check ? ",warnings\r\n" : "\r\n");
}

// The twelve rows of a site.
std::string csv_rows(const site_outcome &s, const batch_outputs &o) {
    std::string text;
    for (int m = 0; m < months; ++m) {
        text +=
            csv_field(*s.name) + "," + std::to_string(s.line) + "," + std::to_string(m + 1) + ",";
        if (s.stats != nullptr) {
            const weather_stats &w = *s.stats;
            text += std::to_string(w.years) + "," + std::to_string(w.count[0][m]) + "," +
                    std::to_string(w.count[1][m]) + "," + std::to_string(w.count[2][m]) + "," +
                    block_value(w.prec_mean[m]) + "," + block_value(w.prec_dev[m]) + "," +
                    block_value(w.prec_skew[m]) + "," + block_value(w.tmin_mean[m]) + "," +
                    block_value(w.tmax_mean[m]);
        } else {
            text += "NA,NA,NA,NA,NA,NA,NA,NA,NA";
        }
        if (named(o))
            text += choice_columns(s, o, m);
        if (o.check)
            text += "," + std::to_string(s.warnings);
        text += "\r\n";
    }
    return text;
}

std::string monthly_header() {
    return "site,line,year,month,prcp_total,tmin_mean,tmax_mean,prcp_days,tmin_days,tmax_days,"
           "days_in_month,longest_gap,filled,used\r\n";
}

namespace {

// The quantities a month enters the statistics of: "prcp+tmin+tmax", or
// "none".
std::string_view used_text(unsigned used) {
    static const char *const texts[8] = {"none", "prcp",      "tmin",      "prcp+tmin",
                                         "tmax", "prcp+tmax", "tmin+tmax", "prcp+tmin+tmax"};
    return texts[used & 7u];
}

// A row's fields, put one after another where at points: a site has a
// row for each of its months, so the values are written as printf's
// "%.4f" would write them, without its cost.
struct row_writer {
    // The most the fields after the site's take: a year, a month, three
    // values of up to 46 characters ("%.4f" of the largest float), six
    // counts and the quantities used, with their commas and line end.
    static constexpr size_t most = 256;
    char *at;
    void add(std::string_view text) { at = std::copy(text.begin(), text.end(), at); }
    void add(long n) {
        *at++ = ',';
        at = std::to_chars(at, at + 24, n).ptr;
    }
    void add_value(float v) {
        *at++ = ',';
        if (v == missing_value || std::isnan(v))
            add("NA");
        else
            at = put_fixed4(v, at);
    }
};

} // namespace

void put_monthly_rows(const site_outcome &s, os::out_stream &out) {
    if (s.weather == nullptr)
        return;
    const std::string site = csv_field(*s.name) + "," + std::to_string(s.line);
    const std::vector<month_summary> &list = s.weather->month_list;
    // Kept from site to site, never shrunk: a site's rows are written
    // straight into it and put in one write.
    thread_local std::vector<char> text;
    const size_t room = list.size() * (site.size() + row_writer::most);
    if (text.size() < room)
        text.resize(room);
    row_writer row{text.data()};
    for (const month_summary &m : list) {
        row.add(site);
        row.add(m.year);
        row.add(m.month);
        for (int q : {q_prec, q_tmin, q_tmax})
            row.add_value(m.value[q]);
        for (int q : {q_prec, q_tmin, q_tmax})
            row.add(m.days[q]);
        row.add(m.length);
        row.add(m.longest_gap);
        if (m.filled < 0)
            row.add(",NA");
        else
            row.add(m.filled);
        row.add(",");
        row.add(used_text(m.used));
        row.add("\r\n");
    }
    out.put(std::string_view(text.data(), static_cast<size_t>(row.at - text.data())));
}

namespace {

// Writes text to an unnamed file, if it is wanted; the stream keeps the
// first failure.
void emit(os::out_stream &out, const std::string &text) {
    if (out.is_open())
        out.put(text);
}

// An unnamed file beside path; the failure when it cannot be.
failure open_beside(const std::string &path, os::out_stream &out) {
    os::result<os::out_stream> opened = os::open_unnamed_beside(path);
    if (!opened)
        return not_written(path, opened.err());
    out = std::move(*opened);
    return failure();
}

// A line more of a failure that has several.
void add_line(failure &f, const failure &more) {
    f.message += (f.message.empty() ? "" : "\n") + more.message;
}

} // namespace

failure open_outputs(batch_outputs &o) {
    failure f;
    if (!o.summary_path.empty() && (f = open_beside(o.summary_path, o.csv)).failed())
        return f;
    if (!o.report_path.empty() && ((f = open_beside(o.report_path, o.rows)).failed() ||
                                   (f = open_beside(o.report_path, o.sections)).failed())) {
        discard_outputs(o);
        return f;
    }
    if (!o.report_path.empty())
        o.overview.sources = read_station_sources(o.list_name);
    if (!o.monthly_path.empty()) {
        if ((f = open_beside(o.monthly_path, o.monthly)).failed()) {
            discard_outputs(o);
            return f;
        }
        emit(o.monthly, monthly_header());
    }
    emit(o.csv, csv_header(o));
    return f;
}

void add_site(batch_outputs &o, const site_outcome &site) {
    ++o.sites;
    // Each table's rows made only when it is wanted.
    if (o.csv.is_open())
        emit(o.csv, csv_rows(site, o));
    if (o.monthly.is_open())
        put_monthly_rows(site, o.monthly);
    if (o.rows.is_open()) {
        emit(o.rows, html_row(site, o.sites, o));
        note_point(o.overview, site, o.sites);
        emit(o.sections, site_record(site, o.sites, o.extent));
    }
}

void add_outcome(batch_outputs *outputs, const listed_site &entry, const site_weather *weather,
                 const char *no_stats, int problems, int warnings,
                 const std::vector<std::string> &findings) {
    if (outputs == nullptr)
        return;
    const std::string name =
        entry.problem.empty() ? entry.site.name : "line " + std::to_string(entry.line_number);
    site_outcome outcome;
    outcome.name = &name;
    outcome.line = entry.line_number;
    outcome.place = entry.problem.empty() ? &entry.site : nullptr;
    // A site whose weather was read but failed (a rule that leaves a month
    // without a year) still has its months.
    outcome.stats = weather != nullptr && !weather->why.failed() ? &weather->ws : nullptr;
    outcome.weather = weather;
    if (!entry.problem.empty())
        outcome.no_stats = "the site-list line could not be used";
    else if (no_stats != nullptr)
        outcome.no_stats = no_stats;
    outcome.problems = problems;
    outcome.warnings = warnings;
    outcome.findings = &findings;
    add_site(*outputs, outcome);
}

failure write_outputs(batch_outputs &o) {
    failure f;
    for (os::out_stream *unnamed : {&o.csv, &o.rows, &o.sections, &o.monthly})
        if (unnamed->is_open())
            unnamed->flush();
    // The tables, filled in their unnamed files, are linked into place.
    for (auto [table, path] : {std::pair{&o.csv, &o.summary_path}, {&o.monthly, &o.monthly_path}})
        if (table->is_open())
            if (const os::result<void> placed =
                    os::put_unnamed_in_place(*table, *path, os::dir_of(*path) + "/.siteprep-");
                !placed)
                add_line(f, not_written(*path, placed.err()));
    if (o.rows.is_open()) {
        int err = o.rows.error() != 0 ? o.rows.error() : o.sections.error();
        if (err == 0)
            err = os::write_file_whole(
                      o.report_path, os::dir_of(o.report_path) + "/.siteprep-",
                      [&](os::out_stream &to) { return write_page(o, to); }, false)
                      .err();
        if (err != 0)
            add_line(f, not_written(o.report_path, err));
    }
    discard_outputs(o);
    return f;
}

void discard_outputs(batch_outputs &o) {
    for (os::out_stream *unnamed : {&o.csv, &o.rows, &o.sections, &o.monthly})
        *unnamed = os::out_stream();
}
