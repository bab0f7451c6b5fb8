// Hostile and unlucky batches: aliases, devices, NUL bytes, over-long lines,
// two runs on one site, private files and syncing. The check must report
// what the run refuses, and the run must refuse before anything is lost.
#include "batch_builder.h"
#include "shown.h"
#include "tool_runner.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct refusal_case {
    const char *what;
    void (*arrange)(const scratch_dir &);
    const char *message;       // a part of what both the check and the run say
    bool keys_written = false; // the run refuses after the site keys, as for a missing .wth
};

void PrintTo(const refusal_case &c, std::ostream *os) {
    *os << c.what;
}

void nul_in_site_name(const scratch_dir &d) {
    d.write("victim.txt", "precious\n");
    d.write("sites.txt", site_row(std::string("victim.txt\0", 11)));
}
void nul_cuts_weather_name(const scratch_dir &d) {
    d.write("sites.txt", site_row(std::string("plot.wth\0x", 10)) + site_row("plot"));
}
void weather_is_fifo(const scratch_dir &d) {
    fs::remove(d.file("plot.wth"));
    mkfifo(d.file("plot.wth").c_str(), 0644);
}
void weather_is_device(const scratch_dir &d) {
    fs::remove(d.file("plot.wth"));
    fs::create_symlink("/dev/zero", d.file("plot.wth"));
}
void weather_is_its_site_file(const scratch_dir &d) {
    fs::remove(d.file("plot.wth"));
    fs::create_symlink("plot.sfp", d.file("plot.wth"));
}
void long_daily_line(const scratch_dir &d) {
    d.write("plot.wth", "1 1 2001 1 20 5 " + std::string(70000, '1') + "\n");
}
void long_site_list_line(const scratch_dir &d) {
    d.write("sites.txt", site_row("plot") + std::string(1100000, 'x') + "\n");
}
void long_site_file_line(const scratch_dir &d) {
    d.write("plot.sfp", "head\n" + std::string(1100000, 'x') + "\n");
}
void soil_file_linked_to_site_file(const scratch_dir &d) {
    fs::create_hard_link(d.file("plot.sfp"), d.file("soils.in"));
}
void soil_file_linked_to_weather_file(const scratch_dir &d) {
    fs::create_symlink("plot.wth", d.file("soils.in"));
}

class Refusal : public ::testing::TestWithParam<refusal_case> {};

TEST_P(Refusal, CheckReportsItAndRunLosesNothing) {
    const refusal_case &c = GetParam();
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    write_usual_site(dir, "plot");
    c.arrange(dir);
    auto before = dir.snapshot();
    tool_result check = run_tool(dir.path(), {"--check", "sites.txt"});
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.out.find(c.message), std::string::npos) << check.out;
    EXPECT_EQ(dir.snapshot(), before);

    tool_result run = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    EXPECT_LT(run.out.size(), 400u) << "a message is a short line";
    auto after = dir.snapshot();
    auto written = [&c](const auto &f) {
        return f.first == "soils.in" || (c.keys_written && f.first == "plot.sfp");
    };
    if (!dir.exists("soils.in") || fs::is_symlink(dir.file("soils.in")) ||
        fs::hard_link_count(dir.file("soils.in")) > 1) {
        EXPECT_EQ(after, before); // soils.in was refused: nothing written at all
    } else {
        std::erase_if(before, written);
        std::erase_if(after, written);
        EXPECT_EQ(after, before);
    }
    if (c.keys_written) {
        EXPECT_EQ(dir.read("plot.sfp"), site_file_with_tail("1530.0000         ELEV      \n"));
    }
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refusal,
    ::testing::Values(
        refusal_case{"nul_in_site_name", nul_in_site_name, "line 1: NUL byte at column 11"},
        refusal_case{"nul_cuts_weather_name", nul_cuts_weather_name,
                     "line 1: NUL byte at column 9"},
        refusal_case{"weather_is_fifo", weather_is_fifo, "plot.wth: not a regular file", true},
        refusal_case{"weather_is_device", weather_is_device, "plot.wth: not a regular file", true},
        refusal_case{"weather_is_its_site_file", weather_is_its_site_file,
                     "plot.wth: the same file as the site parameter file", true},
        refusal_case{"long_daily_line", long_daily_line,
                     "plot.wth line 1: line longer than 65536 bytes", true},
        refusal_case{"long_site_list_line", long_site_list_line,
                     "sites.txt line 2: line longer than 1048576 bytes"},
        refusal_case{"long_site_file_line", long_site_file_line,
                     "plot.sfp line 2: line longer than 1048576 bytes"},
        refusal_case{"soil_file_linked_to_site_file", soil_file_linked_to_site_file,
                     "soils.in is the same file as plot.sfp"},
        refusal_case{"soil_file_linked_to_weather_file", soil_file_linked_to_weather_file,
                     "soils.in is the same file as plot.wth"}),
    [](const ::testing::TestParamInfo<refusal_case> &info) { return info.param.what; });

TEST(Quoting, BadTokensAreShortAndPrintable) {
    const struct {
        std::string token, shown;
    } cases[] = {{"wet", "\"wet\""},
                 {std::string("a\0\r\"b", 5), "\"a\\x00\\x0d\\x22b\""},
                 {std::string(50, 'x'), "\"" + std::string(40, 'x') + "\"..."},
                 {"\xc3\xa9", "\"\\xc3\\xa9\""}};
    for (const auto &c : cases)
        EXPECT_EQ(quote_token(c.token), c.shown);
}

