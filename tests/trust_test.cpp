// Trust at the edges: no output may destroy a file of the batch, outputs
// say what they know, limits fail cleanly, and a wrong command line says
// what is wrong.
#include "tool_runner.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char site_row[] = " 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n";

// A batch of one site, plot, listed in sites.txt.
void write_plot(const scratch_dir &dir, const std::string &list = "sites.txt") {
    dir.write(list, "plot" + std::string(site_row));
    dir.write("plot.sfp", site_file_with_tail("1 ELEV\n"));
    dir.write("plot.wth", year_of_days("20 5 1.5"));
}

struct guard_case {
    const char *what;
    std::vector<std::string> args; // the site list last
    std::function<void(const scratch_dir &)> arrange;
    const char *message; // a part of what the check and the run both say
};

void PrintTo(const guard_case &c, std::ostream *os) {
    *os << c.what;
}

class Guard : public ::testing::TestWithParam<guard_case> {};

// Refused before anything is written, by the run and the check alike.
TEST_P(Guard, RefusesWhatWouldLoseAFile) {
    const guard_case &c = GetParam();
    scratch_dir dir;
    write_plot(dir);
    c.arrange(dir);
    if (IsSkipped())
        return;
    const auto before = dir.snapshot();
    for (const char *mode : {"--check", "run"}) {
        std::vector<std::string> args = c.args;
        if (mode[0] == '-')
            args.insert(args.begin(), mode);
        const tool_result r = run_tool(dir.path(), args);
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << mode << "\n" << r.out;
        EXPECT_EQ(dir.snapshot(), before) << mode;
    }
}

void nothing(const scratch_dir &) {}

INSTANTIATE_TEST_SUITE_P(
    Cases, Guard,
    ::testing::Values(
        guard_case{"summary_onto_site_list",
                   {"--summary", "sites.txt", "sites.txt"},
                   nothing,
                   "The site list is sites.txt: writing the --summary file would destroy it."},
        guard_case{"report_onto_site_file",
                   {"--report", "plot.sfp", "sites.txt"},
                   nothing,
                   "plot.sfp is the site parameter file of sites.txt line 1 and the --report "
                   "file at once"},
        guard_case{"summary_through_a_link_onto_weather_file",
                   {"--summary", "out.csv", "sites.txt"},
                   [](const scratch_dir &d) { fs::create_symlink("plot.wth", d.file("out.csv")); },
                   "out.csv is the same file as plot.wth: writing the --summary file would "
                   "destroy the daily weather file of sites.txt line 1."},
        guard_case{"summary_onto_soil_file",
                   {"--summary", "soils.in", "sites.txt"},
                   nothing,
                   "soils.in is the --summary file and the soil layer file at once"},
        guard_case{"report_onto_temp_copy",
                   {"--report", "XXXX.sfp", "sites.txt"},
                   nothing,
                   "XXXX.sfp is the --report file and the temporary copy at once"},
        guard_case{"summary_and_report_one_file",
                   {"--summary", "a.out", "--report", "a.out", "sites.txt"},
                   nothing,
                   "a.out is the --report file and the --summary file at once"},
        guard_case{"keep_soils_onto_site_list",
                   {"--keep-soils", "plot.soils.in"},
                   [](const scratch_dir &d) { write_plot(d, "plot.soils.in"); },
                   "The site list is plot.soils.in: writing the --keep-soils file of "
                   "plot.soils.in line 1 would destroy it."},
        guard_case{"site_file_is_another_sites_weather_file",
                   {"sites.txt"},
                   [](const scratch_dir &d) {
                       d.write("sites.txt", "plot" + std::string(site_row) + "other" + site_row);
                       d.write("other.sfp", site_file_with_tail(""));
                       fs::create_hard_link(d.file("plot.sfp"), d.file("other.wth"));
                   },
                   "plot.sfp is the same file as other.wth: rewriting the site parameter file "
                   "of sites.txt line 1 would destroy the daily weather file of sites.txt line "
                   "2."},
        guard_case{
            "site_list_is_a_site_file",
            {"plot.sfp"},
            [](const scratch_dir &d) { d.write("plot.sfp", "plot" + std::string(site_row)); },
            "The site list is plot.sfp: rewriting the site parameter file of plot.sfp "
            "line 1 would destroy it."},
        guard_case{"link_planted_in_a_shared_directory",
                   {"sites.txt"},
                   [](const scratch_dir &d) {
                       d.write("victim", "precious\n");
                       fs::create_symlink("victim", d.file("soils.in"));
                       // Made by another user in a sticky directory open to all.
                       if (lchown(d.file("soils.in").c_str(), 12345, 12345) != 0 ||
                           chmod(d.path().c_str(), 01777) != 0)
                           GTEST_SKIP() << "needs root to give the link to another user";
                   },
                   "soils.in is a symbolic link that another user made in a shared directory"},
        guard_case{"latitude_not_a_number",
                   {"sites.txt"},
                   [](const scratch_dir &d) {
                       d.write("sites.txt", "plot nan -105.25 40 40 20 1.3 0.5 3 1530\n");
                   },
                   "sites.txt line 1: field 2 (latitude) is not a finite number: \"nan\""},
        guard_case{"elevation_beyond_a_float",
                   {"sites.txt"},
                   [](const scratch_dir &d) {
                       d.write("sites.txt", "plot 41.5 -105.25 40 40 20 1.3 0.5 3 1e39\n");
                   },
                   "sites.txt line 1: field 10 (elevation) is not a finite number: \"1e39\""}),
    [](const ::testing::TestParamInfo<guard_case> &info) { return info.param.what; });

// A device or a link to one is written through, never renamed over; a run
// started with standard output closed writes no message into a site file.
TEST(Guard, WritesThroughDevicesAndKeepsMessagesOutOfFiles) {
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
    scratch_dir closed;
    write_plot(closed);
    run_setup no_stdout;
    no_stdout.close_stdout = true;
    EXPECT_EQ(run_tool(closed.path(), {"sites.txt"}, no_stdout).status, 1);
    EXPECT_EQ(closed.read("plot.sfp"), reference.read("plot.sfp"));
    EXPECT_EQ(closed.read("soils.in"), reference.read("soils.in"));
}

} // namespace
