// The CSV summary and the HTML report: the same numbers as the weather
// blocks, written whole or not at all, a page a browser renders, and what
// the outputs and messages say; outputs through devices and links.
#include "data.h"
#include "table.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// Days of each month with varied values; in a dry February no valid
// precipitation.
enum class february { wet, dry };
std::string years_of_days(int years, february february) {
    return daily_file({.years = years, .days_a_month = 3}, [february](const file_day &d) {
        const int y = d.year - 2001;
        return std::to_string(10 + d.month + d.day + y) + ".5 " + std::to_string(d.month - d.day) +
               ".25 " +
               (february == february::dry && d.month == 2 ? "-99"
                                                          : std::to_string(d.day + y) + ".5");
    });
}

// Two sites, one with a comma and a quote in its name and no valid
// precipitation in February.
void write_batch(const scratch_dir &dir) {
    dir.write("sites.txt", "plain 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n"
                           "odd,\"name 10 20 0.2 0.3 0.5 1.3 0.5 2 5\n");
    dir.write("plain.sfp", site_file(""));
    dir.write("plain.wth", years_of_days(3, february::wet));
    dir.write("odd,\"name.sfp", site_file(""));
    dir.write("odd,\"name.wth", years_of_days(2, february::dry));
}

// The value field of each block line of a site file, NA for not-a-number.
std::vector<std::string> block_values(const std::string &site_file) {
    std::vector<std::string> values;
    std::istringstream lines(site_file);
    std::string line;
    for (int n = 1; std::getline(lines, line); ++n)
        if (n >= 3 && n <= 62) {
            const std::string v = line.substr(0, line.find(' '));
            values.push_back(v.find("nan") != std::string::npos ? "NA" : v);
        }
    return values;
}

// A CSV line split into fields as RFC 4180 reads them.
std::vector<std::string> csv_fields(const std::string &line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            fields.back() += '"', ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else if (c != '\r')
            fields.back() += c;
    }
    return fields;
}

TEST(Summary, HoldsTheNumbersOfTheWeatherBlocks) {
    for (const char *mode : {"", "--check"}) {
        scratch_dir dir;
        write_batch(dir);
        auto before = dir.snapshot();
        std::vector<std::string> args = {"--summary", "s.csv", "--report", "r.html", "sites.txt"};
        if (*mode)
            args.insert(args.begin(), mode);
        const tool_result r = run_tool(dir.path(), args);
        ASSERT_EQ(r.status, 0) << r.out;
        std::map<std::string, std::vector<std::vector<std::string>>> rows;
        std::istringstream csv(dir.read("s.csv"));
        std::string line;
        std::getline(csv, line);
        // Each row names the site's line in the list, right after the site.
        EXPECT_EQ(line.substr(0, 16), "site,line,month,");
        while (std::getline(csv, line)) {
            const std::vector<std::string> f = csv_fields(line);
            EXPECT_EQ(f[1], f[0] == "plain" ? "1" : "2") << line;
            rows[f[0]].push_back(f);
        }
        ASSERT_EQ(rows.size(), 2u) << mode;
        ASSERT_EQ(rows["odd,\"name"].size(), 12u);
        if (*mode) { // nothing but the two files is written
            auto after = dir.snapshot();
            std::erase_if(after,
                          [](const auto &f) { return f.first == "s.csv" || f.first == "r.html"; });
            EXPECT_EQ(after, before);
            continue;
        }
        for (const char *site : {"plain", "odd,\"name"}) {
            const std::vector<std::string> block =
                block_values(dir.read(std::string(site) + ".sfp"));
            for (size_t m = 0; m < 12; ++m)
                for (size_t k = 0; k < 5; ++k) // PRECIP, PRCSTD, PRCSKW, TMN2M, TMX2M
                    EXPECT_EQ(rows[site][m][7 + k], block[12 * k + m])
                        << site << " month " << m + 1;
        }
        EXPECT_EQ(rows["odd,\"name"][1][7], "NA");
        EXPECT_EQ(rows["odd,\"name"][1][4], "0"); // no valid precipitation year behind February
    }
}

TEST(Summary, AFailedWriteLeavesNoPartialFile) {
    scratch_dir dir;
    write_batch(dir);
    fs::create_directory(dir.file("taken.csv"));
    const tool_result r = run_tool(dir.path(), {"--summary", "taken.csv", "sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error writing taken.csv: Is a directory"), std::string::npos) << r.out;
    for (const auto &[name, content] : dir.snapshot())
        EXPECT_EQ(name.find(".siteprep-"), std::string::npos) << name;
}

