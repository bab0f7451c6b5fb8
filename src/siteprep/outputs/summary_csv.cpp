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
    const bool skew = s.weather != nullptr && s.weather->has_skew;
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

// A row's fields, put one after another into a buffer: a site has a row
// for each of its months, so the values are written as printf's "%.4f"
// would write them, without its cost.
struct row_writer {
    char buffer[256];
    char *at = buffer;
    void add(std::string_view text) { at = std::copy(text.begin(), text.end(), at); }
    void add(long n) {
        *at++ = ',';
        at = std::to_chars(at, std::end(buffer), n).ptr;
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

std::string monthly_rows(const site_outcome &s) {
    if (s.weather == nullptr)
        return std::string();
    std::string text;
    const std::string site = csv_field(*s.name) + "," + std::to_string(s.line);
    text.reserve(s.weather->month_list.size() * (site.size() + 80));
    for (const month_summary &m : s.weather->month_list) {
        row_writer row; // the fields after the site's, of a bounded length
        text += site;
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
        text.append(row.buffer, row.at);
    }
    return text;
}

namespace {

// Writes text to an unnamed file, keeping the first failure.
void emit(FILE *fp, const std::string &text, int &error) {
    if (fp != nullptr && std::fwrite(text.data(), 1, text.size(), fp) != text.size() && error == 0)
        error = errno ? errno : EIO;
}

void close_unnamed(FILE *&fp) {
    if (fp != nullptr)
        std::fclose(fp);
    fp = nullptr;
}

bool say_write_error(const std::string &path, int err) {
    return say_not_written(path, err);
}

} // namespace

bool open_outputs(batch_outputs &o) {
    int err = 0;
    if (!o.summary_path.empty() && (o.csv = open_unnamed_beside(o.summary_path, err)) == nullptr)
        return say_write_error(o.summary_path, err);
    if (!o.report_path.empty() &&
        ((o.rows = open_unnamed_beside(o.report_path, err)) == nullptr ||
         (o.sections = open_unnamed_beside(o.report_path, err)) == nullptr)) {
        discard_outputs(o);
        return say_write_error(o.report_path, err);
    }
    if (!o.monthly_path.empty()) {
        os::result<os::out_stream> monthly = os::open_unnamed_beside(o.monthly_path);
        if (!monthly) {
            discard_outputs(o);
            return say_write_error(o.monthly_path, monthly.err());
        }
        o.monthly = std::move(*monthly);
        o.monthly.put(monthly_header());
    }
    emit(o.csv, csv_header(o), o.csv_error);
    return true;
}

void add_site(batch_outputs &o, const site_outcome &site) {
    ++o.sites;
    if (o.csv != nullptr)
        emit(o.csv, csv_rows(site, o), o.csv_error);
    if (o.monthly.is_open())
        o.monthly.put(monthly_rows(site));
    if (o.rows != nullptr) {
        emit(o.rows, html_row(site, o.sites, o.check), o.report_error);
        emit(o.sections, html_section(site, o.sites), o.report_error);
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
    // A site whose weather was read but failed (a rule that leaves a month
    // without a year) still has its months.
    outcome.stats = weather != nullptr && weather->failure.empty() ? &weather->ws : nullptr;
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

namespace {

// The --monthly table put in place from its unnamed file.
bool put_monthly_in_place(batch_outputs &o) {
    FILE *filled = o.monthly.get();
    int err = o.monthly.error();
    if (err == 0 && std::fflush(filled) != 0)
        err = errno != 0 ? errno : EIO;
    if (err == 0) {
        std::rewind(filled);
        const os::result<void> written = os::write_file_whole(
            o.monthly_path, dir_of(o.monthly_path) + "/.siteprep-",
            [filled](os::out_stream &to) { return os::copy_stream(filled, to).err(); }, false);
        err = written.err();
    }
    return err == 0 || say_write_error(o.monthly_path, err);
}

} // namespace

bool write_outputs(batch_outputs &o) {
    bool ok = true;
    for (auto [fp, error] : {std::pair{o.csv, &o.csv_error}, std::pair{o.rows, &o.report_error},
                             std::pair{o.sections, &o.report_error}})
        if (fp != nullptr && std::fflush(fp) != 0 && *error == 0)
            *error = errno ? errno : EIO;
    const auto put_in_place = [&](const std::string &path, int error,
                                  const std::function<int(FILE *)> &fill) {
        const int err =
            error != 0 ? error : write_file_whole(path, dir_of(path) + "/.siteprep-", fill, false);
        if (err != 0)
            ok = say_write_error(path, err);
    };
    if (o.csv != nullptr)
        put_in_place(o.summary_path, o.csv_error,
                     [&](FILE *to) { return std::rewind(o.csv), copy_stream(o.csv, to); });
    if (o.rows != nullptr)
        put_in_place(o.report_path, o.report_error, [&](FILE *to) { return write_page(o, to); });
    if (o.monthly.is_open() && !put_monthly_in_place(o))
        ok = false;
    discard_outputs(o);
    return ok;
}

void discard_outputs(batch_outputs &o) {
    o.monthly = os::out_stream(); // unnamed: closed without a word
    close_unnamed(o.csv);
    close_unnamed(o.rows);
    close_unnamed(o.sections);
}
