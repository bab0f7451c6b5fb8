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

#include <cerrno>
#include <cmath>
#include <cstring>

std::string block_value(float v) {
    if (std::isnan(v))
        return "NA";
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", static_cast<double>(v));
    return text;
}

std::string csv_header(bool check) {
    std::string header = "site,line,month,year_rows,precip_years,tmin_years,tmax_years";
    for (const char *name : block_names)
        header += std::string(",") + name;
    return header + (check ? ",warnings\r\n" : "\r\n");
}

// The twelve rows of a site.
std::string csv_rows(const site_outcome &s, bool check) {
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
        if (check)
            text += "," + std::to_string(s.warnings);
        text += "\r\n";
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
    emit(o.csv, csv_header(o.check), o.csv_error);
    return true;
}

void add_site(batch_outputs &o, const site_outcome &site) {
    ++o.sites;
    if (o.csv != nullptr)
        emit(o.csv, csv_rows(site, o.check), o.csv_error);
    if (o.rows != nullptr) {
        emit(o.rows, html_row(site, o.sites, o.check), o.report_error);
        emit(o.sections, html_section(site, o.sites), o.report_error);
    }
}

void add_outcome(batch_outputs *outputs, const listed_site &entry, const weather_stats *stats,
                 const char *no_stats, int problems, int warnings,
                 const std::vector<std::string> &findings) {
    if (outputs == nullptr)
        return;
    const std::string name =
        entry.problem.empty() ? entry.site.name : "line " + std::to_string(entry.line_number);
    site_outcome outcome;
    outcome.name = &name;
    outcome.line = entry.line_number;
    outcome.stats = stats;
    if (!entry.problem.empty())
        outcome.no_stats = "the site-list line could not be used";
    else if (no_stats != nullptr)
        outcome.no_stats = no_stats;
    outcome.problems = problems;
    outcome.warnings = warnings;
    outcome.findings = &findings;
    add_site(*outputs, outcome);
}

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
    discard_outputs(o);
    return ok;
}

void discard_outputs(batch_outputs &o) {
    close_unnamed(o.csv);
    close_unnamed(o.rows);
    close_unnamed(o.sections);
}
