// A batch at a glance: the monthly statistics of every site as a CSV table
// (--summary) and as an HTML page of climographs (--report). Both are
// written under a temporary name in their directory and renamed into place,
// so a reader never sees half a file.
#include "outputs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A value as the weather block prints it, or NA for not-a-number.
std::string block_value(float v) {
    if (std::isnan(v))
        return "NA";
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", static_cast<double>(v));
    return text;
}

} // namespace

std::string csv_field(const std::string &text) {
    const bool padded =
        !text.empty() && (is_blank_char(text.front()) || is_blank_char(text.back()));
    if (!padded && text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

namespace {

std::string html(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string number(double v, int decimals = 1) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
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

// An axis from lo to hi widened to whole steps of 1, 2 or 5 times a power
// of ten, about four of them; the step.
double round_range(double &lo, double &hi) {
    const double rough = std::max((hi - lo) / 4, 1e-6);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (double f : {1.0, 2.0, 5.0})
        if (f * power >= rough) {
            step = f * power;
            break;
        }
    lo = std::floor(lo / step) * step;
    hi = std::ceil(hi / step) * step;
    if (hi <= lo)
        hi = lo + step;
    return step;
}

// A climograph's frame: where the plot stands on the page and the two
// axes' ranges, rounded to whole steps.
struct chart_frame {
    double left = 60, right = 560, top = 20, bottom = 240, width = 620, height = 290;
    double slot = (right - left) / months; // one month's width
    double prec_lo = 0, prec_top = 10, prec_step = 0;
    double t_lo = INFINITY, t_hi = -INFINITY, t_step = 0;
    double y_prec(double v) const {
        return bottom - (v - prec_lo) / (prec_top - prec_lo) * (bottom - top);
    }
    double y_temp(double v) const { return bottom - (v - t_lo) / (t_hi - t_lo) * (bottom - top); }
    double x_mid(int m) const { return left + slot * (m + 0.5); }
};

chart_frame frame_of(const weather_stats &w) {
    chart_frame f;
    for (int m = 0; m < months; ++m) {
        if (std::isfinite(w.prec_mean[m]))
            f.prec_top =
                std::max(f.prec_top, static_cast<double>(w.prec_mean[m]) +
                                         (std::isfinite(w.prec_dev[m]) ? w.prec_dev[m] : 0));
        for (float t : {w.tmin_mean[m], w.tmax_mean[m]})
            if (std::isfinite(t)) {
                f.t_lo = std::min(f.t_lo, static_cast<double>(t));
                f.t_hi = std::max(f.t_hi, static_cast<double>(t));
            }
    }
    if (!std::isfinite(f.t_lo)) {
        f.t_lo = 0;
        f.t_hi = 10;
    }
    f.prec_step = round_range(f.prec_lo, f.prec_top);
    f.t_step = round_range(f.t_lo, f.t_hi);
    return f;
}

// Axes, ticks and labels.
std::string svg_axes(const chart_frame &f) {
    std::string svg = "<g class=\"axes\"><line x1=\"" + number(f.left) + "\" y1=\"" +
                      number(f.bottom) + "\" x2=\"" + number(f.right) + "\" y2=\"" +
                      number(f.bottom) + "\"/><line x1=\"" + number(f.left) + "\" y1=\"" +
                      number(f.top) + "\" x2=\"" + number(f.left) + "\" y2=\"" + number(f.bottom) +
                      "\"/><line x1=\"" + number(f.right) + "\" y1=\"" + number(f.top) +
                      "\" x2=\"" + number(f.right) + "\" y2=\"" + number(f.bottom) + "\"/></g>\n";
    const int prec_decimals = f.prec_step < 1 ? 1 : 0, t_decimals = f.t_step < 1 ? 1 : 0;
    for (double p = f.prec_lo; p <= f.prec_top + f.prec_step / 2; p += f.prec_step)
        svg += "<text class=\"tick\" x=\"" + number(f.left - 6) + "\" y=\"" +
               number(f.y_prec(p) + 4) + "\" text-anchor=\"end\">" + number(p, prec_decimals) +
               "</text>";
    for (double t = f.t_lo; t <= f.t_hi + f.t_step / 2; t += f.t_step)
        svg += "<text class=\"tick\" x=\"" + number(f.right + 6) + "\" y=\"" +
               number(f.y_temp(t) + 4) + "\">" + number(t, t_decimals) + "</text>";
    svg += "\n";
    static const char *const initials = "JFMAMJJASOND";
    for (int m = 0; m < months; ++m)
        svg += "<text class=\"tick\" x=\"" + number(f.x_mid(m)) + "\" y=\"" +
               number(f.bottom + 16) + "\" text-anchor=\"middle\">" + initials[m] + "</text>";
    return svg + "\n<text class=\"label\" transform=\"rotate(-90)\" x=\"" +
           number(-(f.top + f.bottom) / 2) +
           "\" y=\"16\" text-anchor=\"middle\">Precipitation (cm)</text><text class=\"label\" "
           "transform=\"rotate(90)\" x=\"" +
           number((f.top + f.bottom) / 2) + "\" y=\"" + number(-(f.width - 12)) +
           "\" text-anchor=\"middle\">Temperature (&#176;C)</text><text class=\"label\" x=\"" +
           number((f.left + f.right) / 2) + "\" y=\"" + number(f.bottom + 36) +
           "\" text-anchor=\"middle\">Month</text>\n";
}

// A bar for each month with a precipitation value, and a whisker of one
// deviation.
std::string svg_bars(const chart_frame &f, const weather_stats &w) {
    std::string svg;
    for (int m = 0; m < months; ++m) {
        const float mean = w.prec_mean[m], dev = w.prec_dev[m];
        if (!std::isfinite(mean))
            continue;
        const double x = f.left + f.slot * m + f.slot * 0.2;
        const double y = f.y_prec(std::max(0.0, double(mean)));
        svg += "<rect class=\"bar\" data-month=\"" + std::to_string(m + 1) + "\" data-value=\"" +
               block_value(mean) + "\" x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" +
               number(f.slot * 0.6) + "\" height=\"" + number(f.bottom - y) + "\"><title>" +
               block_value(mean) + " cm</title></rect>";
        if (std::isfinite(dev) && dev > 0) {
            const double cx = f.x_mid(m);
            svg += "<line class=\"whisker\" x1=\"" + number(cx) + "\" y1=\"" +
                   number(f.y_prec(std::max(0.0, double(mean) - dev))) + "\" x2=\"" + number(cx) +
                   "\" y2=\"" + number(f.y_prec(double(mean) + dev)) + "\"/>";
        }
    }
    return svg;
}

// A temperature line, broken where a month is missing; each piece with the
// month and value each of its points stands for.
std::string svg_line(const chart_frame &f, const float values[months], const std::string &cls) {
    std::string svg, points, data;
    const auto flush = [&] {
        if (!points.empty())
            svg += "<polyline class=\"" + cls + "\" data-values=\"" + data + "\" points=\"" +
                   points + "\"/>";
        points.clear();
        data.clear();
    };
    for (int m = 0; m < months; ++m) {
        if (!std::isfinite(values[m])) {
            flush();
            continue;
        }
        const char *gap = points.empty() ? "" : " ";
        points += gap + number(f.x_mid(m)) + "," + number(f.y_temp(values[m]));
        data += gap + std::to_string(m + 1) + ":" + block_value(values[m]);
    }
    flush();
    return svg;
}

std::string svg_legend(const chart_frame &f) {
    const double left = f.left, height = f.height;
    return "\n<g class=\"legend\"><rect class=\"bar\" x=\"" + number(left + 10) + "\" y=\"" +
           number(height - 14) + "\" width=\"10\" height=\"10\"/><text x=\"" + number(left + 24) +
           "\" y=\"" + number(height - 5) +
           "\">precipitation, mean &#177; 1 sd</text><line class=\"tmin\" x1=\"" +
           number(left + 230) + "\" y1=\"" + number(height - 9) + "\" x2=\"" + number(left + 250) +
           "\" y2=\"" + number(height - 9) + "\"/><text x=\"" + number(left + 255) + "\" y=\"" +
           number(height - 5) + "\">mean Tmin</text><line class=\"tmax\" x1=\"" +
           number(left + 340) + "\" y1=\"" + number(height - 9) + "\" x2=\"" + number(left + 360) +
           "\" y2=\"" + number(height - 9) + "\"/><text x=\"" + number(left + 365) + "\" y=\"" +
           number(height - 5) + "\">mean Tmax</text></g>\n</svg>\n";
}

// Twelve monthly precipitation bars with a whisker of one deviation on the
// left axis, mean Tmin and Tmax lines on the right; missing months are gaps.
std::string climograph(const std::string &name, const weather_stats &w) {
    const chart_frame f = frame_of(w);
    return "<svg class=\"climograph\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
           number(f.width, 0) + " " + number(f.height, 0) + "\" role=\"img\" aria-label=\"" +
           html("Climograph of " + name) + "\">\n" + svg_axes(f) + svg_bars(f, w) +
           svg_line(f, w.tmin_mean, "tmin") + svg_line(f, w.tmax_mean, "tmax") + svg_legend(f);
}

const char style[] =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    "table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:.2em .6em;text-align:right}"
    "td:first-child,th:first-child{text-align:left}.bad td{background:#fde2e2}"
    ".warned td{background:#fff4d6}section{page-break-inside:avoid;margin:2em 0}"
    "svg{width:100%;max-width:620px;height:auto;display:block}"
    ".axes line{stroke:#444}.tick{font-size:10px;fill:#444}.label{font-size:11px;fill:#222}"
    ".bar{fill:#7fa7d6}.whisker{stroke:#2b5d99;stroke-width:1.5}"
    ".tmin,.tmax{fill:none;stroke-width:2}.tmin{stroke:#1f77b4}.tmax{stroke:#d62728}"
    ".legend text{font-size:10px}ul.findings{font-size:.9em;color:#333}"
    "@media print{body{margin:0}}";

std::string html_head(const batch_outputs &outputs) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>" +
                       html("Climate report of " + outputs.list_name) + "</title>\n<style>" +
                       style + "</style>\n</head>\n<body>\n<h1>" +
                       html("Climate report of " + outputs.list_name) +
                       "</h1>\n<p class=\"status\">" + html(outputs.status) + "</p>\n";
    if (!outputs.check)
        page += "<p class=\"status\">The run does not audit the files, so no warnings are "
                "counted here: siteprep --check lists them.</p>\n";
    page += "<table class=\"overview\">\n<tr><th>site</th><th>year rows</th>";
    return page + (outputs.check ? "<th>warnings</th>" : "") + "<th>problems</th></tr>\n";
}

// A site's row of the overview, after the class that orders it: sites with
// problems first, then those with warnings, then the list's order.
std::string html_row(const site_outcome &s, size_t number, bool check) {
    const char order = s.problems ? '0' : s.warnings ? '1' : '2';
    return std::string(1, order) + "<tr" +
           (s.problems   ? " class=\"bad\""
            : s.warnings ? " class=\"warned\""
                         : "") +
           "><td><a href=\"#site-" + std::to_string(number) + "\">" + html(*s.name) +
           "</a></td><td>" + (s.stats != nullptr ? std::to_string(s.stats->years) : "NA") +
           "</td>" + (check ? "<td>" + std::to_string(s.warnings) + "</td>" : "") + "<td>" +
           std::to_string(s.problems) + "</td></tr>\n";
}

std::string html_section(const site_outcome &s, size_t number) {
    std::string page = "<section class=\"site\" id=\"site-" + std::to_string(number) + "\">\n<h2>" +
                       html(*s.name) + "</h2>\n";
    if (s.stats != nullptr)
        page += climograph(*s.name, *s.stats);
    else
        page += "<p>No data: " + html(s.no_stats) + ".</p>\n";
    if (s.findings != nullptr && !s.findings->empty()) {
        page += "<ul class=\"findings\">\n";
        for (const std::string &f : *s.findings)
            page += "<li>" + html(f) + "</li>\n";
        page += "</ul>\n";
    }
    return page + "</section>\n";
}

// Writes text to an unnamed file, keeping the first failure.
void emit(FILE *fp, const std::string &text, int &error) {
    if (fp != nullptr && std::fwrite(text.data(), 1, text.size(), fp) != text.size() && error == 0)
        error = errno ? errno : EIO;
}

// The overview's rows of one class, in the list's order.
int copy_rows(FILE *rows, char order, FILE *to) {
    std::rewind(rows);
    line_reader reader(rows);
    std::string_view line;
    while (next_line(reader, line))
        if (line[0] == order && !put_text(to, line.substr(1)))
            return 0; // the write error is the stream's
    return reader.error;
}

int write_page(batch_outputs &o, FILE *to) {
    put_text(to, html_head(o));
    for (char order : {'0', '1', '2'})
        if (const int err = copy_rows(o.rows, order, to); err != 0)
            return err;
    put_text(to, "</table>\n");
    std::rewind(o.sections);
    if (const int err = copy_stream(o.sections, to); err != 0)
        return err;
    put_text(to, "</body>\n</html>\n");
    return 0;
}

void close_unnamed(FILE *&fp) {
    if (fp != nullptr)
        std::fclose(fp);
    fp = nullptr;
}

bool say_write_error(const std::string &path, int err) {
    std::printf("Error writing %s: %s\n", shown_name(path).c_str(), std::strerror(err));
    return false;
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

bool write_outputs(batch_outputs &o) {
    bool ok = true;
    for (auto [fp, error] : {std::pair{o.csv, &o.csv_error}, std::pair{o.rows, &o.report_error},
                             std::pair{o.sections, &o.report_error}})
        if (fp != nullptr && std::fflush(fp) != 0 && *error == 0)
            *error = errno ? errno : EIO;
    const auto write = [&](const std::string &path, int error,
                           const std::function<int(FILE *)> &fill) {
        const int err =
            error != 0 ? error : write_file_whole(path, dir_of(path) + "/.siteprep-", fill, false);
        if (err != 0)
            ok = say_write_error(path, err);
    };
    if (o.csv != nullptr)
        write(o.summary_path, o.csv_error,
              [&](FILE *to) { return std::rewind(o.csv), copy_stream(o.csv, to); });
    if (o.rows != nullptr)
        write(o.report_path, o.report_error, [&](FILE *to) { return write_page(o, to); });
    discard_outputs(o);
    return ok;
}

void discard_outputs(batch_outputs &o) {
    close_unnamed(o.csv);
    close_unnamed(o.rows);
    close_unnamed(o.sections);
}
