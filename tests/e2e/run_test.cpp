// Runs of a batch end to end: what the run refuses or fails on loses no file
// (and the check reports it first), two runs on one site, syncing, going on
// past a failed site, kept soil files, the progress line, reading ahead on
// threads and site files written over in place.
#include "data.h"
#include "table.h"

#include <cerrno>
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

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// ---- refused or failed before anything is lost ----

// What a run may have written when it stops: nothing, soils.in, or soils.in
// and plot's site keys (it fails after them, as for a missing daily file).
enum class writes { nothing, soil_file, soil_file_and_keys };

struct refusal_case {
    const char *what;
    std::function<void(const scratch_dir &)> arrange;
    const char *message; // a part of what the run says, and the check where it checks
    writes run_writes = writes::nothing;
    std::vector<std::string> args = {"sites.txt"}; // the site list last
    bool checked = true;                           // the check says it too, writing nothing
    bool permissions = false; // it takes permissions away: as the user nobody under root
    // The run's output is shorter: a message is a short line, whatever the
    // line or file it is about.
    size_t most_out = 400;
    // The failures the run (and the check) meet in the seam: a permission
    // lost without taking it away.
    std::vector<seam_fault> faults = {};
};

TABLE_TEST(Refusal, refusal_case);

// Two usual sites, plot and later, listed in sites.txt.
void write_batch(const scratch_dir &dir, const std::string &list = "sites.txt") {
    dir.write(list, site_row("plot") + site_row("later"));
    write_usual_site(dir, "plot");
    write_usual_site(dir, "later");
}

std::vector<std::string> with_check(std::vector<std::string> args) {
    args.insert(args.begin(), "--check");
    return args;
}

