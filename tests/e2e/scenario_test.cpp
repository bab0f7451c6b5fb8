// siteprep-import scenario: the delta method. A site's block from its
// scenario file is the block of its own file shifted and scaled as the
// algebra says; missing values stay as they are; the deltas applied are
// listed beside the files; a bad table writes nothing.
#include "data.h"
#include "table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

// The deltas of a month: dtmax, dtmin and pfactor, as numbers and texts.
struct month_deltas {
    double dtmax, dtmin, pfactor;
};

// Factors of powers of two scale every sum of the statistics exactly, so
// that the skewness, whose float sums cancel, stays to the last digit.
month_deltas deltas_of(int month) {
    if (month == 3)
        return {2.5, -1.5, 4}; // the site's own row, not the one of "*"
    const double factors[] = {0.5, 2, 0.25, 1};
    return {0.25 * month, -0.5 + 0.1 * month, factors[month % 4]};
}

std::string deltas_table() {
    std::string table = "site,month,dtmax,dtmin,pfactor\n";
    char row[96];
    for (int m = 1; m <= 12; ++m) {
        const month_deltas d = deltas_of(m);
        std::snprintf(row, sizeof row, "%s,%d,%.2f,%.2f,%.2f\n", m == 3 ? "plot" : "*", m, d.dtmax,
                      d.dtmin, d.pfactor);
        table += row;
    }
    return table + "*,3,9,9,9\n";
}

// Ten years of varied days, none missing.
std::string ten_years() {
    return daily_file({.first_year = 2001, .years = 10}, [](const file_day &d) {
        const int t = (d.day_of_year * 7 + d.year) % 23, p = (d.day_of_year * 5 + d.year) % 9;
        char values[64];
        std::snprintf(values, sizeof values, "%d.5 %d.25 %s", t + 5, t - 5 - d.day_of_year % 3,
                      p < 4 ? "0.0" : ("0." + std::to_string(p)).c_str());
        return std::string(values);
    });
}

// The block of a site file as a run writes it: each line's name and value.
std::map<std::string, double> block_of(const std::string &site_file) {
    std::map<std::string, double> block;
    std::istringstream lines(site_file);
    std::string line;
    for (int n = 0; std::getline(lines, line) && n < 62; ++n) {
        const size_t open = line.find('\''), close = line.rfind('\'');
        if (n >= 2 && open != std::string::npos && close > open)
            block[line.substr(open + 1, close - open - 1)] = std::stod(line);
    }
    return block;
}

std::map<std::string, double> block_after_run(const scratch_dir &dir) {
    dir.write("plot.sfp", site_file_with_block_names("0.0 'ELEV'\n"));
    const tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    return block_of(dir.read("plot.sfp"));
}

// PRECIP and PRCSTD times the factor and TMN2M and TMX2M plus the shifts,
// to the float rounding and the block's four decimals; PRCSKW unchanged.
TEST(Scenario, TheBlockFollowsTheAlgebra) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.wth", ten_years());
    dir.write("deltas.csv", deltas_table());
    const std::map<std::string, double> before = block_after_run(dir);
    const tool_result made =
        run_import(dir.path(), {"scenario", "--deltas", "deltas.csv", "-o", "sc", "plot.wth"});
    ASSERT_EQ(made.status, 0) << made.err;
    dir.write("plot.wth", dir.read("sc/plot.wth"));
    const std::map<std::string, double> after = block_after_run(dir);
    ASSERT_EQ(before.size(), 60u);
    ASSERT_EQ(after.size(), 60u);
    for (int m = 1; m <= 12; ++m) {
        const month_deltas d = deltas_of(m);
        const auto was = [&](const char *name) {
            return before.at(std::string(name) + "(" + std::to_string(m) + ")");
        };
        const auto is = [&](const char *name) {
            return after.at(std::string(name) + "(" + std::to_string(m) + ")");
        };
        const auto near = [](double x) { return 2.5e-4 + 1e-6 * std::fabs(x); };
        SCOPED_TRACE("month " + std::to_string(m));
        EXPECT_NEAR(is("PRECIP"), was("PRECIP") * d.pfactor, near(was("PRECIP")));
        EXPECT_NEAR(is("PRCSTD"), was("PRCSTD") * d.pfactor, near(was("PRCSTD")));
        EXPECT_EQ(is("PRCSKW"), was("PRCSKW"));
        EXPECT_NEAR(is("TMN2M"), was("TMN2M") + d.dtmin, near(was("TMN2M")));
        EXPECT_NEAR(is("TMX2M"), was("TMX2M") + d.dtmax, near(was("TMX2M")));
    }
}

