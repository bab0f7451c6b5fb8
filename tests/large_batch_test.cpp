// Large batches: going on past a failed site, every site's soil rows kept,
// a progress line on a terminal, and a site list from a pipe.
#include "batch_builder.h"
#include "tool_runner.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const char *const rows[] = {"one 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n",
                            "two 10 20 0.2 0.3 0.5 1.3 0.5 12 5\n",
                            "data/three -12 30.5 0.65 0.25 0.10 1.3 0.5 1 200\n"};
const char *const names[] = {"one", "two", "data/three"};

void write_batch(const scratch_dir &dir) {
    dir.write("sites.txt", std::string(rows[0]) + rows[1] + rows[2]);
    for (const char *name : names)
        write_usual_site(dir, name);
}

// The site files of each site as a run of that site alone leaves them.
std::string alone(int site, const char *file) {
    scratch_dir dir;
    write_batch(dir);
    dir.write("sites.txt", rows[site]);
    run_tool(dir.path(), {"sites.txt"});
    return dir.read(file);
}

TEST(KeepGoing, GoesOnPastAFailedSiteAndListsIt) {
    for (bool keep_going : {false, true}) {
        scratch_dir dir;
        write_batch(dir);
        fs::remove(dir.file("two.wth"));
        dir.write("sites.txt", dir.read("sites.txt") + "bad line\n");
        std::vector<std::string> args = {"sites.txt"};
        if (keep_going)
            args.insert(args.begin(), "--keep-going");
        const tool_result r = run_tool(dir.path(), args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(dir.read("one.sfp"), alone(0, "one.sfp"));
        const std::string list = "Failed sites:\n"
                                 "sites.txt line 2: two: Error opening weather data file for two "
                                 "site! two.wth: No such file or directory\n"
                                 "sites.txt line 4: -: Error in site list sites.txt line 4: 2 "
                                 "fields found, 10 needed (site name, latitude, longitude, sand, "
                                 "silt, clay, bulk density, pass-through value, layer-count code, "
                                 "elevation)\n"
                                 "2 of 4 sites failed\n";
        if (keep_going) {
            EXPECT_EQ(dir.read("data/three.sfp"), alone(2, "data/three.sfp"));
            ASSERT_GE(r.out.size(), list.size());
            EXPECT_EQ(r.out.substr(r.out.size() - list.size()), list) << r.out;
        } else {
            EXPECT_EQ(dir.read("data/three.sfp"), site_file_with_tail("1 ELEV\n"));
            EXPECT_EQ(r.out.find("Failed sites"), std::string::npos);
        }
    }
}

TEST(KeepSoils, EachSiteGetsTheRowsSoilsInHeldForIt) {
    scratch_dir dir;
    write_batch(dir);
    const tool_result r = run_tool(dir.path(), {"--keep-soils", "sites.txt"});
    EXPECT_EQ(r.status, 0) << r.out;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(dir.read(std::string(names[i]) + ".soils.in"), alone(i, "soils.in")) << names[i];
    EXPECT_EQ(dir.read("soils.in"), alone(2, "soils.in"));
    EXPECT_EQ(dir.snapshot().size(), 12u) << "no temporary soil file left";
}

// The progress line goes to standard error on a terminal only, and never
// into standard output or the files.
TEST(Progress, OnATerminalOnlyAndOnStandardErrorOnly) {
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "script is not installed";
    scratch_dir dir;
    write_batch(dir);
    const std::string run = "cd '" + dir.path() + "' && ";
    const std::string bin = SITEPREP_BIN;
    ASSERT_EQ(
        std::system((run + "script -qec '" + bin + " sites.txt > out.txt' /dev/null > terminal.txt")
                        .c_str()),
        0);
    EXPECT_NE(dir.read("terminal.txt").find("0 of 3 sites done, now one"), std::string::npos)
        << dir.read("terminal.txt");
    ASSERT_EQ(std::system((run + bin + " sites.txt > out2.txt 2> err.txt").c_str()), 0);
    EXPECT_EQ(dir.read("err.txt"), "");
    EXPECT_EQ(dir.read("out.txt"), dir.read("out2.txt"));
    EXPECT_EQ(dir.read("out.txt").find('\r'), std::string::npos);
}

TEST(SiteList, FromAPipe) {
    scratch_dir dir;
    write_batch(dir);
    const std::string command = "cd '" + dir.path() + "' && cat sites.txt | " + SITEPREP_BIN +
                                " --keep-going --progress /dev/stdin > out.txt 2> err.txt";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(dir.read("data/three.sfp"), alone(2, "data/three.sfp"));
    // Into a file, the last count: the total is known before the first site.
    EXPECT_NE(dir.read("err.txt").find("3 of 3 sites done"), std::string::npos);
}

TEST(CommandLine, OptionsAfterTheSiteListOrWithoutTheirValue) {
    scratch_dir dir;
    for (const auto &args : std::vector<std::vector<std::string>>{{"sites.txt", "--strict"},
                                                                  {"--jobs"},
                                                                  {"--jobs", "0", "sites.txt"},
                                                                  {"--keep-going=yes", "sites.txt"},
                                                                  {"-x", "sites.txt"}}) {
        const tool_result r = run_tool(dir.path(), args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("\nusage: siteprep"), std::string::npos) << r.err;
    }
}

} // namespace