TEST_P(Refusal, LosesNothing) {
    const refusal_case &c = GetParam();
    scratch_dir dir;
    write_batch(dir);
    if (c.permissions && !hand_to_unprivileged_user(dir))
        GTEST_SKIP() << "no unprivileged user can run the tool here";
    c.arrange(dir);
    if (IsSkipped())
        return;
    auto before = dir.snapshot();
    if (c.checked) {
        const tool_result check = run_tool(dir.path(), with_check(c.args), {.faults = c.faults});
        EXPECT_EQ(check.status, 1);
        EXPECT_TRUE(has(check.out, c.message)) << check.out;
        EXPECT_EQ(dir.snapshot(), before);
    }
    const tool_result run =
        run_tool(dir.path(), c.args, {.unprivileged = c.permissions, .faults = c.faults});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(has(run.out, c.message)) << run.out;
    EXPECT_LT(run.out.size(), c.most_out) << "a message is a short line";
    fs::permissions(dir.path(), fs::perms::owner_all, fs::perm_options::add);
    auto after = dir.snapshot();
    const auto written = [&c](const auto &f) {
        return (c.run_writes != writes::nothing && f.first == "soils.in") ||
               (c.run_writes == writes::soil_file_and_keys && f.first == "plot.sfp");
    };
    std::erase_if(before, written);
    std::erase_if(after, written);
    EXPECT_EQ(after, before);
    if (c.run_writes == writes::soil_file_and_keys) {
        EXPECT_EQ(dir.read("plot.sfp"), site_file("1530.0000         ELEV      \n"));
    }
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

void nothing(const scratch_dir &) {}
// A fill's record of plot, with no day filled.
void write_fill_record(const scratch_dir &d) {
    d.write("plot.fill.csv", "date,quantity,value,method,source,adjustment\r\n");
}

void replace_by_directory(const scratch_dir &d, const std::string &name) {
    fs::remove(d.file(name));
    fs::create_directory(d.file(name));
}

void replace_by_link(const scratch_dir &d, const std::string &name, const std::string &to) {
    fs::remove(d.file(name));
    fs::create_symlink(to, d.file(name));
}

// Outputs that would destroy a file of the batch.
INSTANTIATE_TEST_SUITE_P(
    Outputs, Refusal,
    ::testing::Values(
        refusal_case{
            .what = "summary_onto_site_list",
            .arrange = nothing,
            .message = "The site list is sites.txt: writing the --summary file would destroy it.",
            .args = {"--summary", "sites.txt", "sites.txt"}},
        refusal_case{
            .what = "summary_onto_a_list_without_sites",
            .arrange = [](const scratch_dir &d) { d.write("sites.txt", "\n"); },
            .message = "The site list is sites.txt: writing the --summary file would destroy it.",
            .args = {"--summary", "sites.txt", "sites.txt"}},
        refusal_case{.what = "report_onto_site_file",
                     .arrange = nothing,
                     .message = "plot.sfp is the site parameter file of sites.txt line 1 and the "
                                "--report file at once",
                     .args = {"--report", "plot.sfp", "sites.txt"}},
        refusal_case{
            .what = "summary_through_a_link_onto_weather_file",
            .arrange =
                [](const scratch_dir &d) { fs::create_symlink("plot.wth", d.file("out.csv")); },
            .message = "out.csv is the same file as plot.wth: writing the --summary file "
                       "would destroy the daily weather file of sites.txt line 1.",
            .args = {"--summary", "out.csv", "sites.txt"}},
        refusal_case{.what = "summary_onto_soil_file",
                     .arrange = nothing,
                     .message = "soils.in is the --summary file and the soil layer file at once",
                     .args = {"--summary", "soils.in", "sites.txt"}},
        refusal_case{.what = "report_onto_temp_copy",
                     .arrange = nothing,
                     .message = "XXXX.sfp is the --report file and the temporary copy at once",
                     .args = {"--report", "XXXX.sfp", "sites.txt"}},
        refusal_case{.what = "summary_and_report_one_file",
                     .arrange = nothing,
                     .message = "a.out is the --report file and the --summary file at once",
                     .args = {"--summary", "a.out", "--report", "a.out", "sites.txt"}},
        refusal_case{.what = "monthly_onto_a_fill_record",
                     .arrange = write_fill_record,
                     .message = "plot.fill.csv is the fill's record of sites.txt line 1 and the "
                                "--monthly file at once",
                     .args = {"--monthly", "plot.fill.csv", "sites.txt"}},
        refusal_case{.what = "report_onto_the_stations_table",
                     .arrange = [](const scratch_dir &d) { d.write("stations.csv", "name\r\n"); },
                     .message = "stations.csv is the stations table and the --report file at once",
                     .args = {"--report", "stations.csv", "sites.txt"}},
        refusal_case{.what = "report_onto_a_fill_record",
                     .arrange = write_fill_record,
                     .message = "plot.fill.csv is the fill's record of sites.txt line 1 and the "
                                "--report file at once",
                     .args = {"--report", "plot.fill.csv", "sites.txt"}},
        refusal_case{.what = "monthly_and_summary_one_file",
                     .arrange = nothing,
                     .message = "m.csv is the --monthly file and the --summary file at once",
                     .args = {"--summary", "m.csv", "--monthly", "m.csv", "sites.txt"}},
        refusal_case{.what = "keep_soils_onto_site_list",
                     .arrange = [](const scratch_dir &d) { write_batch(d, "plot.soils.in"); },
                     .message = "The site list is plot.soils.in: writing the --keep-soils file of "
                                "plot.soils.in line 1 would destroy it.",
                     .args = {"--keep-soils", "plot.soils.in"}},
        refusal_case{.what = "link_planted_in_a_shared_directory",
                     .arrange =
                         [](const scratch_dir &d) {
                             d.write("victim", "precious\n");
                             fs::create_symlink("victim", d.file("soils.in"));
                             // Made by another user in a sticky directory open to all.
                             if (lchown(d.file("soils.in").c_str(), 12345, 12345) != 0 ||
                                 chmod(d.path().c_str(), 01777) != 0)
                                 GTEST_SKIP() << "needs root to give the link to another user";
                         },
                     .message = "soils.in is a symbolic link that another user made in a shared "
                                "directory"}),
    case_name<refusal_case>);

// Files of the batch that are one file, or no file to read or write.
INSTANTIATE_TEST_SUITE_P(
    Inputs, Refusal,
    ::testing::Values(
        refusal_case{.what = "site_file_is_another_sites_weather_file",
                     .arrange =
                         [](const scratch_dir &d) {
                             d.write("sites.txt", site_row("plot") + site_row("other"));
                             d.write("other.sfp", site_file(""));
                             fs::create_hard_link(d.file("plot.sfp"), d.file("other.wth"));
                         },
                     .message = "plot.sfp is the same file as other.wth: rewriting the site "
                                "parameter file of sites.txt line 1 would destroy the daily "
                                "weather file of sites.txt line 2."},
        refusal_case{.what = "site_list_is_a_site_file",
                     .arrange = [](const scratch_dir &d) { d.write("plot.sfp", site_row("plot")); },
                     .message = "The site list is plot.sfp: rewriting the site parameter file of "
                                "plot.sfp line 1 would destroy it.",
                     .args = {"plot.sfp"}},
        refusal_case{.what = "soil_file_linked_to_site_file",
                     .arrange =
                         [](const scratch_dir &d) {
                             fs::create_hard_link(d.file("plot.sfp"), d.file("soils.in"));
                         },
                     .message = "soils.in is the same file as plot.sfp"},
        refusal_case{
            .what = "soil_file_linked_to_weather_file",
            .arrange =
                [](const scratch_dir &d) { fs::create_symlink("plot.wth", d.file("soils.in")); },
            .message = "soils.in is the same file as plot.wth"},
        refusal_case{.what = "weather_is_fifo",
                     .arrange =
                         [](const scratch_dir &d) {
                             fs::remove(d.file("plot.wth"));
                             mkfifo(d.file("plot.wth").c_str(), 0644);
                         },
                     .message = "plot.wth: not a regular file",
                     .run_writes = writes::soil_file_and_keys},
        refusal_case{
            .what = "weather_is_device",
            .arrange = [](const scratch_dir &d) { replace_by_link(d, "plot.wth", "/dev/zero"); },
            .message = "plot.wth: not a regular file",
            .run_writes = writes::soil_file_and_keys},
        refusal_case{
            .what = "weather_is_its_site_file",
            .arrange = [](const scratch_dir &d) { replace_by_link(d, "plot.wth", "plot.sfp"); },
            .message = "plot.wth: the same file as the site parameter file",
            .run_writes = writes::soil_file_and_keys},
        refusal_case{.what = "site_list_is_directory",
                     .arrange = [](const scratch_dir &d) { replace_by_directory(d, "sites.txt"); },
                     .message = "Error opening data input file!\nsites.txt: Is a directory\n",
                     .checked = false},
        refusal_case{.what = "site_file_is_directory",
                     .arrange = [](const scratch_dir &d) { replace_by_directory(d, "plot.sfp"); },
                     .message = "Error opening <plot>.sfp file!\nplot.sfp: Is a directory\n",
                     .run_writes = writes::soil_file,
                     .checked = false},
        refusal_case{.what = "weather_file_is_directory",
                     .arrange = [](const scratch_dir &d) { replace_by_directory(d, "plot.wth"); },
                     .message = "Error opening weather data file for plot site!\nplot.wth: Is a "
                                "directory\n",
                     .run_writes = writes::soil_file_and_keys,
                     .checked = false},
        refusal_case{
            .what = "soil_file_is_directory",
            .arrange = [](const scratch_dir &d) { fs::create_directory(d.file("soils.in")); },
            .message = "Error opening soils.in file for plot!\nsoils.in: Is a directory\n",
            .checked = false},
        refusal_case{
            .what = "site_file_dangling_link",
            .arrange = [](const scratch_dir &d) { replace_by_link(d, "plot.sfp", "gone.sfp"); },
            .message = "Error opening <plot>.sfp file!\nplot.sfp: No such file or "
                       "directory\n",
            .run_writes = writes::soil_file,
            .checked = false},
        refusal_case{
            .what = "weather_file_dangling_link",
            .arrange = [](const scratch_dir &d) { replace_by_link(d, "plot.wth", "gone.wth"); },
            .message = "plot.wth: No such file or directory\n",
            .run_writes = writes::soil_file_and_keys,
            .checked = false},
        refusal_case{
            .what = "site_file_unreadable",
            .arrange =
                [](const scratch_dir &d) { fs::permissions(d.file("plot.sfp"), fs::perms::none); },
            .message = "plot.sfp: Permission denied\n",
            .run_writes = writes::soil_file,
            .checked = false,
            .permissions = true},
        refusal_case{.what = "work_dir_read_only",
                     .arrange =
                         [](const scratch_dir &d) {
                             fs::permissions(d.path(),
                                             fs::perms::owner_read | fs::perms::owner_exec);
                         },
                     .message = "soils.in: Permission denied\n",
                     .checked = false,
                     .permissions = true},
        // The same two through the seam, as any user.
        refusal_case{.what = "site_file_unreadable_in_the_seam",
                     .arrange = nothing,
                     .message = "plot.sfp: Permission denied\n",
                     .run_writes = writes::soil_file,
                     .checked = false,
                     .faults = {{.call = "open", .file = "plot.sfp", .times = 2, .err = EACCES}}},
        refusal_case{.what = "soil_file_not_creatable_in_the_seam",
                     .arrange = nothing,
                     .message = "soils.in: Permission denied\n",
                     .checked = false,
                     .faults = {{.call = "open", .file = "soils.in", .err = EACCES}}}),
    case_name<refusal_case>);

// Lines and names no run can take.
INSTANTIATE_TEST_SUITE_P(
    Lines, Refusal,
    ::testing::Values(
        refusal_case{.what = "latitude_not_a_number",
                     .arrange =
                         [](const scratch_dir &d) {
                             d.write("sites.txt", "plot nan -105.25 40 40 20 1.3 0.5 3 1530\n");
                         },
                     .message = "sites.txt line 1: field 2 (latitude) is not a finite number: "
                                "\"nan\""},
        refusal_case{.what = "elevation_beyond_a_float",
                     .arrange =
                         [](const scratch_dir &d) {
                             d.write("sites.txt", "plot 41.5 -105.25 40 40 20 1.3 0.5 3 1e39\n");
                         },
                     .message = "sites.txt line 1: field 10 (elevation) is not a finite number: "
                                "\"1e39\""},
        refusal_case{.what = "nul_in_site_name",
                     .arrange =
                         [](const scratch_dir &d) {
                             d.write("victim.txt", "precious\n");
                             d.write("sites.txt", site_row(std::string("victim.txt\0", 11)));
                         },
                     .message = "line 1: NUL byte at column 11"},
        refusal_case{.what = "nul_cuts_weather_name",
                     .arrange =
                         [](const scratch_dir &d) {
                             d.write("sites.txt",
                                     site_row(std::string("plot.wth\0x", 10)) + site_row("plot"));
                         },
                     .message = "line 1: NUL byte at column 9"},
        refusal_case{.what = "long_daily_line",
                     .arrange =
                         [](const scratch_dir &d) {
                             d.write("plot.wth",
                                     "1 1 2001 1 20 5 " + std::string(70000, '1') + "\n");
                         },
                     .message = "plot.wth line 1: line longer than 65536 bytes",
                     .run_writes = writes::soil_file_and_keys},
        refusal_case{.what = "long_site_list_line",
                     .arrange =
                         [](const scratch_dir &d) {
                             d.write("sites.txt",
                                     site_row("plot") + std::string(1100000, 'x') + "\n");
                         },
                     .message = "sites.txt line 2: line longer than 1048576 bytes"},
        refusal_case{.what = "long_site_file_line",
                     .arrange =
                         [](const scratch_dir &d) {
                             d.write("plot.sfp", "head\n" + std::string(1100000, 'x') + "\n");
                         },
                     .message = "plot.sfp line 2: line longer than 1048576 bytes",
                     .run_writes = writes::soil_file},
        refusal_case{
            .what = "site_name_too_long",
            .arrange =
                [](const scratch_dir &d) { d.write("sites.txt", site_row(std::string(300, 'n'))); },
            .message = ".sfp: File name too long\n",
            .run_writes = writes::soil_file,
            .checked = false,
            .most_out = 700}), // the name, twice
    case_name<refusal_case>);

// ---- failures while a site file is written ----

TEST(Failure, WriteFailureRestoresTheSiteFile) {
    scratch_dir dir;
    std::string tail;
    for (int i = 0; i < 60; ++i)
        tail += "1 SITLAT\n";
    const std::string original = site_file(tail);
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.sfp", original);
    dir.write("plot.wth", "1 1 2000 1 10.0 -2.0 0.5\n");
    // The copy fits under the limit; the rewrite, with longer lines, does not.
    const tool_result r = run_tool(dir.path(), {"sites.txt"},
                                   {.file_size_limit = static_cast<long>(original.size()) + 100});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.out, "Error writing plot.sfp: File too large\n")) << r.out;
    EXPECT_TRUE(has(r.out, "plot.sfp was restored to its content before this step.\n")) << r.out;
    EXPECT_EQ(dir.read("plot.sfp"), original);
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

