// Trust at the edges: no output may destroy a file of the batch, outputs
// say what they know, limits fail cleanly, and a wrong command line says
// what is wrong.
#include "batch_builder.h"
#include "tool_runner.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A batch of one site, plot, listed in sites.txt.
void write_plot(const scratch_dir &dir, const std::string &list = "sites.txt") {
    dir.write(list, site_row("plot"));
    write_usual_site(dir, "plot");
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
        guard_case{"summary_onto_a_list_without_sites",
                   {"--summary", "sites.txt", "sites.txt"},
                   [](const scratch_dir &d) { d.write("sites.txt", "\n"); },
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
                       d.write("sites.txt", site_row("plot") + site_row("other"));
                       d.write("other.sfp", site_file_with_tail(""));
                       fs::create_hard_link(d.file("plot.sfp"), d.file("other.wth"));
                   },
                   "plot.sfp is the same file as other.wth: rewriting the site parameter file "
                   "of sites.txt line 1 would destroy the daily weather file of sites.txt line "
                   "2."},
        guard_case{"site_list_is_a_site_file",
                   {"plot.sfp"},
                   [](const scratch_dir &d) { d.write("plot.sfp", site_row("plot")); },
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
    // A link to the file standard output goes to, as /dev/stdout is, and a
    // link to a file elsewhere: both links stay, and the files get the CSV.
    fs::create_symlink("/proc/self/fd/1", dir.file("stdout.csv"));
    fs::create_directory(dir.file("sub"));
    fs::create_symlink("sub/real.csv", dir.file("linked.csv"));
    const std::string command = "cd '" + dir.path() + "' && " + SITEPREP_BIN +
                                " --summary stdout.csv --report linked.csv sites.txt > log.txt";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(fs::is_symlink(dir.file("stdout.csv")) && fs::is_symlink(dir.file("linked.csv")));
    const std::string log = dir.read("log.txt");
    EXPECT_LT(log.find("Update: "), log.find("site,month,")) << log;
    EXPECT_NE(dir.read("sub/real.csv").find("<html"), std::string::npos);
    // Named as it is, the file standard output goes to is written through
    // it too, after the messages, never renamed over them.
    dir.write("more.txt", dir.read("sites.txt") + "bad 1 2\n");
    const std::string named = "cd '" + dir.path() + "' && " + SITEPREP_BIN +
                              " --keep-going --failed out.txt more.txt > out.txt";
    EXPECT_NE(std::system(named.c_str()), 0);
    const std::string out = dir.read("out.txt");
    EXPECT_LT(out.find("Update: "), out.rfind("bad 1 2\n")) << out;
    EXPECT_NE(out.find("1 of 2 sites failed"), std::string::npos) << out;
    scratch_dir closed;
    write_plot(closed);
    run_setup no_stdout;
    no_stdout.close_stdout = true;
    EXPECT_EQ(run_tool(closed.path(), {"sites.txt"}, no_stdout).status, 1);
    EXPECT_EQ(closed.read("plot.sfp"), reference.read("plot.sfp"));
    EXPECT_EQ(closed.read("soils.in"), reference.read("soils.in"));
}

// ---- outputs and messages that say what they know ----

struct output_case {
    const char *what;
    std::vector<std::string> args;
    const char *list; // after plot's line
    std::function<void(const tool_result &, const scratch_dir &)> expect;
};

void PrintTo(const output_case &c, std::ostream *os) {
    *os << c.what;
}

class Told : public ::testing::TestWithParam<output_case> {};

TEST_P(Told, WhatTheOutputsAndMessagesSayIsTrue) {
    scratch_dir dir;
    write_plot(dir);
    dir.write("sites.txt", dir.read("sites.txt") + GetParam().list);
    GetParam().expect(run_tool(dir.path(), GetParam().args), dir);
}

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Told,
    ::testing::Values(
        output_case{
            "malformed_line_under_keep_going",
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
        output_case{"byte_order_mark",
                    {"bom.txt"},
                    "",
                    [](const tool_result &, const scratch_dir &d) {
                        d.write("bom.txt", "\xef\xbb\xbf" + d.read("sites.txt"));
                        const tool_result r = run_tool(d.path(), {"bom.txt"});
                        EXPECT_EQ(r.status, 0) << r.out;
                        EXPECT_TRUE(has(d.read("plot.sfp"), "1530.0000"));
                    }}),
    [](const ::testing::TestParamInfo<output_case> &info) { return info.param.what; });

// ---- limits and leftovers ----

struct limit_case {
    const char *what;
    std::function<bool(const scratch_dir &)> arrange; // false: not possible here
    const char *command;                              // run in the batch's directory; $T: the tool
    int status;
    const char *out;  // a part of standard output
    const char *gone; // no file whose name starts so is left
};

void PrintTo(const limit_case &c, std::ostream *os) {
    *os << c.what;
}

class Limits : public ::testing::TestWithParam<limit_case> {};

