// The map of the sites: an equirectangular plot (a degree of longitude
// drawn cos(latitude) as wide as one of latitude, at the batch's middle
// latitude), no tiles, a circle a site; and the page's one script.
#include "report_map.h"
#include "formats.h"

#include <algorithm>
#include <cstdio>

namespace {

// Where the map's plot stands and how degrees map to it.
struct map_frame {
    double lon0 = 0, lon1 = 1, lat0 = 0, lat1 = 1;
    double across = 1, scale = 1; // cos(middle latitude); pixels a degree of latitude
    double left = 48, top = 10, width = 0, height = 0;
    double x(double lon) const { return left + (lon - lon0) * across * scale; }
    double y(double lat) const { return top + (lat1 - lat) * scale; }
};

// The points' extent padded by a twentieth (at least half a degree across),
// fitted into 760 by 520 pixels.
map_frame map_frame_of(const std::vector<map_point> &points) {
    map_frame f;
    f.lon0 = f.lat0 = INFINITY;
    f.lon1 = f.lat1 = -INFINITY;
    for (const map_point &p : points) {
        f.lon0 = std::min(f.lon0, p.longitude);
        f.lon1 = std::max(f.lon1, p.longitude);
        f.lat0 = std::min(f.lat0, p.latitude);
        f.lat1 = std::max(f.lat1, p.latitude);
    }
    for (auto [lo, hi] : {std::pair{&f.lon0, &f.lon1}, std::pair{&f.lat0, &f.lat1}}) {
        const double pad = std::max((*hi - *lo) / 20, (0.5 - (*hi - *lo)) / 2);
        *lo -= pad;
        *hi += pad;
    }
    const double pi = 3.14159265358979323846;
    f.across = std::max(0.2, std::cos((f.lat0 + f.lat1) / 2 * pi / 180));
    f.scale = std::min(760 / ((f.lon1 - f.lon0) * f.across), 520 / (f.lat1 - f.lat0));
    f.width = (f.lon1 - f.lon0) * f.across * f.scale;
    f.height = (f.lat1 - f.lat0) * f.scale;
    return f;
}

// The colour of v on a ramp from lo (dark blue) to hi (yellow); grey for
// no value. The script's ramp is the same.
constexpr int ramp_stops[5][3] = {
    {68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
std::string ramp(double v, double lo, double hi) {
    if (!std::isfinite(v))
        return "#bbbbbb";
    const double t = hi > lo ? std::clamp((v - lo) / (hi - lo), 0.0, 1.0) : 0.5;
    const int i = std::min(3, static_cast<int>(t * 4));
    const double f = t * 4 - i;
    char text[8];
    int c[3];
    for (int k = 0; k < 3; ++k)
        c[k] = static_cast<int>(
            std::lround(ramp_stops[i][k] + f * (ramp_stops[i + 1][k] - ramp_stops[i][k])));
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c[0], c[1], c[2]);
    return text;
}

// The values' range the colours spread over: from the 2nd to the 98th
// percentile, so that an outlier (a file in mm) does not leave every other
// site one colour; those beyond take the ends' colours. The script's is the
// same.
void colour_range(std::vector<double> &values, double &lo, double &hi) {
    if (values.empty())
        return;
    std::sort(values.begin(), values.end());
    const double last = static_cast<double>(values.size() - 1);
    lo = values[static_cast<size_t>(std::floor(0.02 * last))];
    hi = values[static_cast<size_t>(std::ceil(0.98 * last))];
}

// A step of 1, 2 or 5 times a power of ten that cuts span into about five.
double grid_step(double span) {
    const double power = std::pow(10.0, std::floor(std::log10(span / 5)));
    for (double m : {1.0, 2.0, 5.0})
        if (span / (m * power) <= 7)
            return m * power;
    return 10 * power;
}

// The graticule: a line and a label at each step of longitude and latitude.
std::string graticule(const map_frame &f) {
    std::string svg = "<rect class=\"frame\" x=\"" + number(f.left) + "\" y=\"" + number(f.top) +
                      "\" width=\"" + number(f.width) + "\" height=\"" + number(f.height) + "\"/>";
    const double step = grid_step(std::max(f.lon1 - f.lon0, f.lat1 - f.lat0));
    const int decimals = step < 1 ? (step < 0.1 ? 2 : 1) : 0;
    for (double lon = std::ceil(f.lon0 / step) * step; lon <= f.lon1; lon += step)
        svg += "<line x1=\"" + number(f.x(lon)) + "\" y1=\"" + number(f.top) + "\" x2=\"" +
               number(f.x(lon)) + "\" y2=\"" + number(f.top + f.height) +
               "\"/><text class=\"tick\" x=\"" + number(f.x(lon)) + "\" y=\"" +
               number(f.top + f.height + 14) + "\" text-anchor=\"middle\">" +
               number(lon, decimals) + "</text>";
    for (double lat = std::ceil(f.lat0 / step) * step; lat <= f.lat1; lat += step)
        svg += "<line x1=\"" + number(f.left) + "\" y1=\"" + number(f.y(lat)) + "\" x2=\"" +
               number(f.left + f.width) + "\" y2=\"" + number(f.y(lat)) +
               "\"/><text class=\"tick\" x=\"" + number(f.left - 4) + "\" y=\"" +
               number(f.y(lat) + 4) + "\" text-anchor=\"end\">" + number(lat, decimals) + "</text>";
    return svg + "\n";
}

// The key under the map: the column it is coloured by, the ramp's ends and
// the marks.
std::string map_key(double lo, double hi, const map_column_list &columns) {
    std::string options;
    for (const auto &[key, name] : columns)
        options += "<option value=\"" + std::string(key) + "\">" + name + "</option>";
    return "<p class=\"map-key\">Colour: <select id=\"map-colour\">" + options +
           "</select> <span id=\"map-lo\">" + (std::isfinite(lo) ? number(lo, 1) : "NA") +
           "</span> <span class=\"ramp\"></span> <span id=\"map-hi\">" +
           (std::isfinite(hi) ? number(hi, 1) : "NA") +
           "</span> (the 2nd to the 98th percentile, values beyond in the ends' colours); ringed "
           "red: disagrees with its neighbours; dashed ring: has problems; grey: "
           "no value. Hover a point for its site, click it for its chart.</p>\n";
}

} // namespace

std::string overview_map(const overview_state &overview,
                         const std::map<size_t, const std::string *> &flagged,
                         const map_column_list &columns) {
    const std::vector<map_point> &points = overview.points;
    if (points.empty())
        return std::string();
    const map_frame f = map_frame_of(points);
    std::vector<double> values;
    for (const map_point &p : points)
        if (std::isfinite(p.precipitation))
            values.push_back(p.precipitation);
    double lo = NAN, hi = NAN;
    colour_range(values, lo, hi);
    const double radius = points.size() > 2000 ? 2.5 : 4;
    std::string svg = "<h2>Map</h2>\n<svg class=\"map\" xmlns=\"http://www.w3.org/2000/svg\" "
                      "viewBox=\"0 0 " +
                      number(f.left + f.width + 10, 0) + " " + number(f.top + f.height + 22, 0) +
                      "\" role=\"img\" aria-label=\"Map of the sites\">\n<g class=\"graticule\">" +
                      graticule(f) + "</g>\n";
    // The flagged last, larger, so that no other point hides them.
    for (const bool flags : {false, true})
        for (const map_point &p : points) {
            if ((flagged.count(p.number) != 0) != flags)
                continue;
            svg +=
                "<circle data-site=\"" + std::to_string(p.number) + "\"" +
                (flags   ? " class=\"flag\""
                 : p.bad ? " class=\"bad\""
                         : "") +
                " cx=\"" + number(f.x(p.longitude), 2) + "\" cy=\"" + number(f.y(p.latitude), 2) +
                "\" r=\"" + number(flags ? radius * 1.6 : radius, 1) + "\" fill=\"" +
                ramp(p.precipitation, lo, hi) + "\"><title>" + html(p.name) + "</title></circle>\n";
        }
    return svg + "</svg>\n" + map_key(lo, hi, columns);
}

const char overview_style[] =
    ".scroll{max-height:36em;overflow:auto;display:inline-block;max-width:100%}"
    "table.overview th{cursor:pointer;background:#f3f3f3;position:sticky;top:0}"
    "@media print{.scroll{max-height:none;overflow:visible}tr[hidden]{display:table-row}"
    ".pager{display:none}}"
    "td.flag{white-space:nowrap}th.up:after{content:\" \\25B2\"}"
    "th.down:after{content:\" \\25BC\"}td.flag{background:#f8c9c9}"
    "svg.map{max-width:820px}.map .frame{fill:#f7f7f7;stroke:#888}.map line{stroke:#ddd}"
    ".map circle{stroke:#fff;stroke-width:.6;cursor:pointer}"
    ".map circle.flag{stroke:#d00;stroke-width:2.5}"
    ".map circle.bad{stroke:#000;stroke-width:1.5;stroke-dasharray:2 1}"
    ".ramp{display:inline-block;width:120px;height:.8em;background:linear-gradient(to right,"
    "#440154,#3b528b,#21918c,#5ec962,#fde725)}";

// Sorts the overview by a column (a header's click, or #sort=KEY or
// #sort=-KEY in the URL, applied when the page opens), numbers as numbers
// with NA last, ties in the list's order, the first page of rows shown;
// shows more rows at the pager's buttons; recolours the map by the column
// chosen, from the table's cells; a point's click opens its site's chart.
const char overview_script[] = R"js(
(function () {
  var table = document.querySelector('table.overview');
  if (!table) return;
  var keys = table.getAttribute('data-keys').split(' ');
  var texts = table.getAttribute('data-text').split(' ');
  var body = table.tBodies[0], heads = table.tHead.rows[0].cells;
  function raw(row, i) {
    var c = row.cells[i];
    if (!c) return '';
    return c.hasAttribute('data-v') ? c.getAttribute('data-v') : c.textContent;
  }
  function num(text) {
    return /^\s*-?[0-9]/.test(text) ? parseFloat(text) : NaN;
  }
  function sortBy(order) {
    var down = order.charAt(0) === '-', key = down ? order.slice(1) : order;
    var i = keys.indexOf(key);
    if (i < 0) return;
    var text = texts.indexOf(key) >= 0;
    var rows = Array.prototype.map.call(body.rows, function (r) {
      var v = raw(r, i);
      return {row: r, n: parseInt(r.id.slice(4), 10), v: text ? v : num(v),
              none: text ? (v === '' || v === 'NA') : isNaN(num(v))};
    });
    rows.sort(function (a, b) {
      if (a.none !== b.none) return a.none ? 1 : -1;
      var c = a.none ? 0 : text ? a.v.localeCompare(b.v) : a.v - b.v;
      return (down ? -c : c) || a.n - b.n;
    });
    var parts = document.createDocumentFragment();
    rows.forEach(function (e) { parts.appendChild(e.row); });
    body.appendChild(parts);
    for (var h = 0; h < heads.length; ++h)
      heads[h].className = h === i ? (down ? 'down' : 'up') : '';
    table.setAttribute('data-sorted', order);
    showRows();
  }
  // The first rows in the table's order show, the rest wait for the pager.
  var page = parseInt(table.getAttribute('data-page'), 10), shown = page;
  function showRows() {
    shown = Math.min(shown, body.rows.length);
    for (var k = 0; k < body.rows.length; ++k) body.rows[k].hidden = k >= shown;
    var label = document.getElementById('rows-shown');
    if (label) label.textContent = shown;
  }
  function more(n) {
    return function () { shown = n < 0 ? body.rows.length : shown + n; showRows(); };
  }
  var moreRows = document.getElementById('more-rows'), allRows = document.getElementById('all-rows');
  if (moreRows) moreRows.addEventListener('click', more(page));
  if (allRows) allRows.addEventListener('click', more(-1));
  table.tHead.addEventListener('click', function (e) {
    var th = e.target.closest('th');
    if (!th) return;
    var key = keys[th.cellIndex];
    var order = table.getAttribute('data-sorted') === key ? '-' + key : key;
    sortBy(order);
    history.replaceState(null, '', '#sort=' + order);
  });
  function fromHash() {
    var m = /^#sort=(-?[a-z_]+)$/.exec(location.hash);
    if (m) sortBy(m[1]);
  }
  fromHash();
  window.addEventListener('hashchange', fromHash);

  var map = document.querySelector('svg.map'), choice = document.getElementById('map-colour');
  if (!map || !choice) return;
  var stops = [[68, 1, 84], [59, 82, 139], [33, 145, 140], [94, 201, 98], [253, 231, 37]];
  function ramp(v, lo, hi) {
    if (!isFinite(v)) return '#bbbbbb';
    var t = hi > lo ? Math.min(1, Math.max(0, (v - lo) / (hi - lo))) : 0.5;
    var i = Math.min(3, Math.floor(t * 4)), f = t * 4 - i, out = '#';
    for (var k = 0; k < 3; ++k) {
      var c = Math.round(stops[i][k] + f * (stops[i + 1][k] - stops[i][k]));
      out += (c < 16 ? '0' : '') + c.toString(16);
    }
    return out;
  }
  function colour(key) {
    var i = keys.indexOf(key), points = map.querySelectorAll('circle[data-site]');
    var values = [];
    points.forEach(function (p) {
      var row = document.getElementById('row-' + p.getAttribute('data-site'));
      values.push(row ? num(raw(row, i)) : NaN);
    });
    var known = values.filter(isFinite).sort(function (a, b) { return a - b; });
    var last = known.length - 1;
    var lo = last < 0 ? NaN : known[Math.floor(0.02 * last)];
    var hi = last < 0 ? NaN : known[Math.ceil(0.98 * last)];
    points.forEach(function (p, j) { p.setAttribute('fill', ramp(values[j], lo, hi)); });
    document.getElementById('map-lo').textContent = isFinite(lo) ? lo.toFixed(1) : 'NA';
    document.getElementById('map-hi').textContent = isFinite(hi) ? hi.toFixed(1) : 'NA';
  }
  choice.addEventListener('change', function () { colour(choice.value); });
  map.addEventListener('click', function (e) {
    var p = e.target.closest('circle[data-site]');
    if (p) location.hash = 'site-' + p.getAttribute('data-site');
  });
})();
)js";