// A site file the run may read but not write: taken away (as the user
// nobody under root), or refused in the seam.
TEST(Failure, UnwritableSiteFileIsLeftAsItWas) {
    for (const bool seam : {false, true}) {
        scratch_dir dir;
        dir.write("sites.txt", site_row("plot"));
        dir.write("plot.sfp", site_file("1 SITLAT\n"));
        dir.write("plot.wth", "1 1 2000 1 10.0 -2.0 0.5\n");
        run_setup setup = {.faults = {{.call = "open", .file = "plot.sfp", .err = EACCES}}};
        if (!seam) {
            if (!hand_to_unprivileged_user(dir))
                continue; // no unprivileged user can run the tool here
            chmod(dir.file("plot.sfp").c_str(), 0444);
            setup = {.unprivileged = true};
        }
        const tool_result r = run_tool(dir.path(), {"sites.txt"}, setup);
        EXPECT_EQ(r.status, 1) << seam;
        EXPECT_TRUE(has(r.out, "Error opening for writing plot.sfp: Permission denied")) << r.out;
        EXPECT_EQ(dir.read("plot.sfp"), site_file("1 SITLAT\n")) << seam;
        EXPECT_FALSE(dir.exists("XXXX.sfp")) << seam;
    }
}

// ---- two runs on one site ----

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
    EXPECT_EQ(dir.read("plot.sfp"), site_file("1 ELEV\n")) << "written under the lock";
    close(fd);
    run.join();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Waiting for plot.sfp: another run is rewriting it.\n", 0), 0u) << r.out;
}

