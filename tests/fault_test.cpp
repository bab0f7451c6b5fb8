// Fault injection: the tool under a file-size limit at every point of its
// writes, and on missing, unreadable and wrong-kind inputs. Whatever fails,
// every site file must be whole: as before the failing step, or rewritten.
#include "batch_builder.h"
#include "rewrite.h"
#include "tool_runner.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char *const sites[] = {"alpha", "data/beta", "gamma"};

std::string daily_lines(int years, float base) {
    return daily_file({2000, years, 4}, [base](int year, int m, int d, int) {
        const int y = year - 2000;
        return std::to_string(d) + " " + std::to_string(m) + " " + std::to_string(year) + " 1 " +
               std::to_string(base + static_cast<float>(m + y)) + " " +
               std::to_string(base - 10.0f) + " " + std::to_string(0.5f * d) + "\n";
    });
}

// Three sites; beta's file is long enough to take several write calls.
void write_batch(const scratch_dir &dir) {
    dir.write("sites.txt", "alpha 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n"
                           "data/beta -12.0 30.5 0.65 0.25 0.10 1.3 0.5 12 200\n"
                           "gamma 10 20 0.2 0.3 0.5 1.3 0.5 9 5\n");
    std::string long_tail;
    for (int i = 0; i < 60; ++i)
        long_tail += "0.5 'OTHER(" + std::to_string(i) + ")' a parameter the tool leaves alone\n";
    dir.write("alpha.sfp", site_file_with_tail("1 SITLAT\n2 SITLNG\n"));
    dir.write("data/beta.sfp", site_file_with_tail("1 NLAYER\n" + long_tail + "1 ELEV\n"));
    dir.write("gamma.sfp", site_file_with_tail("3 ELEV\n"));
    dir.write("alpha.wth", daily_lines(2, 10.0f));
    dir.write("data/beta.wth", daily_lines(3, 20.0f));
    dir.write("gamma.wth", daily_lines(1, 5.0f));
}

// The whole states a site file may be in: before the run, after the site
// keys, after the weather block.
struct site_states {
    std::string original, keyed, final;
};

std::map<std::string, site_states> batch_states() {
    std::map<std::string, site_states> states;
    scratch_dir dir;
    write_batch(dir);
    for (const char *s : sites)
        states[s].original = dir.read(std::string(s) + ".sfp");
    // Without the daily files the run stops after the first site's keys.
    for (const char *s : sites) {
        scratch_dir keyed;
        write_batch(keyed);
        keyed.write("sites.txt", keyed.read("sites.txt")); // unchanged
        fs::remove(keyed.file(std::string(s) + ".wth"));
        run_tool(keyed.path(), {"sites.txt"});
        states[s].keyed = keyed.read(std::string(s) + ".sfp");
    }
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 0) << r.out;
    for (const char *s : sites)
        states[s].final = dir.read(std::string(s) + ".sfp");
    return states;
}

size_t largest_file(const scratch_dir &dir) {
    size_t largest = 0;
    for (const auto &[name, content] : dir.snapshot())
        largest = std::max(largest, content.size());
    return largest;
}

TEST(FaultInjection, EveryWriteFailureLeavesWholeFiles) {
    const auto states = batch_states();
    size_t largest = 0;
    {
        scratch_dir dir;
        write_batch(dir);
        run_tool(dir.path(), {"sites.txt"});
        largest = largest_file(dir);
    }
    // Every byte offset up to past the largest file: each write call of the
    // run fails once, at each of its positions. SITEPREP_FAULT_STEP thins
    // the sweep for slow (sanitizer) builds.
    const char *step_env = std::getenv("SITEPREP_FAULT_STEP");
    const long step = step_env ? std::max(1L, std::atol(step_env)) : 1;
    int runs = 0, failures = 0, kept_copies = 0;
    for (long limit = 0; limit <= static_cast<long>(largest) + 64; limit += step) {
        scratch_dir dir;
        write_batch(dir);
        const std::string list = dir.read("sites.txt");
        tool_result r = run_tool(dir.path(), {"sites.txt"}, limit);
        ++runs;
        ASSERT_TRUE(r.status == 0 || r.status == 1) << "limit " << limit << ": " << r.status;
        const bool copy_kept = r.out.find("XXXX.sfp holds the content") != std::string::npos;
        if (r.status == 1) {
            ++failures;
            EXPECT_NE(r.out.find("Error "), std::string::npos) << "limit " << limit;
            // The failure names the file it could not write.
            const size_t reason = r.out.find(": File too large\n");
            ASSERT_NE(reason, std::string::npos) << "limit " << limit << ": " << r.out;
            const std::string line =
                r.out.substr(r.out.rfind('\n', reason) + 1, reason - r.out.rfind('\n', reason));
            EXPECT_TRUE(line.find("soils.in") != std::string::npos ||
                        line.find(".sfp") != std::string::npos)
                << "limit " << limit << ": " << r.out;
        }
        ASSERT_EQ(dir.exists("XXXX.sfp"), copy_kept) << "limit " << limit << ": " << r.out;
        kept_copies += copy_kept;
        EXPECT_EQ(dir.read("sites.txt"), list);
        for (const char *s : sites) {
            const site_states &st = states.at(s);
            const std::string now = dir.read(std::string(s) + ".sfp");
            const bool whole = now == st.original || now == st.keyed || now == st.final;
            if (!whole && copy_kept) {
                const std::string kept = dir.read("XXXX.sfp");
                EXPECT_TRUE(kept == st.original || kept == st.keyed) << "limit " << limit;
                continue;
            }
            EXPECT_TRUE(whole) << "limit " << limit << ", site " << s << ": " << r.out;
        }
        if (r.status == 0) {
            for (const char *s : sites)
                EXPECT_EQ(dir.read(std::string(s) + ".sfp"), states.at(s).final);
        }
    }
    EXPECT_GT(failures, 0);
    std::printf("fault points tried: %d distinct limits (%d failed runs, %d kept copies)\n", runs,
                failures, kept_copies);
}

