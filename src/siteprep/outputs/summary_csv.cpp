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

// Writes text to an unnamed file, if it is wanted; the stream keeps the
// first failure.
void emit(os::out_stream &out, const std::string &text) {
    if (out.is_open())
        out.put(text);
}

// An unnamed file beside path; false (after a message) when it cannot be.
bool open_beside(const std::string &path, os::out_stream &out) {
    os::result<os::out_stream> opened = os::open_unnamed_beside(path);
    if (!opened)
        return say_not_written(path, opened.err());
    out = std::move(*opened);
    return true;
}

} // namespace

bool open_outputs(batch_outputs &o) {
    if (!o.summary_path.empty() && !open_beside(o.summary_path, o.csv))
        return false;
    if (!o.report_path.empty() &&
        (!open_beside(o.report_path, o.rows) || !open_beside(o.report_path, o.sections))) {
        discard_outputs(o);
        return false;
    }
    emit(o.csv, csv_header(o.check));
    return true;
}

void add_site(batch_outputs &o, const site_outcome &site) {
    ++o.sites;
    emit(o.csv, csv_rows(site, o.check));
    if (o.rows.is_open()) {
        emit(o.rows, html_row(site, o.sites, o.check));
        emit(o.sections, html_section(site, o.sites));
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
    for (os::out_stream *unnamed : {&o.csv, &o.rows, &o.sections})
        if (unnamed->is_open())
            unnamed->flush();
    const auto put_in_place = [&](const std::string &path, int error,
                                  const os::content_writer &fill) {
        const int err =
            error != 0
                ? error
                : os::write_file_whole(path, dir_of(path) + "/.siteprep-", fill, false).err();
        if (err != 0)
            ok = say_not_written(path, err);
    };
    if (o.csv.is_open())
        put_in_place(o.summary_path, o.csv.error(), [&](os::out_stream &to) {
            o.csv.rewind();
            return os::copy_stream(o.csv.get(), to).err();
        });
    if (o.rows.is_open())
        put_in_place(o.report_path, o.rows.error() != 0 ? o.rows.error() : o.sections.error(),
                     [&](os::out_stream &to) { return write_page(o, to); });
    discard_outputs(o);
    return ok;
}

void discard_outputs(batch_outputs &o) {
    for (os::out_stream *unnamed : {&o.csv, &o.rows, &o.sections})
        *unnamed = os::out_stream();
}