using month_values = std::map<std::string, std::map<int, std::string>>;

// What the summary gives each site's chart: PRECIP, TMN2M and TMX2M month
// by month, where it has a value.
std::map<std::string, month_values> summary_values(const std::string &summary) {
    std::istringstream csv(summary);
    std::string line;
    std::getline(csv, line);
    std::map<std::string, month_values> expected;
    const char *columns[] = {"PRECIP", "TMN2M", "TMX2M"};
    const size_t at[] = {7, 10, 11};
    while (std::getline(csv, line)) {
        const auto f = csv_fields(line);
        for (size_t k = 0; k < 3; ++k)
            if (f[at[k]] != "NA")
                expected[f[0]][columns[k]][std::stoi(f[2])] = f[at[k]];
    }
    return expected;
}

// The text from a start to an end, or "" without the start.
std::string between(const std::string &page, const std::string &start, const char *end) {
    const size_t at = page.find(start);
    return at == std::string::npos ? std::string() : page.substr(at, page.find(end, at) - at);
}

// A site's section as the page's script made it, its number-th, and the
// record in the page it was made from.
std::string section_of(const std::string &page, int number) {
    return between(page, "<section class=\"site\" id=\"site-" + std::to_string(number) + "\">",
                   "</section>");
}
std::string record_of(const std::string &page, int number) {
    return between(page, "id=\"site-data-" + std::to_string(number) + "\">", "</script>");
}

// The attribute's value in an element's text, or "" without it.
std::string attribute(const std::string &element, const std::string &name) {
    const size_t at = element.find(" " + name + "=\"");
    if (at == std::string::npos)
        return std::string();
    const size_t start = at + name.size() + 3;
    return element.substr(start, element.find('"', start) - start);
}

// A site's bars and temperature points as the page's script drew them,
// month by month: the values the chart stands for.
month_values chart_values(const std::string &section) {
    month_values values;
    for (size_t at = section.find("<rect class=\"bar\""); at != std::string::npos;
         at = section.find("<rect class=\"bar\"", at + 1)) {
        const std::string element = section.substr(at, section.find('>', at) - at);
        EXPECT_TRUE(values["PRECIP"]
                        .emplace(std::stoi(attribute(element, "data-month")),
                                 attribute(element, "data-value"))
                        .second)
            << "one bar";
    }
    for (size_t at = section.find("<polyline "); at != std::string::npos;
         at = section.find("<polyline ", at + 1)) {
        const std::string element = section.substr(at, section.find('>', at) - at);
        std::istringstream points(attribute(element, "data-values"));
        for (std::string point; points >> point;)
            values[attribute(element, "class") == "tmin" ? "TMN2M" : "TMX2M"][std::stoi(point)] =
                point.substr(point.find(':') + 1);
    }
    return values;
}

// The numbers a site's record carries for its chart to be drawn from (key
// "prec", "tmin", "tmax" or "own", its frame), as written.
std::vector<std::string> embedded_list(const std::string &record, const std::string &key) {
    const size_t at = record.find("\"" + key + "\":[");
    std::vector<std::string> list;
    if (at == std::string::npos)
        return list;
    const size_t start = at + key.size() + 4;
    std::istringstream items(record.substr(start, record.find(']', start) - start));
    for (std::string item; std::getline(items, item, ',');)
        list.push_back(item);
    return list;
}

month_values embedded_values(const std::string &record) {
    month_values values;
    for (const auto &[key, column] :
         {std::pair{"prec", "PRECIP"}, std::pair{"tmin", "TMN2M"}, std::pair{"tmax", "TMX2M"}}) {
        const std::vector<std::string> list = embedded_list(record, key);
        EXPECT_EQ(list.size(), 12u) << key;
        for (size_t m = 0; m < list.size(); ++m)
            if (list[m] != "null")
                values[column][static_cast<int>(m + 1)] = list[m];
    }
    return values;
}

// The labels of a drawn chart's left axis (anchor "end") or right axis
// ("start"), bottom to top.
std::vector<std::string> axis_labels(const std::string &section, const std::string &anchor) {
    const size_t start = section.find("<svg class=\"climograph\"");
    const std::string chart = start == std::string::npos
                                  ? ""
                                  : section.substr(start, section.find("</svg>", start) - start);
    std::vector<std::string> labels;
    const std::string tag = "text-anchor=\"" + anchor + "\">";
    for (size_t at = chart.find(tag); at != std::string::npos; at = chart.find(tag, at + 1))
        labels.push_back(chart.substr(at + tag.size(), chart.find('<', at) - at - tag.size()));
    return labels;
}

