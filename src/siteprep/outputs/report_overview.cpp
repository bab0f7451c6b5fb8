// The overview of the --report page: each site's place, source and
// numbers in a table that a small script in the page sorts by any column
// (the URL's #sort=KEY or #sort=-KEY asks for an order when the page
// opens), and an SVG map of the sites, longitude across and latitude up,
// coloured by a column.
#include "report_overview.h"
#include "formats.h"
#include "lines.h"
#include "report_map.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace {

// The table's columns: each its key (in the script and the URL) and its
// header; the check's have warnings and the neighbour comparison's cause.
struct column {
    const char *key, *header;
    bool text, check_only;
};
constexpr column columns[] = {
    {"site", "site", true, false},
    {"latitude", "latitude", false, false},
    {"longitude", "longitude", false, false},
    {"elevation", "elevation (m)", false, false},
    {"source", "source", true, false},
    {"years", "years used", false, false},
    {"precipitation", "precipitation (cm a year)", false, false},
    {"cv", "CV", false, false},
    {"tmin", "Tmin (&#176;C)", false, false},
    {"tmax", "Tmax (&#176;C)", false, false},
    {"filled", "days filled", false, false},
    {"left_out", "months left out", false, false},
    {"warnings", "warnings", false, true},
    {"problems", "problems", false, false},
    {"neighbours", "neighbours", true, true},
};

std::string cell(const std::string &text) {
    return "<td>" + text + "</td>";
}

// A number with that many decimals (what rounds to 0 without a sign), or NA.
std::string value_or_na(double v, int decimals) {
    if (!std::isfinite(v))
        return "NA";
    return number(std::fabs(v) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : v, decimals);
}

// The annual precipitation total and the mean Tmin and Tmax of the
// monthly statistics (NaN where a month has none).
struct annual_values {
    double precipitation = 0, tmin = 0, tmax = 0;
};
annual_values annual_of(const weather_stats &w) {
    annual_values a;
    for (int m = 0; m < months; ++m) {
        a.precipitation += static_cast<double>(w.prec_mean[m]);
        a.tmin += static_cast<double>(w.tmin_mean[m]) / months;
        a.tmax += static_cast<double>(w.tmax_mean[m]) / months;
    }
    return a;
}

// The cells of the statistics: years, precipitation and its CV, Tmin,
// Tmax, the share of days filled, and the months each quantity's rule left
// out of the year rows used (sorted by their sum).
std::string weather_cells(const site_outcome &s) {
    if (s.stats == nullptr)
        return "<td>NA</td><td>NA</td><td>NA</td><td>NA</td><td>NA</td><td>NA</td><td>NA</td>";
    const weather_stats &w = *s.stats;
    const annual_values a = annual_of(w);
    const site_weather *sw = s.weather;
    const bool filled_known = sw != nullptr && sw->days_filled >= 0 && sw->days > 0;
    std::string left;
    const char *sep = "";
    int total = 0;
    for (int q = 0; q < stat_quantities; ++q) {
        int n = w.years * months;
        for (int m = 0; m < months; ++m)
            n -= w.count[q][m];
        left.append(sep).append(std::to_string(n));
        sep = "/";
        total += n;
    }
    return cell(std::to_string(w.years)) + cell(value_or_na(a.precipitation, 1)) +
           cell(value_or_na(sw != nullptr ? sw->annual_cv : NAN, 2)) +
           cell(value_or_na(a.tmin, 1)) + cell(value_or_na(a.tmax, 1)) +
           cell(filled_known ? number(100.0 * static_cast<double>(sw->days_filled) /
                                          static_cast<double>(sw->days),
                                      1) +
                                   "%"
                             : "NA") +
           "<td data-v=\"" + std::to_string(total) + "\">" + left + "</td>";
}

// The place's cells: latitude, longitude, elevation.
std::string place_cells(const site_outcome &s) {
    if (s.place == nullptr)
        return "<td>NA</td><td>NA</td><td>NA</td>";
    return cell(number(s.place->latitude, 3)) + cell(number(s.place->longitude, 3)) +
           cell(number(s.place->elevation, 0));
}

} // namespace

std::vector<std::pair<const char *, const char *>> map_columns(bool check) {
    std::vector<std::pair<const char *, const char *>> keys = {{"precipitation", "precipitation"}};
    for (const column &c : columns)
        if (!c.text && (check || !c.check_only) && std::string_view(c.key) != "precipitation")
            keys.emplace_back(c.key, c.header);
    return keys;
}

std::string overview_head(const batch_outputs &o) {
    std::string keys, text_keys, headers;
    for (const column &c : columns)
        if (o.check || !c.check_only) {
            keys.append(keys.empty() ? "" : " ").append(c.key);
            if (c.text)
                text_keys.append(text_keys.empty() ? "" : " ").append(c.key);
            headers.append("<th>").append(c.header).append("</th>");
        }
    const std::string &note = o.overview.sources.note;
    return (note.empty() ? "" : "<p class=\"status\">" + html(note) + "</p>\n") +
           "<p class=\"status\">Click a column's header to sort by it, again for the reverse; "
           "months left out: those the completeness rule left out of the years used, of "
           "precipitation/Tmin/Tmax.</p>\n<div class=\"scroll\">\n<table class=\"overview\" "
           "data-page=\"" +
           std::to_string(overview_page_rows) + "\" data-keys=\"" + keys + "\" data-text=\"" +
           text_keys + "\">\n<thead><tr>" + headers + "</tr></thead>\n<tbody>\n";
}

