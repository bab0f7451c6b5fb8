// The CSV summary and the HTML report: the same numbers as the weather
// blocks, written whole or not at all, and a page a browser renders.
#include "batch_builder.h"
#include "csv.h"
#include "outputs/outputs.h"
#include "tool_runner.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string years_of_days(int years, bool dry_february) {
    return daily_file({2001, years, 3}, [dry_february](int year, int m, int d, int) {
        const int y = year - 2001;
        return std::to_string(d) + " " + std::to_string(m) + " " + std::to_string(year) + " 1 " +
               std::to_string(10 + m + d + y) + ".5 " + std::to_string(m - d) + ".25 " +
               (dry_february && m == 2 ? "-99" : std::to_string(d + y) + ".5") + "\n";
    });
}

// Two sites, one with a comma and a quote in its name and no valid
// precipitation in February.
void write_batch(const scratch_dir &dir) {
    dir.write("sites.txt", "plain 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n"
                           "odd,\"name 10 20 0.2 0.3 0.5 1.3 0.5 2 5\n");
    dir.write("plain.sfp", site_file_with_tail(""));
    dir.write("plain.wth", years_of_days(3, false));
    dir.write("odd,\"name.sfp", site_file_with_tail(""));
    dir.write("odd,\"name.wth", years_of_days(2, true));
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
            for (int m = 0; m < 12; ++m)
                for (int k = 0; k < 5; ++k) // PRECIP, PRCSTD, PRCSKW, TMN2M, TMX2M
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

// Headless Chromium opens the page: no console message, one chart a site,
// and a screenshot that is not a blank page.
TEST(Report, RendersInABrowser) {
    if (std::system("command -v chromium >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "chromium is not installed";
    scratch_dir dir;
    write_batch(dir);
    ASSERT_EQ(run_tool(dir.path(), {"--report", "r.html", "sites.txt"}).status, 0);
    dir.write("blank.html", "<!DOCTYPE html><html><body></body></html>");
    const std::string chrome = "cd '" + dir.path() +
                               "' && timeout 60 chromium --headless --no-sandbox --disable-gpu "
                               "--hide-scrollbars --window-size=800,1200 --enable-logging=stderr ";
    ASSERT_EQ(std::system((chrome + "--dump-dom file://$PWD/r.html > dom.html 2> log.txt").c_str()),
              0);
    ASSERT_EQ(std::system((chrome + "--screenshot=page.png file://$PWD/r.html 2>/dev/null >&2 && " +
                           chrome + "--screenshot=blank.png file://$PWD/blank.html 2>/dev/null >&2")
                              .c_str()),
              0);
    const std::string dom = dir.read("dom.html");
    size_t charts = 0;
    for (size_t at = dom.find("<svg class=\"climograph\""); at != std::string::npos;
         at = dom.find("<svg class=\"climograph\"", at + 1))
        ++charts;
    EXPECT_EQ(charts, 2u);
    EXPECT_EQ(dir.read("log.txt").find("CONSOLE"), std::string::npos) << dir.read("log.txt");
    EXPECT_GT(dir.read("page.png").size(), 4 * dir.read("blank.png").size());
}

// One record of RFC 4180 text at pos, its fields; pos then past its CR LF.
// False for what RFC 4180 does not allow: a quote inside an unquoted field,
// or text after a closing quote.
bool read_record(const std::string &text, size_t &pos, std::vector<std::string> &fields) {
    fields.assign(1, std::string());
    for (bool quoted = false;;) {
        if (pos >= text.size())
            return !quoted;
        const char c = text[pos++];
        if (quoted && c == '"' && pos < text.size() && text[pos] == '"') {
            fields.back() += '"';
            ++pos;
        } else if (c == '"') {
            if (quoted ? pos < text.size() && text[pos] != ',' && text[pos] != '\r'
                       : !fields.back().empty())
                return false;
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            fields.emplace_back();
        } else if (!quoted && c == '\r' && pos < text.size() && text[pos] == '\n') {
            ++pos;
            return true;
        } else {
            fields.back() += c;
        }
    }
}

TEST(Summary, FieldsAreQuotedForEachReason) {
    for (const std::string text :
         {"a,b", "q\"uote", "line\r\nend", "two\nlines", " leading", "trailing\t", "plain"}) {
        const std::string record = csv_field(text) + ",1\r\n";
        size_t pos = 0;
        std::vector<std::string> fields;
        ASSERT_TRUE(read_record(record, pos, fields)) << record;
        EXPECT_EQ(pos, record.size());
        EXPECT_EQ(fields, (std::vector<std::string>{text, "1"})) << record;
        EXPECT_EQ(record[0] == '"', text != "plain") << record;
    }
}

// A site's bars and temperature points on the page, month by month: the
// values the chart stands for.
// The attribute's value in an element's text, or "" without it.
std::string attribute(const std::string &element, const std::string &name) {
    const size_t at = element.find(" " + name + "=\"");
    if (at == std::string::npos)
        return std::string();
    const size_t start = at + name.size() + 3;
    return element.substr(start, element.find('"', start) - start);
}

std::map<std::string, std::map<int, std::string>> chart_values(const std::string &section) {
    std::map<std::string, std::map<int, std::string>> values;
    for (size_t at = section.find("<rect class=\"bar\""); at != std::string::npos;
         at = section.find("<rect class=\"bar\"", at + 1)) {
        const std::string element = section.substr(at, section.find('>', at) - at);
        if (attribute(element, "data-month").empty())
            continue; // the legend's
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

// The climographs show the summary's numbers: a bar for every month with a
// precipitation value, a point for every month with a temperature.
TEST(Report, ChartsHoldTheSummarysNumbers) {
    scratch_dir dir;
    write_batch(dir);
    ASSERT_EQ(
        run_tool(dir.path(), {"--summary", "s.csv", "--report", "r.html", "sites.txt"}).status, 0);
    std::istringstream csv(dir.read("s.csv"));
    std::string line;
    std::getline(csv, line);
    std::map<std::string, std::map<std::string, std::map<int, std::string>>> expected;
    const char *columns[] = {"PRECIP", "TMN2M", "TMX2M"};
    const int at[] = {7, 10, 11};
    while (std::getline(csv, line)) {
        const auto f = csv_fields(line);
        for (int k = 0; k < 3; ++k)
            if (f[at[k]] != "NA")
                expected[f[0]][columns[k]][std::stoi(f[2])] = f[at[k]];
    }
    const std::string page = dir.read("r.html");
    for (const auto &[number, site] : {std::pair{1, "plain"}, std::pair{2, "odd,\"name"}}) {
        const size_t start =
            page.find("<section class=\"site\" id=\"site-" + std::to_string(number) + "\">");
        ASSERT_NE(start, std::string::npos);
        const auto values =
            chart_values(page.substr(start, page.find("</section>", start) - start));
        EXPECT_EQ(values, expected[site]) << site;
    }
    EXPECT_EQ(expected["odd,\"name"]["PRECIP"].count(2), 0u) << "February has no bar";
    EXPECT_EQ(expected["plain"]["PRECIP"].size(), 12u);
    // Daily precipitation is in cm, and so are the bars.
    EXPECT_NE(page.find("Precipitation (cm)"), std::string::npos);
    EXPECT_EQ(page.find(" mm"), std::string::npos);
}

// A file that cannot be written whole, found as it is closed (under a
// file-size limit, or a write error the test injects), is named, gives
// status 1, and leaves nothing under its final name or a temporary one.
TEST(Outputs, AFailedWriteOrCloseLeavesNoFile) {
    const bool traced = std::system("command -v strace >/dev/null 2>&1") == 0;
    const struct {
        std::vector<std::string> args;
        const char *file;
        bool inject; // the first write call, the soil file's, fails (soils.in is pwritten)
    } cases[] = {{{"--summary", "s.csv"}, "s.csv", false},
                 {{"--check", "--summary", "s.csv"}, "s.csv", false},
                 {{"--report", "r.html"}, "r.html", false},
                 {{"--check", "--report", "r.html"}, "r.html", false},
                 {{"--keep-soils", "--jobs", "1"}, "plain.soils.in", true}};
    for (const auto &c : cases) {
        if (c.inject && !traced)
            continue;
        scratch_dir dir;
        write_batch(dir);
        dir.write("sites.txt", dir.read("sites.txt") + dir.read("sites.txt"));
        std::vector<std::string> args = c.args;
        args.push_back("sites.txt");
        // Room for every site file and soils.in, not for the summary, which
        // fits in one buffer: its failure comes when it is closed.
        const long limit = 2200;
        EXPECT_LT(dir.read("plain.sfp").size() + 200, static_cast<size_t>(limit));
        tool_result r;
        if (c.inject) {
            const std::string command = "cd '" + dir.path() +
                                        "' && strace -f -qq -o /dev/null -e trace=write -e "
                                        "inject=write:error=EFBIG:when=1 " +
                                        SITEPREP_BIN + " --keep-soils --jobs 1 sites.txt > out.txt";
            r.status = WEXITSTATUS(std::system(command.c_str()));
            r.out = dir.read("out.txt");
        } else {
            r = run_tool(dir.path(), args, limit);
        }
        EXPECT_EQ(r.status, 1) << c.args[0] << "\n" << r.out;
        EXPECT_NE(r.out.find(std::string("Error writing ") + c.file + ": File too large"),
                  std::string::npos)
            << r.out;
        for (const auto &[name, content] : dir.snapshot())
            EXPECT_TRUE(name.rfind(c.file, 0) != 0 && name.find(".siteprep-") == std::string::npos)
                << c.args[0] << ": " << name << " was left";
    }
}

} // namespace