// Each limit fails cleanly: the message and status, and nothing left over.
TEST_P(Limits, FailCleanly) {
    const limit_case &c = GetParam();
    scratch_dir dir;
    write_plot(dir);
    if (!c.arrange(dir))
        GTEST_SKIP() << "not possible here";
    std::string command = c.command;
    command.replace(command.find("$T"), 2, SITEPREP_BIN);
    const int status =
        std::system(("cd '" + dir.path() + "' && " + command + " > out.txt").c_str());
    std::system(("chattr -a '" + dir.file("plot.sfp") + "' 2>/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(status), c.status) << dir.read("out.txt");
    EXPECT_TRUE(has(dir.read("out.txt"), c.out)) << dir.read("out.txt");
    for (const auto &[name, content] : dir.snapshot())
        EXPECT_NE(name.rfind(c.gone, 0), 0u) << name << " was left";
}

// A site list of a million lines, too long for 32 MB.
bool long_list(const scratch_dir &d) {
    std::string list;
    for (int i = 0; i < 1000000; ++i)
        list += site_row("plot");
    d.write("sites.txt", list);
    return !sanitized_build(); // a sanitizer's shadow memory needs more
}

bool strace_there(const scratch_dir &) {
    return std::system("command -v strace >/dev/null 2>&1") == 0;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Limits,
    ::testing::Values(
        limit_case{"little_memory_for_the_run", long_list,
                   "ulimit -v 32768 && $T --jobs 1 sites.txt", 1,
                   "Error: Cannot allocate memory; siteprep stopped.\n", "XXXX"},
        limit_case{"little_memory_for_the_check", long_list,
                   "ulimit -v 32768 && $T --check sites.txt", 1,
                   "Error: Cannot allocate memory; siteprep stopped.\n", "XXXX"},
        // SIGTERM as a temporary file is made: it waits for the rename.
        limit_case{"interrupt_while_a_file_is_written", strace_there,
                   "strace -f -qq -o /dev/null -e trace=fchmod -e inject=fchmod:signal=SIGTERM $T "
                   "--keep-soils sites.txt",
                   143, "", "plot.soils.in."},
        // A hang-up as the copy is deleted ends the run once the rewrite is
        // done; one the run was started with ignored (nohup) is ignored.
        limit_case{"hang_up_while_a_site_is_rewritten", strace_there,
                   "strace -f -qq -o /dev/null -e trace=unlink -e inject=unlink:signal=SIGHUP $T "
                   "sites.txt",
                   129, "", "XXXX"},
        limit_case{"hang_up_ignored_from_the_start", strace_there,
                   // (LeakSanitizer cannot run under strace, at a sanitized exit.)
                   "trap '' HUP && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e "
                   "trace=unlink -e inject=unlink:signal=SIGHUP $T sites.txt",
                   0, "", "XXXX"},
        limit_case{"append_only_site_file",
                   [](const scratch_dir &d) {
                       return std::system(
                                  ("chattr +a '" + d.file("plot.sfp") + "' 2>/dev/null").c_str()) ==
                              0;
                   },
                   "$T --check sites.txt", 1,
                   "Error opening for writing plot.sfp: Operation not permitted", "XXXX"}),
    [](const ::testing::TestParamInfo<limit_case> &info) { return info.param.what; });

// Outputs of many sites stay within a small memory.
TEST(LimitsOfOutputs, ManySitesInLittleMemory) {
    if (sanitized_build())
        GTEST_SKIP() << "a sanitizer's shadow memory needs more address space";
    scratch_dir dir;
    write_plot(dir);
    std::string list;
    for (int i = 0; i < 2000; ++i)
        list += site_row("plot");
    dir.write("sites.txt", list);
    run_setup small;
    small.memory_bytes = 32L << 20;
    const tool_result r =
        run_tool(dir.path(), {"--summary", "s.csv", "--report", "r.html", "sites.txt"}, small);
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 400) << r.err;
    const std::string csv = dir.read("s.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 12 * 2000) << "every row";
}

// ---- the command line ----

TEST(CommandLine, SaysWhatIsWrongAndTakesOptionsAnywhere) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char *err; // its first line
    } cases[] = {
        {{"--bogus", "sites.txt"}, 2, "siteprep: unrecognized option '--bogus'\n"},
        {{"sites.txt", "--jobs"}, 2, "siteprep: option '--jobs' requires an argument\n"},
        {{"--jobs", "x", "sites.txt"},
         2,
         "siteprep: invalid --jobs value 'x': a whole number from 1 to 256\n"},
        {{"--strict", "sites.txt"}, 2, "siteprep: option '--strict' goes with '--check'\n"},
        {{"--summary", "", "sites.txt"}, 2, "siteprep: option '--summary' needs a file name\n"},
        {{"sites.txt", "more.txt"}, 2, "siteprep: one site list expected, not 2 arguments\n"},
        {{"--check", "sites.txt", "--strict"}, 1, ""}, // its one year is a warning
        {{"sites.txt", "--jobs", "1"}, 0, ""},
        {{"--", "--check"}, 1, "siteprep: the run failed before its first site"},
        {{"-h"}, 0, ""},
    };
    for (const auto &c : cases) {
        scratch_dir dir;
        write_plot(dir);
        const tool_result r = run_tool(dir.path(), c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1).rfind(c.err, 0), 0u) << r.err;
        if (c.status == 2) {
            EXPECT_TRUE(has(r.err, "\nTry 'siteprep --help' for more information.\n")) << r.err;
        }
    }
}

} // namespace