// With --sync the copy is on the disk before the site file is first
// written, and the site file before the copy goes; the copy is opened once
// (its privacy: KeptCopy). The seam traces the calls.
TEST(Sync, SyncsInTheSafeOrderWithAPrivateCopy) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    write_usual_site(dir, "plot");
    const tool_result r =
        run_tool(dir.path(), {"--sync", "sites.txt"}, {.trace = dir.file("trace.txt")});
    ASSERT_EQ(r.status, 0) << r.out;
    std::ifstream trace(dir.file("trace.txt"));
    std::string events;
    const auto add = [&events](const std::string &event) {
        if (events.size() < event.size() || events.substr(events.size() - event.size()) != event)
            events += event; // a run of writes counts once
    };
    for (std::string line; std::getline(trace, line);) {
        const std::string call = line.substr(0, line.find(' '));
        const std::string name = line.substr(line.find_last_of(" /") + 1);
        const bool copy = name.rfind("XXXX.sfp", 0) == 0, site = name.rfind("plot.sfp", 0) == 0;
        if (copy && (call == "open" || call == "openat"))
            add("copy ");
        else if (site && (call == "write" || call == "pwrite"))
            add("write-site ");
        else if (call == "fsync")
            add(copy ? "sync-copy " : site ? "sync-site " : "sync-? ");
        else if (copy && call == "unlink")
            add("unlink ");
    }
    // One rewrite: the keys and the block together.
    EXPECT_EQ(events, "copy sync-copy write-site sync-site unlink ");
}

