// The --report page: an overview of the sites, worst first, and a section
// a site with its climograph (report_charts.cpp) and its findings.
#include "fd.h"
#include "formats.h"
#include "lines.h"
#include "report_charts.h"
#include "report_map.h"
#include "report_overview.h"

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

int write_page(batch_outputs &o, os::out_stream &to) {
    to.put(html_head(o));
    if (const int err = write_overview(o, to); err != 0)
        return err;
    to.put(html_grid_head(o));
    o.sections.rewind();
    if (const os::result<void> copied = os::copy_stream(o.sections.get(), to); !copied)
        return copied.err();
    to.put(html_grid_tail(o));
    to.put("</body>\n</html>\n");
    return 0;
}
