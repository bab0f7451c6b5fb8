// Limits and faults: the tool under a file-size limit at every point of its
// writes (whatever fails, every site file must be whole: as before the
// failing step, or rewritten), a write that fails and whose restore fails
// too, little memory, signals while files are written, an append-only site
// file; each fails cleanly.
#include "data.h"
#include "table.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

const char *const sites[] = {"alpha", "data/beta", "gamma"};

std::string daily_lines(int years, float base) {
    return daily_file({.first_year = 2000, .years = years, .days_a_month = 4},
                      [base](const file_day &d) {
                          const int y = d.year - 2000;
                          return std::to_string(base + static_cast<float>(d.month + y)) + " " +
                                 std::to_string(base - 10.0f) + " " +
                                 std::to_string(0.5f * static_cast<float>(d.day));
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
    dir.write("alpha.sfp", site_file("1 SITLAT\n2 SITLNG\n"));
    dir.write("data/beta.sfp", site_file("1 NLAYER\n" + long_tail + "1 ELEV\n"));
    dir.write("gamma.sfp", site_file("3 ELEV\n"));
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
        tool_result r = run_tool(dir.path(), {"sites.txt"}, {.file_size_limit = limit});
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

// A copy kept because even its restore failed holds the only intact content
// of a site file: with --keep-going too the run stops there, and no later
// site is touched. The seam fails the site file's write and then the
// restore's.
TEST(KeepGoing, AKeptCopyStopsTheRun) {
    scratch_dir dir;
    write_batch(dir);
    const std::string alpha = dir.read("alpha.sfp");
    auto before = dir.snapshot();
    const tool_result r =
        run_tool(dir.path(), {"--keep-going", "--jobs", "1", "sites.txt"},
                 {.faults = {{.call = "pwrite", .file = "alpha.sfp", .times = 2, .err = EIO}}});
    const std::string &out = r.out;
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_TRUE(has(out, "Error restoring alpha.sfp: Input/output error\n")) << out;
    EXPECT_TRUE(has(out, "Stopped at sites.txt line 1: Error writing alpha.sfp: Input/output "
                         "error; no further site can run safely.\n"))
        << out;
    EXPECT_EQ(out.find("beta"), std::string::npos) << out;
    EXPECT_EQ(dir.read("XXXX.sfp"), alpha);
    auto after = dir.snapshot();
    for (auto *files : {&before, &after})
        std::erase_if(*files, [](const auto &f) {
            return f.first == "alpha.sfp" || f.first == "soils.in" || f.first == "XXXX.sfp";
        });
    EXPECT_EQ(after, before) << "a later site was touched";
}

// ---- limits and leftovers ----

struct limit_case {
    const char *what;
    std::function<bool(const scratch_dir &)> arrange; // false: not possible here
    // Run in the batch's directory; $T: the tool, $F: its build on the
    // seam's test build (seam_faults_setting plans its faults).
    std::string command;
    int status;
    const char *out;  // a part of standard output
    const char *gone; // no file whose name starts so is left
};

TABLE_TEST(Limits, limit_case);

// A batch of one site, plot, listed in sites.txt.
void write_plot(const scratch_dir &dir) {
    dir.write("sites.txt", site_row("plot"));
    write_usual_site(dir, "plot");
}

// Each limit fails cleanly: the message and status, and nothing left over.
TEST_P(Limits, FailCleanly) {
    const limit_case &c = GetParam();
    scratch_dir dir;
    write_plot(dir);
    if (!c.arrange(dir))
        GTEST_SKIP() << "not possible here";
    std::string command = c.command;
    if (const size_t t = command.find("$T"); t != std::string::npos)
        command.replace(t, 2, SITEPREP_BIN);
    if (const size_t f = command.find("$F"); f != std::string::npos)
        command.replace(f, 2, SITEPREP_FAULTY_BIN);
    const int status = run_shell(dir, command + " > out.txt");
    run_shell(dir, "chattr -a plot.sfp 2>/dev/null");
    EXPECT_EQ(status, c.status) << dir.read("out.txt");
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

bool always(const scratch_dir &) {
    return true;
}

// A command that meets one fault in the seam: $F with the fault planned.
std::string with_fault(const seam_fault &fault, const std::string &args) {
    return seam_faults_setting({fault}) + " $F " + args;
}

INSTANTIATE_TABLE(
    Limits,
    limit_case{"little_memory_for_the_run", long_list, "ulimit -v 32768 && $T --jobs 1 sites.txt",
               1, "Error: Cannot allocate memory; siteprep stopped.\n", "XXXX"},
    limit_case{"little_memory_for_the_check", long_list, "ulimit -v 32768 && $T --check sites.txt",
               1, "Error: Cannot allocate memory; siteprep stopped.\n", "XXXX"},
    // SIGTERM as a temporary file is made: it waits for the rename.
    limit_case{"interrupt_while_a_file_is_written", always,
               with_fault({.call = "fchmod", .signal = SIGTERM}, "--keep-soils sites.txt"), 143, "",
               "plot.soils.in."},
    // A hang-up as the copy is deleted ends the run once the rewrite is
    // done; one the run was started with ignored (nohup) is ignored.
    limit_case{"hang_up_while_a_site_is_rewritten", always,
               with_fault({.call = "unlink", .file = "XXXX.sfp", .signal = SIGHUP}, "sites.txt"),
               129, "", "XXXX"},
    limit_case{
        "hang_up_ignored_from_the_start", always,
        "trap '' HUP && " +
            with_fault({.call = "unlink", .file = "XXXX.sfp", .signal = SIGHUP}, "sites.txt"),
        0, "", "XXXX"},
    // A site file that refuses to be written (append-only, as chattr +a
    // makes it below where root may): the check says so.
    limit_case{"site_file_refusing_writes", always,
               with_fault({.call = "open", .file = "plot.sfp", .err = EPERM}, "--check sites.txt"),
               1, "Error opening for writing plot.sfp: Operation not permitted", "XXXX"},
    limit_case{
        "append_only_site_file",
        [](const scratch_dir &d) { return run_shell(d, "chattr +a plot.sfp 2>/dev/null") == 0; },
        "$T --check sites.txt", 1, "Error opening for writing plot.sfp: Operation not permitted",
        "XXXX"});

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
    const tool_result r =
        run_tool(dir.path(), {"--summary", "s.csv", "--report", "r.html", "sites.txt"},
                 {.memory_bytes = 32L << 20});
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 400) << r.err;
    const std::string csv = dir.read("s.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 12 * 2000) << "every row";
}

} // namespace
