// The report's climographs as small multiples: precipitation bars with a
// whisker of one deviation on the left axis, mean Tmin and Tmax lines on
// the right, missing months left as gaps. A site has a record of its
// numbers in the page, not its drawing, so that the batch's scales, known
// only at the end, are written once, and a page of thousands of sites
// holds only the elements of the hundred it shows.
#include "report_charts.h"

#include "formats.h"

#include <algorithm>
#include <cmath>

namespace {

// Where a chart's plot stands in its box, the strip's width too, so that
// the two scale alike.
struct chart_box {
    static constexpr double left = 34, right = 288, top = 8, bottom = 160, width = 320,
                            height = 178;
};

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

// A chart's two axes, rounded to whole steps: precipitation from 0 (at
// least to 10 cm), temperature from t_lo.
struct chart_frame {
    double prec_top = 10, prec_step = 0, t_lo = 0, t_hi = 10, t_step = 0;
};

chart_frame frame_of(const chart_extent &e) {
    chart_frame f;
    f.prec_top = std::max(f.prec_top, e.prec_top);
    double prec_lo = 0;
    f.prec_step = round_range(prec_lo, f.prec_top);
    if (std::isfinite(e.t_lo)) {
        f.t_lo = e.t_lo;
        f.t_hi = e.t_hi;
    }
    f.t_step = round_range(f.t_lo, f.t_hi);
    return f;
}

// The highest mean with its deviation, the lowest and highest temperature.
chart_extent extent_of(const weather_stats &w) {
    chart_extent e;
    for (int m = 0; m < months; ++m) {
        if (std::isfinite(w.prec_mean[m]))
            e.prec_top =
                std::max(e.prec_top, static_cast<double>(w.prec_mean[m]) +
                                         (std::isfinite(w.prec_dev[m]) ? w.prec_dev[m] : 0));
        for (float t : {w.tmin_mean[m], w.tmax_mean[m]})
            if (std::isfinite(t)) {
                e.t_lo = std::min(e.t_lo, static_cast<double>(t));
                e.t_hi = std::max(e.t_hi, static_cast<double>(t));
            }
    }
    return e;
}

void widen(chart_extent &batch, const chart_extent &site) {
    batch.prec_top = std::max(batch.prec_top, site.prec_top);
    batch.t_lo = std::min(batch.t_lo, site.t_lo);
    batch.t_hi = std::max(batch.t_hi, site.t_hi);
}

std::string json_number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

// The frame as the script takes it: [precipitation top, its step,
// temperature low, high, its step].
std::string frame_json(const chart_frame &f) {
    std::string list;
    for (double v : {f.prec_top, f.prec_step, f.t_lo, f.t_hi, f.t_step}) {
        list += list.empty() ? '[' : ',';
        list += json_number(v);
    }
    return list + "]";
}

// Twelve values as the weather block prints them, null for a month
// without one.
std::string series_json(const float values[months]) {
    std::string list;
    for (int m = 0; m < months; ++m) {
        list += m ? ',' : '[';
        list += std::isfinite(values[m]) ? block_value(values[m]) : "null";
    }
    return list + "]";
}

// Text as a JSON string that cannot end the script element it stands in.
std::string json_string(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || c == '<' || c == '>' || c == '&') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(u));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The months of each year row, as the strip under the chart shows them:
// [first year, last year, a letter a month, year row by year row]: g
// enters all three statistics, a some, r none, x lies outside the years.
std::string strip_json(const std::vector<month_summary> &list) {
    std::string codes(list.size(), 'g');
    for (size_t i = 0; i < list.size(); ++i) {
        const month_summary &m = list[i];
        codes[i / months * months + static_cast<size_t>(m.month - 1)] = !m.in_period  ? 'x'
                                                                        : m.used == 7 ? 'g'
                                                                        : m.used == 0 ? 'r'
                                                                                      : 'a';
    }
    std::string json = "[";
    json += std::to_string(list.front().year);
    json += ',';
    json += std::to_string(list.back().year);
    json += ",\"";
    json += codes;
    return json + "\"]";
}