// ---- large batches ----

const char *const rows[] = {"one 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n",
                            "two 10 20 0.2 0.3 0.5 1.3 0.5 12 5\n",
                            "data/three -12 30.5 0.65 0.25 0.10 1.3 0.5 1 200\n"};
const char *const names[] = {"one", "two", "data/three"};

void write_three_sites(const scratch_dir &dir) {
    dir.write("sites.txt", std::string(rows[0]) + rows[1] + rows[2]);
    for (const char *name : names)
        write_usual_site(dir, name);
}

// The site files of each site as a run of that site alone leaves them.
std::string alone(int site, const char *file) {
    scratch_dir dir;
    write_three_sites(dir);
    dir.write("sites.txt", rows[site]);
    run_tool(dir.path(), {"sites.txt"});
    return dir.read(file);
}

TEST(KeepGoing, GoesOnPastAFailedSiteAndListsIt) {
    for (bool keep_going : {false, true}) {
        scratch_dir dir;
        write_three_sites(dir);
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
            EXPECT_EQ(dir.read("data/three.sfp"), site_file("1 ELEV\n"));
            EXPECT_EQ(r.out.find("Failed sites"), std::string::npos);
        }
    }
}

TEST(KeepSoils, EachSiteGetsTheRowsSoilsInHeldForIt) {
    scratch_dir dir;
    write_three_sites(dir);
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
    write_three_sites(dir);
    const std::string bin = SITEPREP_BIN;
    ASSERT_EQ(
        run_shell(dir, "script -qec '" + bin + " sites.txt > out.txt' /dev/null > terminal.txt"),
        0);
    EXPECT_TRUE(has(dir.read("terminal.txt"), "0 of 3 sites done, now one"))
        << dir.read("terminal.txt");
    ASSERT_EQ(run_shell(dir, bin + " sites.txt > out2.txt 2> err.txt"), 0);
    EXPECT_EQ(dir.read("err.txt"), "");
    EXPECT_EQ(dir.read("out.txt"), dir.read("out2.txt"));
    EXPECT_EQ(dir.read("out.txt").find('\r'), std::string::npos);
}