// ---- wrong inputs ----

struct input_case {
    const char *what;
    void (*arrange)(const scratch_dir &);
    const char *expected_out;  // a part of standard output
    bool keys_written = false; // the failure comes after alpha's site keys
};

void PrintTo(const input_case &c, std::ostream *os) {
    *os << c.what;
}

void site_list_is_directory(const scratch_dir &d) {
    fs::remove(d.file("sites.txt"));
    fs::create_directory(d.file("sites.txt"));
}
void site_file_is_directory(const scratch_dir &d) {
    fs::remove(d.file("alpha.sfp"));
    fs::create_directory(d.file("alpha.sfp"));
}
void weather_file_is_directory(const scratch_dir &d) {
    fs::remove(d.file("alpha.wth"));
    fs::create_directory(d.file("alpha.wth"));
}
void soil_file_is_directory(const scratch_dir &d) {
    fs::create_directory(d.file("soils.in"));
}
void site_file_dangling_link(const scratch_dir &d) {
    fs::remove(d.file("alpha.sfp"));
    fs::create_symlink("gone.sfp", d.file("alpha.sfp"));
}
void weather_file_dangling_link(const scratch_dir &d) {
    fs::remove(d.file("alpha.wth"));
    fs::create_symlink("gone.wth", d.file("alpha.wth"));
}
void site_name_too_long(const scratch_dir &d) {
    d.write("sites.txt", std::string(300, 'n') + " 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n");
}
void site_file_unreadable(const scratch_dir &d) {
    fs::permissions(d.file("alpha.sfp"), fs::perms::none);
}
void work_dir_read_only(const scratch_dir &d) {
    fs::permissions(d.path(), fs::perms::owner_read | fs::perms::owner_exec);
}

class WrongInput : public ::testing::TestWithParam<input_case> {};