std::string html_row(const site_outcome &s, size_t number, const batch_outputs &o) {
    const char order = s.problems ? '0' : s.warnings ? '1' : '2';
    const std::string source = s.place != nullptr ? source_of(o.overview.sources, *s.name) : "NA";
    return std::string(1, order) + std::to_string(number) + " <tr id=\"row-" +
           std::to_string(number) + "\"" +
           (s.problems   ? " class=\"bad\""
            : s.warnings ? " class=\"warned\""
                         : "") +
           "><td><a href=\"#site-" + std::to_string(number) + "\">" + html(*s.name) + "</a></td>" +
           place_cells(s) + cell(html(source)) + weather_cells(s) +
           (o.check ? cell(std::to_string(s.warnings)) : "") + cell(std::to_string(s.problems)) +
           "</tr>\n";
}

void note_point(overview_state &overview, const site_outcome &s, size_t number) {
    if (s.place == nullptr || !std::isfinite(s.place->latitude) ||
        !std::isfinite(s.place->longitude))
        return;
    map_point p;
    p.number = number;
    p.latitude = s.place->latitude;
    p.longitude = s.place->longitude;
    p.precipitation = s.stats != nullptr ? annual_of(*s.stats).precipitation : NAN;
    p.bad = s.problems > 0;
    p.name = *s.name;
    overview.points.push_back(std::move(p));
}

namespace {

// What the neighbour comparison takes to be the cause, in a word or two.
std::string cause_of(const std::string &warning) {
    const auto says = [&](const char *part) { return warning.find(part) != std::string::npos; };
    return says("look swapped")            ? "coordinates swapped"
           : says("mm read as cm")         ? "mm read as cm"
           : says("cm read as mm")         ? "cm read as mm"
           : says("elevation looks wrong") ? "elevation"
           : says("annual precipitation")  ? "precipitation"
                                           : "temperature";
}

// The flagged sites' warnings by their numbers.
std::map<size_t, const std::string *> flagged_of(const batch_outputs &o) {
    std::map<size_t, const std::string *> flagged;
    for (const auto &[n, text] : o.neighbour_warnings)
        flagged.emplace(n, &text);
    return flagged;
}

// How the rows are put on the page: the flagged sites' warnings by their
// numbers, whether the check's columns are there, and the rows so far.
struct row_copy {
    std::map<size_t, const std::string *> flagged;
    bool check = false;
    size_t copied = 0;
};

// A row as it goes on the page (its stream's line after its class and
// number): the check's last cell, the comparison's; hidden past the first
// page, which the script's pager shows.
std::string row_of(std::string_view line, row_copy &copy) {
    size_t n = 0;
    const size_t space = std::min(line.find(' '), line.size());
    std::from_chars(line.data() + 1, line.data() + space, n);
    std::string row(line.substr(std::min(space + 1, line.size())));
    if (row.ends_with('\n'))
        row.pop_back();
    if (++copy.copied > overview_page_rows && row.starts_with("<tr id=\""))
        row.insert(row.find('"', 8) + 1, " hidden");
    if (!copy.check || !row.ends_with("</tr>"))
        return row;
    const auto found = copy.flagged.find(n);
    const std::string last = found == copy.flagged.end()
                                 ? "<td></td>"
                                 : "<td class=\"flag\" title=\"" + html(*found->second) + "\">" +
                                       cause_of(*found->second) + "</td>";
    row.resize(row.size() - std::string_view("</tr>").size());
    return row + last + "</tr>";
}

// The overview's rows of one class, in the list's order.
int copy_rows(os::out_stream &rows, char order, os::out_stream &to, row_copy &copy) {
    rows.rewind();
    os::line_reader reader(rows.get());
    std::string_view line;
    while (os::next_line(reader, line))
        if (line[0] == order && !to.put(row_of(line, copy) + "\n"))
            return 0; // the write error is the stream's
    return reader.error;
}

// Under a table longer than a page: how many rows show, and buttons for more.
std::string pager(size_t rows) {
    if (rows <= overview_page_rows)
        return std::string();
    return "<p class=\"pager\">Showing <span id=\"rows-shown\">" +
           std::to_string(overview_page_rows) + "</span> of " + std::to_string(rows) +
           " rows (sorted over all of them): <button type=\"button\" id=\"more-rows\">" +
           std::to_string(overview_page_rows) +
           " more</button> <button type=\"button\" id=\"all-rows\">all</button></p>\n";
}

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

} // namespace

int write_overview(batch_outputs &o, os::out_stream &to) {
    row_copy copy{flagged_of(o), o.check};
    for (char order : {'0', '1', '2'})
        if (const int err = copy_rows(o.rows, order, to, copy); err != 0)
            return err;
    to.put("</tbody>\n</table>\n</div>\n" + pager(copy.copied) + html_neighbours(o) +
           overview_map(o.overview, copy.flagged, map_columns(o.check)) + "<script>" +
           overview_script + "</script>\n");
    return 0;
}