// Missing values stay -99.99 and extra columns stay; a day whose Tmin
// ends above its Tmax is kept and counted; a value shifted to the
// physical range's bound is kept, one shifted past it is missing and
// named; each scenario has its directory and its table of the deltas
// applied.
TEST(Scenario, KeepsMissingValuesAndListsTheDeltasApplied) {
    scratch_dir dir;
    dir.write("plot.wth", "1 1 2001 1 10.5 2.25 0.35\n"
                          "2 1 2001 2 -99.99 1.0 0.00\n"
                          "3 1 2001 3 3.0 2.9 -99.99 7\n"
                          "4 1 2001 4 59.5 2.0 0.0\n");
    std::string table = "scenario,site,month,dtmax,dtmin,pfactor\n"
                        "warm,*,1,0.5,1.25,1.1\n"
                        "dry,plot,1,1,2,0.5\n";
    for (int m = 2; m <= 12; ++m)
        table += "warm,*," + std::to_string(m) + ",0,0,1\ndry,*," + std::to_string(m) + ",0,0,1\n";
    dir.write("deltas.csv", table);
    const tool_result r =
        run_import(dir.path(), {"scenario", "--deltas", "deltas.csv", "-o", "sc", "plot.wth"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("sc/warm/plot.wth"), "1 1 2001 1 11.0 3.50 0.385\n"
                                            "2 1 2001 2 -99.99 2.25 0.000\n"
                                            "3 1 2001 3 3.5 4.15 -99.99 7\n"
                                            "4 1 2001 4 60.0 3.25 0.00\n");
    EXPECT_EQ(dir.read("sc/dry/plot.wth"), "1 1 2001 1 11.5 4.25 0.175\n"
                                           "2 1 2001 2 -99.99 3.0 0.000\n"
                                           "3 1 2001 3 4.0 4.9 -99.99 7\n"
                                           "4 1 2001 4 -99.99 4.0 0.00\n");
    EXPECT_EQ(r.err.find("warm/plot.wth"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("dry/plot.wth: 1 tmax value outside -90 to 60 degrees C (on "
                         "2001-01-04), written as -99.99"),
              std::string::npos)
        << r.err;
    const std::string warm = dir.read("sc/warm/deltas_applied.csv");
    EXPECT_EQ(warm.substr(0, warm.find("plot,2,")),
              "site,month,dtmax,dtmin,pfactor,deltas_line,days,tmin_above_tmax\r\n"
              "plot,1,0.5,1.25,1.1,2,4,1\r\n");
    EXPECT_NE(dir.read("sc/dry/deltas_applied.csv").find("plot,1,1,2,0.5,3,4,1\r\n"),
              std::string::npos);
}

// Two scenarios, no change in either.
std::string two_scenarios() {
    std::string table = "scenario,site,month,dtmax,dtmin,pfactor\n";
    for (int m = 1; m <= 12; ++m)
        table += "warm,*," + std::to_string(m) + ",0,0,1\ndry,*," + std::to_string(m) + ",0,0,1\n";
    return table;
}

// A batch in batch/: the site list, the site's two files, the deltas.
void write_batch(const scratch_dir &dir, const std::string &list) {
    dir.write("batch/sites.txt", list);
    write_usual_site(dir, "batch/plot");
    dir.write("deltas.csv", two_scenarios());
}

tool_result import_with_sites(const scratch_dir &dir, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"scenario", "--deltas", "deltas.csv",     "-o",
                                     "sc",       "--sites",  "batch/sites.txt"};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back("batch/plot.wth");
    return run_import(dir.path(), args);
}

// An interrupt (here sent as the second input's first file is renamed
// into place) waits for that input's files, then leaves each scenario's
// deltas applied as a run of the inputs done would: their rows, an earlier
// row of theirs gone, the other sites' rows kept; none for the input not
// done, and no temporary file.
TEST(Scenario, AnInterruptLeavesTheDeltasOfEveryInputDone) {
    scratch_dir dir;
    dir.write("deltas.csv", two_scenarios());
    for (const char *site : {"a", "b", "c", "z"})
        dir.write(std::string(site) + ".wth",
                  daily_file({.first_year = 2001, .years = 1}, "15.5 3.25 0.2"));
    const auto import = [&](std::vector<std::string> inputs) {
        std::vector<std::string> args = {"scenario", "--deltas", "deltas.csv",
                                         "-o",       "sc",       "--force"};
        for (const std::string &site : inputs)
            args.push_back(site + ".wth");
        return args;
    };
    ASSERT_EQ(run_import(dir.path(), import({"b", "z"})).status, 0);
    const std::string earlier[] = {dir.read("sc/warm/deltas_applied.csv"),
                                   dir.read("sc/dry/deltas_applied.csv")};
    ASSERT_EQ(run_import(dir.path(), import({"a", "b"})).status, 0);
    const std::string whole[] = {dir.read("sc/warm/deltas_applied.csv"),
                                 dir.read("sc/dry/deltas_applied.csv")};
    for (const int sig : {SIGTERM, SIGINT}) {
        dir.write("sc/warm/deltas_applied.csv", earlier[0]);
        dir.write("sc/dry/deltas_applied.csv", earlier[1]);
        const size_t before = dir.snapshot().size();
        const tool_result r =
            run_tool(dir.path(), import({"a", "b", "c"}),
                     {.program = SITEPREP_IMPORT_BIN,
                      .faults = {{.call = "rename", .file = "b.wth", .signal = sig}}});
        EXPECT_EQ(r.status, 128 + sig) << r.err;
        EXPECT_EQ(dir.read("sc/warm/deltas_applied.csv"), whole[0]) << sig;
        EXPECT_EQ(dir.read("sc/dry/deltas_applied.csv"), whole[1]) << sig;
        EXPECT_EQ(dir.snapshot().size(), before) << sig; // no c, no temporary file
    }
}

// With --sites, each scenario's directory gets the site list and its site
// files beside the daily files, and runs as it stands.
TEST(Scenario, WithSitesEachDirectoryRunsAsItIs) {
    scratch_dir dir;
    write_batch(dir, "\xEF\xBB\xBF" + site_row("plot") + "\n" + site_row("plot"));
    const tool_result r = import_with_sites(dir);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string scenario : {"sc/warm/", "sc/dry/"}) {
        SCOPED_TRACE(scenario);
        EXPECT_EQ(dir.read(scenario + "sites.txt"), dir.read("batch/sites.txt"));
        EXPECT_EQ(dir.read(scenario + "plot.sfp"), dir.read("batch/plot.sfp"));
        EXPECT_EQ(run_tool(dir.file(scenario), {"sites.txt"}).status, 0);
    }
    EXPECT_NE(r.out.find("sc/dry/sites.txt: the site list and 1 site file"), std::string::npos)
        << r.out;
}