// What a chart is drawn from: the monthly values, the site's own frame,
// its strip of months.
std::string chart_json(const site_outcome &s, const chart_extent &e) {
    const weather_stats &w = *s.stats;
    std::string json = ",\"prec\":" + series_json(w.prec_mean);
    json += ",\"dev\":" + series_json(w.prec_dev);
    json += ",\"tmin\":" + series_json(w.tmin_mean);
    json += ",\"tmax\":" + series_json(w.tmax_mean);
    json += ",\"own\":" + frame_json(frame_of(e));
    if (s.weather != nullptr && !s.weather->month_list.empty())
        json += ",\"strip\":" + strip_json(s.weather->month_list);
    return json;
}

} // namespace

std::string site_record(const site_outcome &s, size_t number, chart_extent &batch) {
    const std::string n = std::to_string(number);
    std::string record = "<script type=\"application/json\" class=\"site-data\" id=\"site-data-" +
                         n + "\">{\"n\":" + n + ",\"name\":" + json_string(*s.name);
    if (s.stats != nullptr) {
        const chart_extent e = extent_of(*s.stats);
        widen(batch, e);
        record += chart_json(s, e);
    } else {
        record += ",\"none\":" + json_string("No data: " + std::string(s.no_stats) + ".");
    }
    record += ",\"findings\":[";
    if (s.findings != nullptr)
        for (size_t i = 0; i < s.findings->size(); ++i) {
            record += i ? "," : "";
            record += json_string((*s.findings)[i]);
        }
    return record + "]}</script>\n";
}

namespace {

const char chart_style[] =
    ".grid{display:grid;grid-template-columns:repeat(auto-fill,minmax(17em,1fr));gap:1.2em 1.6em}"
    ".grid section.site{margin:0;min-width:0}"
    ".site h2{font-size:1em;margin:.2em 0;overflow:hidden;text-overflow:ellipsis;"
    "white-space:nowrap}"
    "div.chart{aspect-ratio:320/178}.strip{margin-top:.2em}"
    ".site ul.findings{font-size:.8em;padding-left:1.2em;overflow-wrap:anywhere}"
    ".key svg{display:inline-block;width:auto;height:1em;vertical-align:-.15em}"
    "@media print{.controls{display:none}}";

// A swatch of the key: a bar with its whisker, or a temperature line.
std::string key_swatch(const char *cls) {
    const std::string head =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 20 10\" aria-hidden=\"true\">";
    if (std::string(cls) == "bar")
        return head + "<rect class=\"bar\" x=\"6\" y=\"3\" width=\"8\" height=\"7\"/><line "
                      "class=\"whisker\" x1=\"10\" y1=\"0\" x2=\"10\" y2=\"6\"/></svg>";
    return head + "<line class=\"" + cls + "\" x1=\"0\" y1=\"5\" x2=\"20\" y2=\"5\"/></svg>";
}

// The buttons that turn the grid's pages, above and below it.
std::string pager() {
    return "<nav class=\"pages controls\" hidden><button type=\"button\" "
           "class=\"page-back\">&#8249; previous</button> <span class=\"page-at\"></span> "
           "<button type=\"button\" class=\"page-next\">next &#8250;</button></nav>\n";
}

std::string degrees(double v, double step) {
    return number(v, step < 1 ? 1 : 0);
}

} // namespace

std::string html_grid_head(const batch_outputs &o) {
    const chart_frame f = frame_of(o.extent);
    std::string head =
        "<h2>Sites</h2>\n<style>" + std::string(chart_style) + "</style>\n<p class=\"key\">" +
        key_swatch("bar") +
        " Precipitation (cm), left axis: the monthly mean and one standard deviation; " +
        key_swatch("tmin") + " mean Tmin and " + key_swatch("tmax") +
        " mean Tmax (&#176;C), right axis; missing months are gaps.</p>\n";
    if (o.weather != nullptr && o.weather->listens())
        head += "<p class=\"key\">Under each chart, the months (January at the top) of each year "
                "row: green enter all three statistics, amber some, red none; grey lie outside "
                "the years.</p>\n";
    return head +
           "<p class=\"controls\">Every chart is on the batch's scales: precipitation 0 to " +
           degrees(f.prec_top, f.prec_step) + " cm, temperature " + degrees(f.t_lo, f.t_step) +
           " to " + degrees(f.t_hi, f.t_step) +
           " &#176;C. <label><input type=\"checkbox\" id=\"own-scales\"> each chart on its own "
           "scales</label></p>\n<noscript><p class=\"status\">The sites' charts and messages "
           "are shown by a script in the page, and scripts are off: the overview is here, the "
           "numbers are in --summary's table, the messages on the run's output.</p></noscript>\n" +
           pager() + "<div class=\"grid\" id=\"grid\"></div>\n" + pager();
}