TEST(Progress, RunAndCheckKeepTheLastCountInAFile) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("one") + site_row("two"));
    write_usual_site(dir, "one");
    write_usual_site(dir, "two");
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--progress", "sites.txt"},
          std::vector<std::string>{"--check", "--progress", "sites.txt"}}) {
        const tool_result r = run_tool(dir.path(), args);
        EXPECT_EQ(r.status, 0) << args[0] << "\n" << r.out;
        EXPECT_TRUE(std::regex_match(r.err, std::regex("2 of 2 sites done, [0-9]+:[0-9]{2} "
                                                       "elapsed\n")))
            << args[0] << ": " << r.err;
    }
}

TEST(SiteList, FromAPipe) {
    scratch_dir dir;
    write_three_sites(dir);
    EXPECT_EQ(run_shell(dir, std::string("cat sites.txt | ") + SITEPREP_BIN +
                                 " --keep-going --progress /dev/stdin > out.txt 2> err.txt"),
              0);
    EXPECT_EQ(dir.read("data/three.sfp"), alone(2, "data/three.sfp"));
    // Into a file, the last count: the total is known before the first site.
    EXPECT_TRUE(has(dir.read("err.txt"), "3 of 3 sites done"));
}

// ---- the faster ways through a batch give what the plain one gives ----