// Two runs in their own working directories that share a site take turns:
// the site file ends as one run leaves it.
TEST(Lock, TwoRunsOnOneSiteLeaveOneRunsResult) {
    std::string expected;
    {
        scratch_dir alone;
        alone.write("run/sites.txt", site_row("../plot"));
        write_usual_site(alone, "plot");
        ASSERT_EQ(run_tool(alone.file("run"), {"sites.txt"}).status, 0);
        expected = alone.read("plot.sfp");
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        scratch_dir dir;
        std::string list;
        for (int i = 0; i < 20; ++i)
            list += site_row("../plot");
        dir.write("a/sites.txt", list);
        dir.write("b/sites.txt", list);
        write_usual_site(dir, "plot");
        tool_result a, b;
        std::thread first([&] { a = run_tool(dir.file("a"), {"sites.txt"}); });
        b = run_tool(dir.file("b"), {"sites.txt"});
        first.join();
        EXPECT_EQ(a.status, 0) << a.out;
        EXPECT_EQ(b.status, 0) << b.out;
        ASSERT_EQ(dir.read("plot.sfp"), expected) << "attempt " << attempt;
    }
}

TEST(Lock, ARunWaitsForTheHolderAndSaysSo) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    write_usual_site(dir, "plot");
    const int fd = open(dir.file("plot.sfp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    tool_result r;
    std::thread run([&] { r = run_tool(dir.path(), {"sites.txt"}); });
    // soils.in comes just before the lock is tried.
    for (int i = 0; i < 500 && !dir.exists("soils.in"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(dir.read("plot.sfp"), site_file_with_tail("1 ELEV\n")) << "written under the lock";
    close(fd);
    run.join();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Waiting for plot.sfp: another run is rewriting it.\n", 0), 0u) << r.out;
}

TEST(Check, WarnsOfASiteListedTwice) {
    scratch_dir dir;
    dir.write("sites.txt",
              site_row("plot") + site_row("other") + site_row("plot") + site_row("data/../plot"));
    write_usual_site(dir, "plot");
    write_usual_site(dir, "other");
    fs::create_directory(dir.file("data"));
    tool_result r = run_tool(dir.path(), {"--check", "sites.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(without_audit(r.out),
              "Warning: sites.txt line 3: plot is listed again (first on line 1)\n"
              "Warning: sites.txt line 4: data/../plot.sfp is the same file as plot.sfp "
              "(line 1)\n"
              "4 sites checked, 0 problems\n");
}

TEST(Check, ReportsWhatTheRunCannotWrite) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    write_usual_site(dir, "plot");
    if (!hand_to_unprivileged_user(dir))
        GTEST_SKIP() << "no unprivileged user can run the tool here";
    chmod(dir.file("plot.sfp").c_str(), 0444);
    chmod(dir.path().c_str(), 0555);
    tool_result r = run_tool(dir.path(), {"--check", "sites.txt"}, -1, true);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("XXXX.sfp cannot be created in the working directory: Permission denied"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Error opening for writing plot.sfp: Permission denied"),
              std::string::npos)
        << r.out;
}

// With --sync the copy is on the disk before the site file is first
// written, and the site file before the copy goes. The copy is as private as the site
// file and opened once.
TEST(Sync, SyncsInTheSafeOrderWithAPrivateCopy) {
    if (std::system("command -v strace >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    write_usual_site(dir, "plot");
    chmod(dir.file("plot.sfp").c_str(), 0600);
    const std::string command = "cd '" + dir.path() +
                                "' && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o trace.txt -e "
                                "trace=openat,dup,write,pwrite64,fsync,unlink " +
                                SITEPREP_BIN + " --sync sites.txt >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream trace(dir.file("trace.txt"));
    const std::regex copy_open(
        R"(openat\(.*"XXXX\.sfp", O_RDWR\|O_CREAT\|O_EXCL.*, 0600\)\s*= (\d+))");
    const std::regex site_open(R"(openat\(.*"plot\.sfp", O_RDWR.*\)\s*= (\d+))");
    const std::regex dup(R"(dup\((\d+)\)\s*= (\d+))");
    const std::regex write(R"(write(?:64)?\((\d+),)");
    const std::regex sync(R"(fsync\((\d+)\)\s*= 0)");
    std::string events, copy_fd;
    std::set<std::string> site_fds;
    const auto add = [&events](const std::string &event) {
        if (events.size() < event.size() || events.substr(events.size() - event.size()) != event)
            events += event; // a run of writes counts once
    };
    for (std::string line; std::getline(trace, line);) {
        std::smatch m;
        if (line.find("XXXX.sfp") != std::string::npos &&
            line.find("openat") != std::string::npos) {
            ASSERT_TRUE(std::regex_search(line, m, copy_open)) << line;
            copy_fd = m[1];
            add("copy ");
        } else if (std::regex_search(line, m, site_open)) {
            site_fds = {m[1]};
        } else if (std::regex_search(line, m, dup) && site_fds.count(m[1])) {
            site_fds.insert(m[2]);
        } else if (std::regex_search(line, m, write) && site_fds.count(m[1])) {
            add("write-site ");
        } else if (std::regex_search(line, m, sync)) {
            add(m[1] == copy_fd ? "sync-copy " : site_fds.count(m[1]) ? "sync-site " : "sync-? ");
        } else if (line.find("unlink(\"XXXX.sfp\")") != std::string::npos) {
            add("unlink ");
        }
    }
    // One rewrite: the keys and the block together.
    EXPECT_EQ(events, "copy sync-copy write-site sync-site unlink ");
}

} // namespace