namespace {

// Shows the sites a hundred at a time, each section made from its record
// as its page is shown: a page of thousands of sites holds only the
// hundred's elements, the rest stays text.
const char chart_script[] = R"js(
var NS = "http://www.w3.org/2000/svg", SLOT = (G.r - G.l) / 12, PAGE = 100;
var batch = JSON.parse(document.getElementById("chart-scales").textContent);
var own = document.getElementById("own-scales");
function el(parent, name, attrs, text) {
  var e = document.createElementNS(NS, name);
  for (var k in attrs) e.setAttribute(k, attrs[k]);
  if (text !== undefined) e.textContent = text;
  parent.appendChild(e);
  return e;
}
function f1(v) { return v.toFixed(1); }
function ticks(svg, lo, hi, step, x, anchor, y) {
  for (var k = 0; lo + k * step <= hi + step / 2; ++k)
    el(svg, "text", {"class": "tick", x: x, y: f1(y(lo + k * step) + 3.5), "text-anchor": anchor},
       (lo + k * step).toFixed(step < 1 ? 1 : 0));
}
function line(svg, values, cls, x, y) {
  var points = [], data = [];
  function flush() {
    if (points.length)
      el(svg, "polyline", {"class": cls, "data-values": data.join(" "), points: points.join(" ")});
    points = [];
    data = [];
  }
  values.forEach(function (v, m) {
    if (v === null) return flush();
    points.push(f1(x(m)) + "," + f1(y(v)));
    data.push((m + 1) + ":" + v.toFixed(4));
  });
  flush();
}
function bars(svg, d, x, y) {
  d.prec.forEach(function (v, m) {
    if (v === null) return;
    var top = y(Math.max(0, v)), dev = d.dev[m];
    var bar = el(svg, "rect", {"class": "bar", "data-month": m + 1, "data-value": v.toFixed(4),
      x: f1(G.l + SLOT * (m + 0.2)), y: f1(top), width: f1(SLOT * 0.6), height: f1(G.b - top)});
    el(bar, "title", {}, v.toFixed(4) + " cm");
    if (dev !== null && dev > 0)
      el(svg, "line", {"class": "whisker", x1: f1(x(m)), y1: f1(y(Math.max(0, v - dev))),
        x2: f1(x(m)), y2: f1(y(v + dev))});
  });
}
function strip(parent, codes, name) {
  var rows = codes[2].length / 12, w = (G.r - G.l) / rows, fill = {x: "#ddd", r: "#e57373", a: "#f4c26b"};
  var svg = el(parent, "svg", {"class": "strip", viewBox: "0 0 " + G.w + " 60", role: "img",
    "aria-label": "Months of " + name + " that enter the statistics"});
  el(svg, "rect", {fill: "#b7dfb0", x: G.l, width: G.r - G.l, height: 48});
  for (var i = 0; i < codes[2].length; ++i) {
    var c = codes[2][i], row = Math.floor(i / 12), month = i % 12 + 1;
    if (c === "g") continue;
    var cell = el(svg, "rect", {fill: fill[c], x: f1(G.l + row * w), y: (month - 1) * 4,
      width: f1(w), height: 4});
    el(cell, "title", {}, (codes[0] + row) + "-" + (month < 10 ? "0" : "") + month);
  }
  el(svg, "text", {"class": "tick", x: G.l, y: 58}, codes[0]);
  el(svg, "text", {"class": "tick", x: G.r, y: 58, "text-anchor": "end"}, codes[1]);
}
function draw(box, d) {
  var s = own.checked ? d.own : batch;
  var yp = function (v) { return G.b - v / s[0] * (G.b - G.t); };
  var yt = function (v) { return G.b - (v - s[2]) / (s[3] - s[2]) * (G.b - G.t); };
  var xm = function (m) { return G.l + SLOT * (m + 0.5); };
  var svg = document.createElementNS(NS, "svg");
  svg.setAttribute("class", "climograph");
  svg.setAttribute("viewBox", "0 0 " + G.w + " " + G.h);
  svg.setAttribute("aria-hidden", "true");
  var axes = el(svg, "g", {"class": "axes"});
  [[G.l, G.b, G.r, G.b], [G.l, G.t, G.l, G.b], [G.r, G.t, G.r, G.b]].forEach(function (a) {
    el(axes, "line", {x1: a[0], y1: a[1], x2: a[2], y2: a[3]});
  });
  ticks(svg, 0, s[0], s[1], G.l - 4, "end", yp);
  ticks(svg, s[2], s[3], s[4], G.r + 4, "start", yt);
  "JFMAMJJASOND".split("").forEach(function (c, m) {
    el(svg, "text", {"class": "tick", x: f1(xm(m)), y: G.b + 13, "text-anchor": "middle"}, c);
  });
  bars(svg, d, xm, yp);
  line(svg, d.tmin, "tmin", xm, yt);
  line(svg, d.tmax, "tmax", xm, yt);
  box.replaceChildren(svg);
}
function html(parent, name, attrs, text) {
  var e = document.createElement(name);
  for (var k in attrs) e.setAttribute(k, attrs[k]);
  if (text !== undefined) e.textContent = text;
  parent.appendChild(e);
  return e;
}
var records = document.querySelectorAll("script.site-data"), grid = document.getElementById("grid");
var pages = Math.max(1, Math.ceil(records.length / PAGE)), at = 0, shown = [];
function section(d) {
  var s = html(grid, "section", {"class": "site", id: "site-" + d.n});
  html(s, "h2", {title: d.name}, d.name);
  if (d.none !== undefined) {
    html(s, "p", {}, d.none);
  } else {
    shown.push([html(s, "div", {"class": "chart", role: "img", "aria-label": "Climograph of " + d.name}), d]);
    if (d.strip) strip(s, d.strip, d.name);
  }
  if (d.findings.length) {
    var list = html(s, "ul", {"class": "findings"});
    d.findings.forEach(function (f) { html(list, "li", {}, f); });
  }
}
function redraw() { shown.forEach(function (c) { draw(c[0], c[1]); }); }
function show(page) {
  at = Math.max(0, Math.min(page, pages - 1));
  grid.replaceChildren();
  shown = [];
  var end = Math.min(records.length, (at + 1) * PAGE);
  for (var i = at * PAGE; i < end; ++i) section(JSON.parse(records[i].textContent));
  redraw();
  document.querySelectorAll("nav.pages").forEach(function (nav) {
    nav.hidden = pages < 2;
    nav.querySelector(".page-at").textContent = "sites " + (at * PAGE + 1) + " to " + end + " of " + records.length;
    nav.querySelector(".page-back").disabled = at === 0;
    nav.querySelector(".page-next").disabled = at === pages - 1;
  });
}
// A link to a site shows its page first.
function go() {
  var m = /^#site-(\d+)$/.exec(location.hash);
  if (!m || +m[1] < 1 || +m[1] > records.length) return false;
  show(Math.floor((m[1] - 1) / PAGE));
  document.getElementById("site-" + m[1]).scrollIntoView();
  return true;
}
document.querySelectorAll("nav.pages").forEach(function (nav) {
  nav.querySelector(".page-back").addEventListener("click", function () { show(at - 1); grid.scrollIntoView(); });
  nav.querySelector(".page-next").addEventListener("click", function () { show(at + 1); grid.scrollIntoView(); });
});
window.addEventListener("hashchange", go);
own.addEventListener("change", redraw);
if (!go()) show(0);
})();
)js";

} // namespace

std::string html_grid_tail(const batch_outputs &o) {
    using b = chart_box;
    return "<script type=\"application/json\" id=\"chart-scales\">" +
           frame_json(frame_of(o.extent)) +
           "</script>\n<script>\n(function () {\n\"use strict\";\n" +
           "var G = {l: " + number(b::left, 0) + ", r: " + number(b::right, 0) +
           ", t: " + number(b::top, 0) + ", b: " + number(b::bottom, 0) +
           ", w: " + number(b::width, 0) + ", h: " + number(b::height, 0) + "};" + chart_script +
           "</script>\n";
}