std::string varied_days(int site) {
    return daily_file({.days_a_month = 3}, [site](const file_day &d) {
        return std::to_string(10 + site + d.month) + ".5 " + std::to_string(d.month - site) +
               ".25 " + std::to_string(d.day * site % 7) + ".1";
    });
}

// Six sites; the fourth's daily file has a bad line, so the run stops there.
void write_six_sites(const scratch_dir &dir) {
    std::string list;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "site" + std::to_string(i);
        list += name + " " + std::to_string(40 + i) + ".5 -100.25 0.4 0.4 0.2 1.3 0.5 3 100\n";
        dir.write(name + ".sfp", site_file("1 SITLAT\n1 ELEV\n"));
        dir.write(name + ".wth", varied_days(i) + (i == 3 ? "1 12 2001 1 1 1 wet\n" : ""));
    }
    dir.write("sites.txt", list);
}

// Also 8 threads asked for where no thread can be created (the main thread
// then does the work alone), and where the limit of open files leaves
// descriptors for few workers.
TEST(Jobs, EveryThreadCountGivesTheSameFilesMessagesAndStatus) {
    std::vector<std::pair<std::string, std::string>> first_files;
    tool_result first;
    const struct {
        const char *what, *jobs;
        run_setup setup;
    } runs[] = {{"1", "1", {}},
                {"2", "2", {}},
                {"8", "8", {}},
                {"8, no thread to be had", "8", {.unprivileged = true, .no_new_threads = true}},
                {"8, no thread to be had in the seam",
                 "8",
                 {.faults = {{.call = "pthread_create", .times = 100, .err = EAGAIN}}}},
                {"1, 6 open files", "1", {.open_files = 6}},
                {"8, 6 open files", "8", {.open_files = 6}}};
    for (const auto &run : runs) {
        scratch_dir dir;
        write_six_sites(dir);
        if (run.setup.unprivileged && !hand_to_unprivileged_user(dir))
            continue;
        const tool_result r = run_tool(dir.path(), {"--jobs", run.jobs, "sites.txt"}, run.setup);
        EXPECT_EQ(r.status, 1) << run.what;
        EXPECT_TRUE(has(r.out, "site3.wth line 37: field 7 is not a number")) << r.out;
        if (first_files.empty()) {
            first_files = dir.snapshot();
            first = r;
            continue;
        }
        EXPECT_EQ(r.out, first.out) << "--jobs " << run.what;
        EXPECT_EQ(r.err, first.err) << "--jobs " << run.what;
        EXPECT_EQ(dir.snapshot(), first_files) << "--jobs " << run.what;
    }
}

// A site file written over in place ends exactly as the new content, whether
// it gets shorter, longer or keeps its length.
TEST(Overwrite, ShorterLongerAndSameLengthFilesEndExactly) {
    const std::string tail = "0.5 'OTHER' a parameter left alone\n";
    scratch_dir reference;
    reference.write("sites.txt", "plot 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n");
    reference.write("plot.sfp", site_file(tail));
    reference.write("plot.wth", varied_days(1));
    ASSERT_EQ(run_tool(reference.path(), {"sites.txt"}).status, 0);
    const std::string result = reference.read("plot.sfp");
    const std::string head = "Site parameters for a test plot\n'header line two'\n";
    std::string long_block, short_block;
    for (int i = 0; i < 60; ++i) {
        long_block += std::string(120, 'o') + "\n";
        short_block += "0\n";
    }
    for (const std::string &before :
         {head + long_block + tail, head + short_block + tail, result}) {
        scratch_dir dir;
        dir.write("sites.txt", reference.read("sites.txt"));
        dir.write("plot.sfp", before);
        dir.write("plot.wth", varied_days(1));
        ASSERT_EQ(run_tool(dir.path(), {"sites.txt"}).status, 0);
        EXPECT_EQ(dir.read("plot.sfp"), result) << "from " << before.size() << " bytes";
    }
}

} // namespace