struct sites_refusal_case {
    const char *what;
    const char *list;     // the site list's site
    const char *existing; // a file in the way, or ""
    const char *daily;    // the daily file, or "" for the usual one
    bool site_file;       // the site's site file is there
    const char *said;
};

TABLE_TEST(ScenarioSitesRefused, sites_refusal_case);

// A site list whose directories would not run, or whose copies are in the
// way, is named with why, and nothing is written: no daily file either.
TEST_P(ScenarioSitesRefused, NamesWhyAndWritesNothing) {
    const sites_refusal_case &c = GetParam();
    scratch_dir dir;
    write_batch(dir, site_row(c.list));
    if (*c.existing != '\0')
        dir.write(c.existing, "kept\n");
    if (*c.daily != '\0')
        dir.write("batch/plot.wth", c.daily);
    if (!c.site_file)
        std::filesystem::remove(dir.file("batch/plot.sfp"));
    const auto before = dir.snapshot();
    const tool_result r = import_with_sites(dir, {"--keep-going"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(dir.snapshot(), before);
}

INSTANTIATE_TABLE(ScenarioSitesRefused,
                  sites_refusal_case{"a_site_without_its_daily_file", "other", "", "", true,
                                     "has no daily file among the inputs (other.wth)"},
                  sites_refusal_case{"a_site_in_a_directory", "batch/plot", "", "", true,
                                     "has no daily file among the inputs (batch/plot.wth)"},
                  sites_refusal_case{"a_site_file_missing", "plot", "", "", false,
                                     "Error reading batch/plot.sfp"},
                  sites_refusal_case{"a_copy_in_the_way", "plot", "sc/dry/plot.sfp", "", true,
                                     "plot.sfp exists: --force replaces it"},
                  sites_refusal_case{"a_bad_daily_line", "plot", "", "1 1 2001 1 x 2.25 0.35\n",
                                     true, "line 1"});

struct refusal_case {
    const char *what;
    const char *deltas;
    const char *said;
};

TABLE_TEST(ScenarioRefused, refusal_case);

// A table that cannot be applied as it stands is named with why, and
// nothing is written.
TEST_P(ScenarioRefused, NamesWhyAndWritesNothing) {
    const refusal_case &c = GetParam();
    scratch_dir dir;
    dir.write("plot.wth", "1 1 2001 1 10.5 2.25 0.35\n");
    dir.write("deltas.csv", c.deltas);
    const auto before = dir.snapshot();
    const tool_result r =
        run_import(dir.path(), {"scenario", "--deltas", "deltas.csv", "-o", "sc", "plot.wth"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(dir.snapshot(), before);
}

INSTANTIATE_TABLE(
    ScenarioRefused,
    refusal_case{"negative_factor", "site,month,dtmax,dtmin,pfactor\n*,1,0,0,-0.5\n", "is below 0"},
    refusal_case{"a_month_without_deltas", "site,month,dtmax,dtmin,pfactor\n*,1,0,0,1\n",
                 "no row for site \"plot\", month 2"},
    refusal_case{"a_row_twice", "site,month,dtmax,dtmin,pfactor\n*,1,0,0,1\n*,1,1,1,1\n",
                 "on line 2 too"},
    refusal_case{"a_scenario_that_is_a_path",
                 "scenario,site,month,dtmax,dtmin,pfactor\n../up,*,1,0,0,1\n",
                 "is not a name a directory can take"});

} // namespace
