// The daily formats' --plan against the stand-ins for the services on the
// loopback address: the plan run by sh fetches every file; after a file
// is removed and another cut short, a new plan fetches those two alone;
// and the daily files imported from them pass a strict check.
#include "data.h"
#include "services.h"
#include "table.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

struct plan_case {
    const char *what;
    std::vector<std::string> plan;  // the plan's command line, --base-url aside
    const char *host;               // the service's host: the stand-in's first path segment
    std::vector<std::string> files; // what the plan fetches
    bool filled; // imported with --fill-from (Daymet's leap days, a station's gaps)
};

TABLE_TEST(DownloadPlan, plan_case);

// A donor of the stand-ins' seasonal cycle: within the fill's bias limit.
std::string donor() {
    return daily_file({.first_year = 1990, .years = 10}, [](const file_day &d) {
        const double tmax = 14 + 9 * std::cos(2 * M_PI * (d.day_of_year - 200) / 365.25);
        char values[64];
        std::snprintf(values, sizeof values, "%.2f %.2f 0.30", tmax, tmax - 9.5);
        return std::string(values);
    });
}

size_t count_of(const std::string &text, const std::string &part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Makes the plan (its left files said on standard error) into plan.sh.
std::string make_plan(const scratch_dir &dir, const std::vector<std::string> &args,
                      const std::string &left) {
    const tool_result r = run_import(dir.path(), args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(left), std::string::npos) << r.err;
    dir.write("plan.sh", r.out);
    return r.out;
}

TEST_P(DownloadPlan, FetchesWhatIsNotThereWhole) {
    const plan_case &c = GetParam();
    scratch_dir dir;
    dir.write("points.csv",
              "name,lat,lon\nplot1,47.93,-122.96\nplot2,47.48,-122.49\nplot3,47.46,-122.3\n");
    // NA passed over; a station given twice fetched once.
    dir.write("stations.csv", "station\nUSW00024233\nNA\nUSC00450872\nUSW00024233\n");
    loopback_services services(dir);
    if (!services.serving())
        GTEST_SKIP() << "python3 did not start the stand-ins";
    std::vector<std::string> args = c.plan;
    args.insert(args.end(), {"--base-url", services.base_url(c.host)});
    const std::string n = std::to_string(c.files.size());
    make_plan(dir, args, n + " of " + n + " files left to fetch (0 there whole)");
    // The pace is the plan's; a sleep that does not wait keeps the test short.
    ASSERT_EQ(run_shell(dir, "mkdir bin && printf '#!/bin/sh\\n' >bin/sleep && chmod +x bin/sleep"),
              0);
    const std::string run = "PATH=\"$PWD/bin:$PATH\" sh plan.sh 2>/dev/null";
    ASSERT_EQ(run_shell(dir, run), 0);
    for (const std::string &file : c.files)
        EXPECT_TRUE(dir.exists(file) && !dir.exists(file + ".part")) << file;

    std::filesystem::remove(dir.file(c.files[0]));
    const std::string whole = dir.read(c.files[1]);
    dir.write(c.files[1], whole.substr(0, whole.size() - 10));
    const size_t served = count_of(services.requests(), "\n");
    const std::string again = make_plan(dir, args,
                                        "2 of " + n + " files left to fetch (" +
                                            std::to_string(c.files.size() - 2) + " there whole)");
    EXPECT_EQ(count_of(again, "\nfetch '"), 2u) << again;
    for (const std::string &file : {c.files[0], c.files[1]})
        EXPECT_NE(again.find("\nfetch '" + file + "' "), std::string::npos) << again;
    ASSERT_EQ(run_shell(dir, run), 0);
    EXPECT_EQ(count_of(services.requests(), "\n"), served + 2);
    EXPECT_EQ(dir.read(c.files[1]), whole);
    make_plan(dir, args, "0 of " + n + " files left to fetch (" + n + " there whole)");

    std::vector<std::string> import = {c.plan[0], "--years", "1990-1999", "-o", "batch"};
    if (c.filled) {
        dir.write("donor.wth", donor());
        import.insert(import.end(), {"--fill-from", "donor.wth"});
    }
    import.insert(import.end(), c.files.begin(), c.files.end());
    const tool_result imported = run_import(dir.path(), import);
    ASSERT_EQ(imported.status, 0) << imported.err;
    std::string sites;
    for (const std::string &file : c.files) {
        const std::string name = file.substr(0, file.find('.'));
        sites += site_row(name);
        dir.write("batch/" + name + ".sfp", site_file_with_block_names("1 ELEV\n"));
    }
    dir.write("batch/sites.txt", sites);
    const tool_result checked = run_tool(dir.file("batch"), {"--check", "--strict", "sites.txt"});
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
}

INSTANTIATE_TABLE(DownloadPlan,
                  plan_case{"daymet",
                            {"daymet", "--plan", "points.csv", "--years", "1990-1999"},
                            "daymet.ornl.gov",
                            {"plot1.csv", "plot2.csv", "plot3.csv"},
                            true},
                  plan_case{"power",
                            {"power", "--plan", "points.csv", "--years", "1990-1999"},
                            "power.larc.nasa.gov",
                            {"plot1.csv", "plot2.csv", "plot3.csv"},
                            false},
                  plan_case{"ghcn",
                            {"ghcn", "--plan", "stations.csv"},
                            "www.ncei.noaa.gov",
                            {"USW00024233.dly", "USC00450872.dly"},
                            true});

// A plan that cannot be made says why, on its first line, and prints no
// script; a row left out with --keep-going is listed.
struct plan_refusal {
    const char *what;
    std::vector<std::string> args;
    const char *table;
    const char *said;
    bool plans; // the rows kept are planned
};

TABLE_TEST(PlanRefusal, plan_refusal);

TEST_P(PlanRefusal, SaysWhy) {
    const plan_refusal &c = GetParam();
    scratch_dir dir;
    dir.write("t.csv", c.table);
    const tool_result r = run_import(dir.path(), c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("\nfetch 'USW00024233.dly' ") != std::string::npos, c.plans) << r.out;
}

INSTANTIATE_TABLE(PlanRefusal,
                  plan_refusal{"name_a_path",
                               {"daymet", "--plan", "t.csv"},
                               "name,lat,lon\na/b,47,-122\n",
                               "siteprep-import: cannot plan",
                               false},
                  plan_refusal{"name_of_two_places",
                               {"power", "--plan", "t.csv", "--years", "2001-2002"},
                               "name,lat,lon\np,47,-122\np,47.5,-122\n",
                               "siteprep-import: p.csv is planned from two URLs",
                               false},
                  plan_refusal{"no_station_id",
                               {"ghcn", "--plan", "t.csv"},
                               "station\nUSW0002423\nUSW00024233\n",
                               "t.csv line 2: \"USW0002423\" is no GHCN-Daily station ID",
                               false},
                  plan_refusal{
                      "no_station_id_left_out",
                      {"ghcn", "--plan", "t.csv", "--keep-going"},
                      "station\nusw00024233\nUSW00024233\n",
                      "left out: t.csv line 2: \"usw00024233\" is no GHCN-Daily station ID",
                      true});

} // namespace
