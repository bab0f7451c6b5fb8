// The batch check: every problem in one pass, nothing written.
#include "batch_builder.h"
#include "tool_runner.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

void write_clean_batch(const scratch_dir &dir) {
    dir.write("sites.txt", site_row("one") + "two 10 20 0.2 0.3 0.5 1.3 0.5 12 5\n"
                                             "data/three -12 30.5 0.65 0.25 0.10 1.3 0.5 1 200\n");
    for (const char *site : {"one", "two", "data/three"})
        write_usual_site(dir, site);
}

TEST(Check, CleanBatchPassesAndTheRunSucceeds) {
    scratch_dir dir;
    write_clean_batch(dir);
    auto before = dir.snapshot();
    tool_result check = run_tool(dir.path(), {"--check", "sites.txt"});
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(without_audit(check.out),
              "Warning: sites.txt line 2: Invalid number of soil layers in <SITE>.sfp "
              "file! Using default value of 9 layers.\n"
              "3 sites checked, 0 problems\n");
    EXPECT_EQ(dir.snapshot(), before);
    tool_result run = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(run.status, 0) << run.out;
}

TEST(Check, ReportsEveryProblemAndTouchesNothing) {
    scratch_dir dir;
    write_clean_batch(dir);
    dir.write("sites.txt", "one 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n"
                           "bad 41.5 -105 40 40 20 1.3 0.5 9.0 1530\n"
                           "two 10 20 0.2 0.3 0.5 1.3 0.5 2 5\n"
                           "\n"
                           "data/three -12 30.5 0.65 0.25 0.10 1.3 0.5 1 200\n"
                           "nosfp 1 2 40 40 20 1 1 1 1\n");
    fs::remove(dir.file("two.wth"));
    std::string three = year_of_days("20 5 1.5");
    three.insert(three.find("1 2 2001"), "1 13 2001 1 2 2 2\n");
    three += "4 12 2001 1 20 5 wet\n";
    dir.write("data/three.wth", three);
    dir.write("nosfp.wth", year_of_days("1 1 1"));
    dir.write("XXXX.sfp", "an interrupted run's copy\n");
    auto before = dir.snapshot();
    tool_result r = run_tool(dir.path(), {"--check", "sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(without_audit(r.out),
              "XXXX.sfp already exists in the working directory. It may hold the only intact copy "
              "of a site parameter file from an interrupted run: compare it with that site's .sfp "
              "file, keep the intact one, then remove or rename XXXX.sfp and run again.\n"
              "Error in site list sites.txt line 2: field 9 (layer-count code) is not a whole "
              "number: \"9.0\"\n"
              "Error opening weather data file for two site! two.wth: No such file or directory\n"
              "Error in weather data file data/three.wth line 4: month 13 is outside 1 to 12\n"
              "Error in weather data file data/three.wth line 38: field 7 is not a number: "
              "\"wet\"\n"
              "Error opening <nosfp>.sfp file! nosfp.sfp: No such file or directory\n"
              "5 sites checked, 6 problems\n");
    EXPECT_EQ(dir.snapshot(), before);
}

// The check and the run read with the same code: the run stops on the
// first problem with the same words the check lists it in.
TEST(Check, SaysWhatTheRunSays) {
    const struct {
        const char *what;
        const char *weather;
        const char *line;
    } cases[] = {
        {"short daily line", "1 1 2001 1 1 1\n",
         "Error in weather data file one.wth line 1: 6 "
         "fields found, 7 needed\n"},
        {"month zero", "1 0 2001 1 1 1 1\n",
         "Error in weather data file one.wth line 1: month 0 "
         "is outside 1 to 12\n"},
    };
    for (const auto &c : cases) {
        scratch_dir dir;
        dir.write("sites.txt", "one 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n");
        dir.write("one.sfp", site_file_with_tail(""));
        dir.write("one.wth", c.weather);
        tool_result check = run_tool(dir.path(), {"--check", "sites.txt"});
        tool_result run = run_tool(dir.path(), {"sites.txt"});
        EXPECT_EQ(without_audit(check.out), std::string(c.line) + "1 site checked, 1 problem\n")
            << c.what;
        EXPECT_NE(run.out.find(c.line), std::string::npos) << c.what << ": " << run.out;
        EXPECT_EQ(run.status, 1);
    }
}

TEST(Check, LongListsOfBadLinesAreCappedButCounted) {
    scratch_dir dir;
    dir.write("sites.txt", "one 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n");
    dir.write("one.sfp", site_file_with_tail(""));
    std::string bad;
    for (int i = 0; i < 25; ++i)
        bad += "x 1 2001 1 1 1 1\n";
    dir.write("one.wth", bad);
    tool_result r = run_tool(dir.path(), {"--check", "sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(without_audit(r.out).find(
                  "one.wth: 5 more problems not listed\n1 site checked, 25 problems\n"),
              std::string::npos)
        << r.out;
}

TEST(Check, SiteListThatIsTheSoilFileIsRefused) {
    scratch_dir dir;
    dir.write("soils.in", "one 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n");
    dir.write("one.sfp", site_file_with_tail(""));
    dir.write("one.wth", year_of_days("1 1 1"));
    auto before = dir.snapshot();
    for (const char *mode : {"--check", ""}) {
        std::vector<std::string> args = {"soils.in"};
        if (*mode)
            args.insert(args.begin(), mode);
        tool_result r = run_tool(dir.path(), args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find("The site list is soils.in"), std::string::npos) << r.out;
        EXPECT_EQ(dir.snapshot(), before);
    }
}

} // namespace