TEST_P(WrongInput, IsReportedAndLosesNothing) {
    const input_case &c = GetParam();
    const bool needs_permissions =
        c.arrange == site_file_unreadable || c.arrange == work_dir_read_only;
    scratch_dir dir;
    write_batch(dir);
    if (needs_permissions && !hand_to_unprivileged_user(dir))
        GTEST_SKIP() << "no unprivileged user can run the tool here";
    c.arrange(dir);
    auto before = dir.snapshot();
    tool_result r = run_tool(dir.path(), {"sites.txt"}, -1, needs_permissions);
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_NE(r.out.find(c.expected_out), std::string::npos) << c.what << ": " << r.out;
    fs::permissions(dir.path(), fs::perms::owner_all, fs::perm_options::add);
    // Only soils.in may have been written; every other file is as it was.
    auto after = dir.snapshot();
    auto written = [&c](const auto &f) {
        return f.first == "soils.in" || (c.keys_written && f.first == "alpha.sfp");
    };
    std::erase_if(before, written);
    std::erase_if(after, written);
    EXPECT_EQ(after, before) << c.what;
    if (c.keys_written) {
        EXPECT_NE(dir.read("alpha.sfp").find("41.5000           SITLAT    \n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrongInput,
    ::testing::Values(
        input_case{"site_list_is_directory", site_list_is_directory,
                   "Error opening data input file!\nsites.txt: Is a directory\n"},
        input_case{"site_file_is_directory", site_file_is_directory,
                   "Error opening <alpha>.sfp file!\nalpha.sfp: Is a directory\n"},
        input_case{"weather_file_is_directory", weather_file_is_directory,
                   "Error opening weather data file for alpha site!\nalpha.wth: Is a directory\n",
                   true},
        input_case{"soil_file_is_directory", soil_file_is_directory,
                   "Error opening soils.in file for alpha!\nsoils.in: Is a directory\n"},
        input_case{"site_file_dangling_link", site_file_dangling_link,
                   "Error opening <alpha>.sfp file!\nalpha.sfp: No such file or directory\n"},
        input_case{"weather_file_dangling_link", weather_file_dangling_link,
                   "alpha.wth: No such file or directory\n", true},
        input_case{"site_name_too_long", site_name_too_long, ".sfp: File name too long\n"},
        input_case{"site_file_unreadable", site_file_unreadable, "alpha.sfp: Permission denied\n"},
        input_case{"work_dir_read_only", work_dir_read_only, "soils.in: Permission denied\n"}),
    [](const ::testing::TestParamInfo<input_case> &info) { return info.param.what; });

} // namespace

namespace {

// Restores site_file in the scratch directory; what it printed.
std::string restore_in(const scratch_dir &dir, const char *site_file) {
    const fs::path back = fs::current_path();
    fs::current_path(dir.path());
    rewrite rw;
    rw.site_file = site_file;
    rw.temp = "XXXX.sfp";
    rw.site_fd = open(site_file, O_RDWR);
    rw.write_errno = rw.site_fd < 0 ? errno : 0;
    rw.copy_fd = open("XXXX.sfp", O_RDWR);
    rw.content = dir.read("XXXX.sfp");
    bool kept = false;
    std::string out = restore_site_file(rw, kept) + "\n";
    if (rw.site_fd >= 0)
        close(rw.site_fd);
    fs::current_path(back);
    return out;
}

TEST(Restore, KeepsTheCopyWhenTheSiteFileCannotBeWritten) {
    scratch_dir dir;
    dir.write("XXXX.sfp", "the original content\n");
    fs::create_directory(dir.file("plot.sfp")); // cannot be opened for writing
    const std::string out = restore_in(dir, "plot.sfp");
    EXPECT_EQ(out, "Error restoring plot.sfp: Is a directory\n"
                   "XXXX.sfp holds the content plot.sfp had before this step: copy it back to "
                   "plot.sfp, then remove XXXX.sfp before running again.\n");
    EXPECT_EQ(dir.read("XXXX.sfp"), "the original content\n");
}

TEST(Restore, CopiesTheOriginalBackAndRemovesTheCopy) {
    scratch_dir dir;
    dir.write("XXXX.sfp", "the original content\n");
    dir.write("plot.sfp", "half of the new");
    const std::string out = restore_in(dir, "plot.sfp");
    EXPECT_EQ(out, "plot.sfp was restored to its content before this step.\n");
    EXPECT_EQ(dir.read("plot.sfp"), "the original content\n");
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

// A copy kept because even its restore failed holds the only intact content
// of a site file: with --keep-going too the run stops there, and no later
// site is touched. strace fails the site file's write and then the
// restore's (the first write over a file in place is soils.in's).
TEST(KeepGoing, AKeptCopyStopsTheRun) {
    if (std::system("command -v strace >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";
    scratch_dir dir;
    write_batch(dir);
    const std::string alpha = dir.read("alpha.sfp");
    auto before = dir.snapshot();
    const std::string command = "cd '" + dir.path() +
                                "' && strace -f -qq -o /dev/null -e trace=pwrite64 -e "
                                "inject=pwrite64:error=EIO:when=2..3 " +
                                SITEPREP_BIN + " --keep-going --jobs 1 sites.txt > out.txt";
    const int status = std::system(command.c_str());
    const std::string out = dir.read("out.txt");
    EXPECT_EQ(WEXITSTATUS(status), 1) << out;
    EXPECT_NE(out.find("Error restoring alpha.sfp: Input/output error\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("Stopped at sites.txt line 1: Error writing alpha.sfp: Input/output error; "
                       "no further site can run safely.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("beta"), std::string::npos) << out;
    EXPECT_EQ(dir.read("XXXX.sfp"), alpha);
    auto after = dir.snapshot();
    for (auto *files : {&before, &after})
        std::erase_if(*files, [](const auto &f) {
            return f.first == "alpha.sfp" || f.first == "soils.in" || f.first == "XXXX.sfp" ||
                   f.first == "out.txt";
        });
    EXPECT_EQ(after, before) << "a later site was touched";
}

} // namespace
