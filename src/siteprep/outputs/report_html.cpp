// The --report page: an overview of the sites, worst first, and a section
// a site with its climograph (report_charts.cpp) and its findings.
#include "fd.h"
#include "formats.h"
#include "lines.h"
#include "report_charts.h"

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
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>" +
        html("Climate report of " + outputs.list_name) + "</title>\n<style>" + style +
        "</style>\n</head>\n<body>\n<h1>" + html("Climate report of " + outputs.list_name) +
        "</h1>\n<p class=\"status\">" + html(outputs.status) + "</p>\n" + html_choice(outputs);
    if (!outputs.check)
        page += "<p class=\"status\">The run does not audit the files, so no warnings are "
                "counted here: siteprep --check lists them.</p>\n";
    page += "<table class=\"overview\">\n<tr><th>site</th><th>year rows</th>";
    return page + (outputs.check ? "<th>warnings</th>" : "") + "<th>problems</th></tr>\n";
}

} // namespace

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

std::string html_choice(const batch_outputs &o) {
    if (o.weather == nullptr || o.weather->choice.is_default())
        return std::string();
    return "<p class=\"status\">" +
           html("Statistics under " + choice_name(o.weather->choice) +
                "; the strip under each climograph shows the months each year row gave them.") +
           "</p>\n";
}

namespace {

// The sites that disagree with their neighbours, each a link to its section.
std::string html_neighbours(const batch_outputs &o) {
    if (o.neighbour_warnings.empty())
        return std::string();
    std::string list = "<h2>Sites that disagree with their neighbours</h2>\n<ul class=\"findings "
                       "neighbours\">\n";
    for (const auto &[number, text] : o.neighbour_warnings)
        list +=
            "<li><a href=\"#site-" + std::to_string(number) + "\">" + html(text) + "</a></li>\n";
    return list + "</ul>\n";
}

// The overview's rows of one class, in the list's order.
int copy_rows(os::out_stream &rows, char order, os::out_stream &to) {
    rows.rewind();
    os::line_reader reader(rows.get());
    std::string_view line;
    while (os::next_line(reader, line))
        if (line[0] == order && !to.put(line.substr(1)))
            return 0; // the write error is the stream's
    return reader.error;
}

} // namespace

int write_page(batch_outputs &o, os::out_stream &to) {
    to.put(html_head(o));
    for (char order : {'0', '1', '2'})
        if (const int err = copy_rows(o.rows, order, to); err != 0)
            return err;
    to.put("</table>\n" + html_neighbours(o));
    to.put(html_grid_head(o));
    o.sections.rewind();
    if (const os::result<void> copied = os::copy_stream(o.sections.get(), to); !copied)
        return copied.err();
    to.put(html_grid_tail(o));
    to.put("</body>\n</html>\n");
    return 0;
}
