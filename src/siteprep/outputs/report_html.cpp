// The --report page: an overview of the sites, worst first, and a section
// a site with its climograph (precipitation bars, temperature lines) and
// its findings.
#include "fd.h"
#include "formats.h"
#include "lines.h"
#include "report_map.h"

#include <algorithm>
#include <cmath>

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

std::string number(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

namespace {

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
                       style + overview_style + "</style>\n</head>\n<body>\n<h1>" +
                       html("Climate report of " + outputs.list_name) +
                       "</h1>\n<p class=\"status\">" + html(outputs.status) + "</p>\n" +
                       html_choice(outputs);
    if (!outputs.check)
        page += "<p class=\"status\">The run does not audit the files, so no warnings are "
                "counted here: siteprep --check lists them.</p>\n";
    return page + overview_head(outputs);
}

} // namespace

std::string html_choice(const batch_outputs &o) {
    if (o.weather == nullptr || o.weather->choice.is_default())
        return std::string();
    return "<p class=\"status\">" +
           html("Statistics under " + choice_name(o.weather->choice) +
                "; the strip under each climograph shows the months each year row gave them.") +
           "</p>\n";
}

std::string html_strip(const site_outcome &s) {
    if (s.weather == nullptr || s.weather->month_list.empty())
        return std::string();
    const std::vector<month_summary> &list = s.weather->month_list;
    const double cell = 6, rows = static_cast<double>(list.size() / months);
    const double width = rows * cell, height = months * cell;
    std::string svg = "<svg class=\"strip\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
                      number(width, 0) + " " + number(height + 14, 0) +
                      "\" role=\"img\" aria-label=\"" +
                      html("Months of " + *s.name + " that enter the statistics") +
                      "\"><rect fill=\"#b7dfb0\" width=\"" + number(width, 0) + "\" height=\"" +
                      number(height, 0) + "\"/>";
    // A cell for each month that does not enter all three statistics, its
    // year row across, its month down.
    for (size_t i = 0; i < list.size(); ++i) {
        const month_summary &m = list[i];
        const char *fill = !m.in_period  ? "#ddd"
                           : m.used == 7 ? nullptr
                           : m.used == 0 ? "#e57373"
                                         : "#f4c26b";
        if (fill == nullptr)
            continue;
        svg += "<rect fill=\"" + std::string(fill) + "\" x=\"" +
               number(static_cast<double>(i / months) * cell, 0) + "\" y=\"" +
               number(static_cast<double>(m.month - 1) * cell, 0) +
               "\" width=\"6\" height=\"6\"><title>" + std::to_string(m.year) + "-" +
               (m.month < 10 ? "0" : "") + std::to_string(m.month) + "</title></rect>";
    }
    return svg + "<text class=\"tick\" x=\"0\" y=\"" + number(height + 11, 0) + "\">" +
           std::to_string(list.front().year) + "</text><text class=\"tick\" x=\"" +
           number(width, 0) + "\" y=\"" + number(height + 11, 0) + "\" text-anchor=\"end\">" +
           std::to_string(list.back().year) +
           "</text></svg>\n<p class=\"strip-legend\">Months (January at the top) of each year "
           "row: green enter all three statistics, amber some, red none; grey lie outside the "
           "years.</p>\n";
}

std::string html_section(const site_outcome &s, size_t number) {
    std::string page = "<section class=\"site\" id=\"site-" + std::to_string(number) + "\">\n<h2>" +
                       html(*s.name) + "</h2>\n";
    if (s.stats != nullptr)
        page += climograph(*s.name, *s.stats) + html_strip(s);
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

int write_page(batch_outputs &o, os::out_stream &to) {
    to.put(html_head(o));
    if (const int err = write_overview(o, to); err != 0)
        return err;
    o.sections.rewind();
    if (const os::result<void> copied = os::copy_stream(o.sections.get(), to); !copied)
        return copied.err();
    to.put("</body>\n</html>\n");
    return 0;
}