// Headless Chromium opens the page: no console message, one chart a site
// drawn by its script with the summary's numbers, all on the batch's
// scales, each on its own once the page's control says so, and a
// screenshot that is not a blank page.
TEST(Report, RendersInABrowser) {
    if (std::system("command -v chromium >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "chromium is not installed";
    scratch_dir dir;
    write_batch(dir);
    // A site far wetter and warmer than the other, so that the scales of
    // each differ from the batch's.
    dir.write("odd,\"name.wth", daily_file({.years = 2, .days_a_month = 3}, "35 25 9.5"));
    ASSERT_EQ(
        run_tool(dir.path(), {"--summary", "s.csv", "--report", "r.html", "sites.txt"}).status, 0);
    dir.write("blank.html", "<!DOCTYPE html><html><body></body></html>");
    // The report in a frame, switched to each site's own scales, its grid
    // copied out for --dump-dom to show.
    dir.write("own.html",
              "<!DOCTYPE html><html><body><iframe id=\"f\" src=\"r.html\" width=\"800\" "
              "height=\"1200\"></iframe><script>document.getElementById('f').onload = function "
              "() { var d = this.contentDocument; (function copy() { "
              "if (d.querySelectorAll('svg.climograph').length < 2) return setTimeout(copy, 50); "
              "d.getElementById('own-scales').click(); document.body.insertAdjacentHTML("
              "'beforeend', d.querySelector('.grid').innerHTML); })(); };</script></body>"
              "</html>");
    // Its profile goes in the scratch directory: a user without a home
    // (nobody) can run it too.
    const std::string chrome =
        "HOME=$PWD timeout 60 chromium --headless --no-sandbox --disable-gpu "
        "--hide-scrollbars --window-size=800,1200 --enable-logging=stderr "
        "--virtual-time-budget=5000 ";
    ASSERT_EQ(run_shell(dir, chrome + "--dump-dom file://$PWD/r.html > dom.html 2> log.txt"), 0);
    ASSERT_EQ(run_shell(dir, chrome +
                                 "--screenshot=page.png file://$PWD/r.html 2>/dev/null >&2 && " +
                                 chrome +
                                 "--screenshot=blank.png file://$PWD/blank.html 2>/dev/null >&2"),
              0);
    ASSERT_EQ(run_shell(dir, chrome + "--allow-file-access-from-files "
                                      "--dump-dom file://$PWD/own.html > own.txt 2> own-log.txt"),
              0);
    const std::string dom = dir.read("dom.html");
    size_t charts = 0;
    for (size_t at = dom.find("<svg class=\"climograph\""); at != std::string::npos;
         at = dom.find("<svg class=\"climograph\"", at + 1))
        ++charts;
    EXPECT_EQ(charts, 2u);
    for (const char *log : {"log.txt", "own-log.txt"})
        EXPECT_EQ(dir.read(log).find("CONSOLE"), std::string::npos) << dir.read(log);
    EXPECT_GT(dir.read("page.png").size(), 4 * dir.read("blank.png").size());
    const auto expected = summary_values(dir.read("s.csv"));
    const std::string own = dir.read("own.txt");
    for (const auto &[number, site] : {std::pair{1, "plain"}, std::pair{2, "odd,\"name"}}) {
        EXPECT_EQ(chart_values(section_of(dom, number)), expected.at(site)) << site;
        EXPECT_EQ(chart_values(section_of(own, number)), expected.at(site)) << site;
        for (const char *anchor : {"end", "start"}) {
            const std::vector<std::string> shared = axis_labels(section_of(dom, 1), anchor);
            EXPECT_GE(shared.size(), 2u);
            EXPECT_EQ(axis_labels(section_of(dom, number), anchor), shared) << site;
            // Each site's own scale ends at its own frame's top.
            const std::vector<std::string> frame = embedded_list(record_of(dom, number), "own");
            ASSERT_EQ(frame.size(), 5u);
            ASSERT_FALSE(axis_labels(section_of(own, number), anchor).empty()) << own;
            EXPECT_EQ(axis_labels(section_of(own, number), anchor).back(),
                      frame[*anchor == 'e' ? 0 : 3])
                << site << " " << anchor;
        }
    }
    // The page says what the shared scales are.
    ASSERT_FALSE(axis_labels(section_of(dom, 1), "end").empty());
    ASSERT_FALSE(axis_labels(section_of(dom, 1), "start").empty());
    EXPECT_TRUE(has(dom, "precipitation 0 to " + axis_labels(section_of(dom, 1), "end").back() +
                             " cm, temperature " + axis_labels(section_of(dom, 1), "start")[0] +
                             " to "))
        << dom;
    for (const char *anchor : {"end", "start"})
        EXPECT_NE(axis_labels(section_of(own, 1), anchor), axis_labels(section_of(own, 2), anchor));
}

// The climographs show the summary's numbers: each site's record in the
// page carries, for the page's script to draw, a value for every month
// with a precipitation value or a temperature.
TEST(Report, ChartsHoldTheSummarysNumbers) {
    scratch_dir dir;
    write_batch(dir);
    ASSERT_EQ(
        run_tool(dir.path(), {"--summary", "s.csv", "--report", "r.html", "sites.txt"}).status, 0);
    const auto expected = summary_values(dir.read("s.csv"));
    const std::string page = dir.read("r.html");
    for (const auto &[number, site] : {std::pair{1, "plain"}, std::pair{2, "odd,\"name"}}) {
        const std::string record = record_of(page, number);
        ASSERT_FALSE(record.empty()) << site;
        EXPECT_EQ(embedded_values(record), expected.at(site)) << site;
    }
    EXPECT_EQ(expected.at("odd,\"name").at("PRECIP").count(2), 0u) << "February has no bar";
    EXPECT_EQ(expected.at("plain").at("PRECIP").size(), 12u);
    // Daily precipitation is in cm, and so are the bars.
    EXPECT_NE(page.find("Precipitation (cm)"), std::string::npos);
    EXPECT_EQ(page.find(" mm"), std::string::npos);
    // A name goes into its record as a JSON string.
    EXPECT_TRUE(has(record_of(page, 2), "\"name\":\"odd,\\\"name\""));
    // A page that works only with scripts says so without them.
    EXPECT_TRUE(has(page, "<noscript>"));
}

// A file that cannot be written whole, found as it is closed (under a
// file-size limit, or a write error the test injects), is named, gives
// status 1, and leaves nothing under its final name or a temporary one.
TEST(Outputs, AFailedWriteOrCloseLeavesNoFile) {
    const struct {
        std::vector<std::string> args;
        const char *file;
        bool inject; // the soil file's write fails in the seam, as its stream is flushed
    } cases[] = {{{"--summary", "s.csv"}, "s.csv", false},
                 {{"--check", "--summary", "s.csv"}, "s.csv", false},
                 {{"--report", "r.html"}, "r.html", false},
                 {{"--check", "--report", "r.html"}, "r.html", false},
                 {{"--monthly", "m.csv"}, "m.csv", false},
                 {{"--check", "--monthly", "m.csv"}, "m.csv", false},
                 {{"--keep-soils", "--jobs", "1"}, "plain.soils.in", true}};
    for (const auto &c : cases) {
        scratch_dir dir;
        write_batch(dir);
        dir.write("sites.txt", dir.read("sites.txt") + dir.read("sites.txt"));
        std::vector<std::string> args = c.args;
        args.push_back("sites.txt");
        // Room for every site file and soils.in, not for the summary, which
        // fits in one buffer: its failure comes when it is closed.
        const long limit = 2200;
        EXPECT_LT(dir.read("plain.sfp").size() + 200, static_cast<size_t>(limit));
        const tool_result r =
            c.inject ? run_tool(dir.path(), args,
                                {.faults = {{.call = "fflush", .file = c.file, .err = EFBIG}}})
                     : run_tool(dir.path(), args, {.file_size_limit = limit});
        EXPECT_EQ(r.status, 1) << c.args[0] << "\n" << r.out;
        EXPECT_NE(r.out.find(std::string("Error writing ") + c.file + ": File too large"),
                  std::string::npos)
            << r.out;
        for (const auto &[name, content] : dir.snapshot())
            EXPECT_TRUE(name.rfind(c.file, 0) != 0 && name.find(".siteprep-") == std::string::npos)
                << c.args[0] << ": " << name << " was left";
    }
}

// ---- outputs and messages that say what they know ----

// A batch of one site, plot, listed in sites.txt.
void write_plot(const scratch_dir &dir) {
    dir.write("sites.txt", site_row("plot"));
    write_usual_site(dir, "plot");
}

// A device or a link to one is written through, never renamed over; a run
// started with standard output closed writes no message into a site file.
TEST(Outputs, WritesThroughDevicesAndKeepsMessagesOutOfFiles) {
    scratch_dir reference;
    write_plot(reference);
    ASSERT_EQ(run_tool(reference.path(), {"sites.txt"}).status, 0);
    scratch_dir dir;
    write_plot(dir);
    fs::create_symlink("/dev/null", dir.file("null.csv"));
    const tool_result r = run_tool(dir.path(), {"--summary", "null.csv", "sites.txt"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::is_symlink(dir.file("null.csv")));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    // A link to the file standard output goes to, as /dev/stdout is, and a
    // link to a file elsewhere: both links stay, and the files get the CSV.
    fs::create_symlink("/proc/self/fd/1", dir.file("stdout.csv"));
    fs::create_directory(dir.file("sub"));
    fs::create_symlink("sub/real.csv", dir.file("linked.csv"));
    EXPECT_EQ(run_shell(dir, std::string(SITEPREP_BIN) +
                                 " --summary stdout.csv --report linked.csv sites.txt > log.txt"),
              0);
    EXPECT_TRUE(fs::is_symlink(dir.file("stdout.csv")) && fs::is_symlink(dir.file("linked.csv")));
    const std::string log = dir.read("log.txt");
    EXPECT_LT(log.find("Update: "), log.find("site,month,")) << log;
    EXPECT_NE(dir.read("sub/real.csv").find("<html"), std::string::npos);
    // Named as it is, the file standard output goes to is written through
    // it too, after the messages, never renamed over them.
    dir.write("more.txt", dir.read("sites.txt") + "bad 1 2\n");
    EXPECT_NE(run_shell(dir, std::string(SITEPREP_BIN) +
                                 " --keep-going --failed out.txt more.txt > out.txt"),
              0);
    const std::string out = dir.read("out.txt");
    EXPECT_LT(out.find("Update: "), out.rfind("bad 1 2\n")) << out;
    EXPECT_NE(out.find("1 of 2 sites failed"), std::string::npos) << out;
    scratch_dir closed;
    write_plot(closed);
    EXPECT_EQ(run_tool(closed.path(), {"sites.txt"}, {.close_stdout = true}).status, 1);
    EXPECT_EQ(closed.read("plot.sfp"), reference.read("plot.sfp"));
    EXPECT_EQ(closed.read("soils.in"), reference.read("soils.in"));
}

struct output_case {
    const char *what;
    std::vector<std::string> args;
    const char *list; // after plot's line
    std::function<void(const tool_result &, const scratch_dir &)> expect;
};

TABLE_TEST(Told, output_case);

TEST_P(Told, WhatTheOutputsAndMessagesSayIsTrue) {
    scratch_dir dir;
    write_plot(dir);
    dir.write("sites.txt", dir.read("sites.txt") + GetParam().list);
    GetParam().expect(run_tool(dir.path(), GetParam().args), dir);
}

INSTANTIATE_TABLE(
    Told,
    output_case{"malformed_line_under_keep_going",
                {"--keep-going", "--summary", "s.csv", "--report", "r.html", "sites.txt"},
                "bad 1 2\n",
                [](const tool_result &r, const scratch_dir &d) {
                    EXPECT_EQ(r.status, 1);
                    EXPECT_TRUE(has(d.read("s.csv"), "line 2,2,1,NA,NA,NA,NA,NA,NA,NA,NA,NA\r\n"))
                        << d.read("s.csv");
                    EXPECT_FALSE(has(d.read("s.csv"), "line 2,2,1,0"));
                    EXPECT_TRUE(
                        has(d.read("r.html"), "No data: the site-list line could not be used."));
                    // It went through the whole list: nothing was left out.
                    EXPECT_FALSE(has(r.out, "covers the")) << r.out;
                    EXPECT_TRUE(has(d.read("r.html"), "went through all 2 sites; 1 of them"));
                }},
    output_case{"stopped_run_says_what_it_covers",
                {"--summary", "s.csv", "sites.txt"},
                "ghost 1 2 40 40 20 1.3 0.5 3 1\nplot 1 2 40 40 20 1.3 0.5 3 1\n",
                [](const tool_result &r, const scratch_dir &) {
                    EXPECT_TRUE(has(r.out, "s.csv covers the 2 sites the run reached before "
                                           "it ended.\n"))
                        << r.out;
                    EXPECT_EQ(r.err, "siteprep: the run failed at sites.txt line 2 (ghost); "
                                     "the messages are on standard output\n");
                }},
    output_case{"run_report_is_not_audited",
                {"--report", "r.html", "sites.txt"},
                "",
                [](const tool_result &r, const scratch_dir &d) {
                    EXPECT_EQ(r.status, 0);
                    EXPECT_FALSE(has(d.read("r.html"), "<th>warnings</th>"));
                    EXPECT_TRUE(has(d.read("r.html"), "The run does not audit the files"));
                }},
    output_case{"report_takes_sources_from_a_stations_table_beside_the_list",
                {"sites.txt"},
                "",
                [](const tool_result &, const scratch_dir &d) {
                    const std::string header =
                        "name,format,latitude,longitude,elevation_m,first_date,last_date,days,"
                        "missing_tmax,missing_tmin,missing_prcp,mean_annual_prcp_cm\r\n";
                    d.write("stations.csv", header + "plot,daymet,1,2,3,NA,NA,1,0,0,0,1\r\n");
                    ASSERT_EQ(run_tool(d.path(), {"--report", "r.html", "sites.txt"}).status, 0);
                    EXPECT_TRUE(has(d.read("r.html"), "</td><td>daymet</td>"));
                    d.write("stations.csv", header + "plot,daymet,1,2\r\n");
                    ASSERT_EQ(run_tool(d.path(), {"--report", "r.html", "sites.txt"}).status, 0);
                    EXPECT_TRUE(has(d.read("r.html"), "stations.csv beside the site list was not "
                                                      "used: its record 2 has 4 fields, its "
                                                      "header 12"));
                    EXPECT_TRUE(has(d.read("r.html"), "</td><td>plot.wth</td>"));
                }},
    output_case{"report_counts_each_day_filled_once",
                {"sites.txt"},
                "",
                [](const tool_result &, const scratch_dir &d) {
                    d.write("plot.fill.csv", "date,quantity,value,method,source,adjustment\r\n"
                                             "2001-01-01,prcp,1,a,b,c\r\n"
                                             "2001-01-01,tmax,1,a,b,c\r\n"
                                             "2001-02-03,tmin,1,a,b,c\r\n");
                    ASSERT_EQ(run_tool(d.path(), {"--report", "r.html", "sites.txt"}).status, 0);
                    EXPECT_TRUE(has(d.read("r.html"), "<td>0.5%</td>")) << "2 days of 365";
                }},
    output_case{"control_bytes_in_a_name",
                {"--keep-going", "sites.txt"},
                "pl\x1b]0;x\x07ot 1 2 40 40 20 1.3 0.5 3 1\n",
                [](const tool_result &r, const scratch_dir &d) {
                    EXPECT_FALSE(has(r.out, "\x1b")) << r.out;
                    EXPECT_TRUE(has(r.out, "sites.txt line 2: pl\\x1b]0;x\\x07ot: Error "))
                        << r.out;
                    const tool_result check = run_tool(d.path(), {"--check", "sites.txt"});
                    EXPECT_FALSE(has(check.out, "\x1b"));
                    EXPECT_TRUE(has(check.out, "<pl\\x1b]0;x\\x07ot>.sfp")) << check.out;
                }},
    output_case{"name_that_would_end_a_script",
                {"--keep-going", "--report", "r.html", "sites.txt"},
                "x</script><b>y 1 2 40 40 20 1.3 0.5 3 1\n",
                [](const tool_result &r, const scratch_dir &d) {
                    EXPECT_EQ(r.status, 1);
                    // Its record holds it escaped: the page's markup stays whole.
                    EXPECT_TRUE(has(d.read("r.html"), "\"x\\u003c/script\\u003e\\u003cb\\u003ey\""))
                        << d.read("r.html");
                    EXPECT_FALSE(has(d.read("r.html"), "x</script>"));
                }},
    output_case{"byte_order_mark", {"bom.txt"}, "", [](const tool_result &, const scratch_dir &d) {
                    d.write("bom.txt", "\xef\xbb\xbf" + d.read("sites.txt"));
                    const tool_result r = run_tool(d.path(), {"bom.txt"});
                    EXPECT_EQ(r.status, 0) << r.out;
                    EXPECT_TRUE(has(d.read("plot.sfp"), "1530.0000"));
                }});

} // namespace
