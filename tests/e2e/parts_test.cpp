// What a batch needs on many machines: a list run in parts (--part), the
// fixed files in a scratch directory (--scratch), the failed sites' lines
// written as a site list (--failed), and the kept soil files beside their
// sites.
#include "data.h"

#include <csignal>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Seven sites without daily files, so that each fails, a malformed line and
// blank lines among them: each part's --failed file is that part's lines,
// the list's seven in n near-equal parts in order, the later parts the
// larger; a part of no site fails none, and its run succeeds.
TEST(Part, PartsCoverEverySiteOnceInOrder) {
    std::string list;
    std::vector<std::string> sites;
    for (int i = 1; i <= 7; ++i) {
        sites.push_back(i == 4 ? "not a site line" : site_row("s" + std::to_string(i)));
        sites.back().pop_back();
        list += sites.back() + (i == 2 ? "\n\n  \n" : "\n");
    }
    const struct {
        int n;
        std::vector<std::string> parts;
        const char *last_checked; // what the check of part n/n counts
    } cases[] = {
        {1, {"1234567"}, "7 sites checked"},
        {2, {"123", "4567"}, "4 sites checked"},
        {3, {"12", "34", "567"}, "3 sites checked"},
        {7, {"1", "2", "3", "4", "5", "6", "7"}, "1 site checked"},
        {8, {"", "1", "2", "3", "4", "5", "6", "7"}, "1 site checked"},
    };
    for (const auto &c : cases) {
        scratch_dir dir;
        dir.write("sites.txt", list);
        for (int i = 1; i <= 7; ++i)
            dir.write("s" + std::to_string(i) + ".sfp", site_file("1 ELEV\n"));
        std::vector<std::string> all;
        for (int k = 1; k <= c.n; ++k) {
            const std::string part = std::to_string(k) + "/" + std::to_string(c.n);
            const tool_result r = run_tool(
                dir.path(), {"--part", part, "--keep-going", "--failed", "f.txt", "sites.txt"});
            std::vector<std::string> expected;
            for (const char site : c.parts[static_cast<size_t>(k - 1)])
                expected.push_back(sites[static_cast<size_t>(site - '1')]);
            const std::vector<std::string> got = lines_of(dir.read("f.txt"));
            EXPECT_EQ(got, expected) << part;
            all.insert(all.end(), got.begin(), got.end());
            EXPECT_EQ(r.status, expected.empty() ? 0 : 1) << part;
            // The messages name the list's own line numbers.
            if (c.parts[static_cast<size_t>(k - 1)].find('7') != std::string::npos) {
                EXPECT_NE(r.out.find("sites.txt line 9: s7: "), std::string::npos) << r.out;
            }
        }
        EXPECT_EQ(all, sites) << c.n << " parts";
        // The check takes the same part.
        const std::string last = std::to_string(c.n) + "/" + std::to_string(c.n);
        const tool_result checked = run_tool(dir.path(), {"--check", "--part", last, "sites.txt"});
        EXPECT_NE(checked.out.find(c.last_checked), std::string::npos) << checked.out;
    }
}

// A collision refused by name, touching nothing: each part guards its
// outputs and its sites' files against the files of the whole list, and a
// scratch directory holding a site named XXXX is a collision, never a copy
// to remove (nor is a site named XXXX in the working directory).
TEST(Part, GuardsAgainstTheWholeList) {
    const char *alias =
        "b.sfp is the same file as a.wth: rewriting the site parameter file of "
        "sites.txt line 2 would destroy the daily weather file of sites.txt line 1.";
    const char *xxxx = "data/XXXX.sfp is the site parameter file of x.txt line 1 and the temporary "
                       "copy at once";
    const char *here = "XXXX.sfp is the site parameter file of here.txt line 1 and the temporary "
                       "copy at once";
    const struct {
        std::vector<std::string> args;
        bool alias; // b.sfp a link to a.wth
        const char *said;
    } cases[] = {
        {{"--part", "1/2", "--failed", "b.sfp", "sites.txt"},
         false,
         "b.sfp is the site parameter file of sites.txt line 2 and the --failed file at once"},
        {{"--part", "2/2", "--summary", "a.wth", "sites.txt"},
         false,
         "a.wth is the daily weather file of sites.txt line 1 and the --summary file at once"},
        {{"--part", "1/2", "sites.txt"}, true, alias},
        {{"--part", "2/2", "sites.txt"}, true, alias},
        {{"--check", "--part", "1/2", "sites.txt"}, true, alias},
        {{"--scratch", "data", "x.txt"}, false, xxxx},
        {{"--check", "--scratch", "data", "x.txt"}, false, xxxx},
        {{"here.txt"}, false, here},
        {{"--check", "here.txt"}, false, here},
    };
    for (const auto &c : cases) {
        scratch_dir dir;
        dir.write("sites.txt", site_row("a") + site_row("b"));
        dir.write("x.txt", site_row("data/XXXX"));
        dir.write("here.txt", site_row("XXXX"));
        for (const char *site : {"a", "b", "data/XXXX"})
            write_usual_site(dir, site);
        if (c.said == here)
            write_usual_site(dir, "XXXX");
        if (c.alias) {
            fs::remove(dir.file("b.sfp"));
            fs::create_symlink("a.wth", dir.file("b.sfp"));
        }
        const auto before = dir.snapshot();
        const tool_result r = run_tool(dir.path(), c.args);
        EXPECT_EQ(r.status, 1) << c.said;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("remove"), std::string::npos) << r.out;
        EXPECT_TRUE(dir.snapshot() == before) << c.said;
    }
}

// The failure list is a site list: it runs the failed sites again; empty
// when none failed; refused, like any output, when it names a batch file.
TEST(Failed, RunsTheFailedSitesAgain) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("a") + site_row("b"));
    write_usual_site(dir, "a");
    dir.write("b.sfp", site_file("1 ELEV\n"));
    EXPECT_EQ(run_tool(dir.path(), {"--failed", "f.txt", "--keep-going", "sites.txt"}).status, 1);
    EXPECT_EQ(dir.read("f.txt"), site_row("b"));
    write_usual_site(dir, "b");
    EXPECT_EQ(run_tool(dir.path(), {"--failed", "g.txt", "f.txt"}).status, 0);
    EXPECT_EQ(dir.read("g.txt"), "");
    const auto before = dir.snapshot();
    const tool_result r = run_tool(dir.path(), {"--failed", "b.wth", "sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("b.wth is the daily weather file of sites.txt line 2 and the --failed "
                         "file at once"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(dir.snapshot() == before);
}

// The failure list names every site that was not prepared however the
// run ended (too many is safe, too few is not), and never keeps a previous
// run's list: it starts as every site of the part and shrinks as sites are
// done, also when an interrupt ends the run.
TEST(Failed, ListsEverySiteNotPrepared) {
    const struct {
        std::vector<std::string> args;
        const char *arrange;            // "no daily b": b fails; "copy left": a leftover XXXX.sfp
        std::vector<seam_fault> faults; // a signal the seam sends at a call
        int status;
        std::string listed, changed; // sites failed.txt names (-: as it was); sites changed
    } cases[] = {
        {{}, "", {}, 0, "", "abc"},
        {{"--keep-going"}, "no daily b", {}, 1, "b", "abc"}, // b gets its site keys
        {{}, "no daily b", {}, 1, "bc", "ab"},
        {{}, "copy left", {}, 1, "abc", ""},
        {{"--part", "2/2"}, "copy left", {}, 1, "bc", ""},
        // Its directory is tried before the first site; failed.txt stays.
        {{"--failed", "none/failed.txt"}, "", {}, 1, "-", ""},
        // At b's lock.
        {{}, "", {{.call = "flock", .nth = 2, .signal = SIGTERM}}, 143, "bc", "a"},
        // Deferred until b's rewrite is done: b is listed too.
        {{},
         "",
         {{.call = "unlink", .file = "XXXX.sfp", .nth = 2, .signal = SIGTERM}},
         143,
         "bc",
         "ab"},
        // Killed outright: the list as first written.
        {{}, "", {{.call = "flock", .nth = 2, .signal = SIGKILL}}, 137, "abc", "a"},
    };
    for (const auto &c : cases) {
        scratch_dir dir, fresh;
        dir.write("sites.txt", site_row("a") + site_row("b") + site_row("c"));
        for (const char *site : {"a", "b", "c"})
            write_usual_site(dir, site);
        write_usual_site(fresh, "a");
        if (std::string(c.arrange) == "no daily b")
            fs::remove(dir.file("b.wth"));
        if (std::string(c.arrange) == "copy left")
            dir.write("XXXX.sfp", "a copy\n");
        dir.write("failed.txt", site_row("stale"));
        std::vector<std::string> args = {"--jobs", "1", "--failed", "failed.txt"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("sites.txt");
        const tool_result r = run_tool(dir.path(), args, {.faults = c.faults});
        const std::string what =
            c.arrange + (c.faults.empty() ? "" : " " + c.faults[0].call + " signal");
        EXPECT_EQ(r.status, c.status) << what << "\n" << r.out;
        std::string listed;
        for (const char site : c.listed)
            listed += site_row(site == '-' ? "stale" : std::string(1, site));
        EXPECT_EQ(dir.read("failed.txt"), listed) << what;
        for (const char site : std::string("abc"))
            EXPECT_EQ(dir.read(site + std::string(".sfp")) != fresh.read("a.sfp"),
                      c.changed.find(site) != std::string::npos)
                << what << ": " << site;
    }
}

// In a scratch directory the fixed files keep every promise: a run leaves
// the same site files and kept soil files, and a leftover copy there stops
// the run.
TEST(Scratch, HoldsTheFixedFiles) {
    scratch_dir plain, moved;
    for (const scratch_dir *dir : {&plain, &moved}) {
        fs::create_directories(dir->file("data"));
        fs::create_directories(dir->file("s"));
        dir->write("sites.txt", site_row("data/a") + site_row("data/b"));
        write_usual_site(*dir, "data/a");
        write_usual_site(*dir, "data/b");
    }
    ASSERT_EQ(run_tool(plain.path(), {"--keep-soils", "sites.txt"}).status, 0);
    ASSERT_EQ(run_tool(moved.path(), {"--keep-soils", "--scratch", "s", "sites.txt"}).status, 0);
    for (const char *site : {"a", "b"}) {
        const std::string name = std::string("data/") + site;
        EXPECT_EQ(moved.read(name + ".sfp"), plain.read(name + ".sfp"));
        EXPECT_EQ(moved.read(name + ".soils.in"), plain.read(name + ".soils.in"));
    }
    EXPECT_EQ(moved.read("s/soils.in"), plain.read("soils.in"));
    EXPECT_FALSE(moved.exists("soils.in"));

    moved.write("s/XXXX.sfp", "the only intact copy\n");
    const tool_result left = run_tool(moved.path(), {"--scratch", "s", "sites.txt"});
    EXPECT_EQ(left.status, 1);
    EXPECT_EQ(left.out.rfind("XXXX.sfp already exists in the scratch directory s. ", 0), 0u)
        << left.out;
    EXPECT_NE(left.out.find("then remove or rename s/XXXX.sfp and run again."), std::string::npos)
        << left.out;
}

// Kept soil files stand beside their site files, with --scratch too (so
// that sites of one name in several directories do not meet), and only
// for the sites prepared.
TEST(KeepSoils, BesideThePreparedSitesFiles) {
    for (const bool scratch : {false, true}) {
        scratch_dir dir;
        dir.write("sites.txt",
                  site_row("ranchA/site") + site_row("ranchB/site") + site_row("ranchC/site"));
        write_usual_site(dir, "ranchA/site");
        write_usual_site(dir, "ranchB/site");
        dir.write("ranchC/site.sfp", site_file("1 ELEV\n")); // no daily file: it fails
        dir.write("ranchC/site.soils.in", "kept by an earlier run\n");
        fs::create_directory(dir.file("s"));
        std::vector<std::string> args = {"--keep-going", "--keep-soils", "sites.txt"};
        if (scratch)
            args.insert(args.begin(), {"--scratch", "s"});
        const tool_result r = run_tool(dir.path(), args);
        EXPECT_EQ(r.status, 1) << r.out;
        const std::string soils = dir.read(scratch ? "s/soils.in" : "soils.in");
        EXPECT_NE(soils.find("\n"), std::string::npos);
        EXPECT_EQ(dir.read("ranchA/site.soils.in"), soils) << scratch;
        EXPECT_EQ(dir.read("ranchB/site.soils.in"), soils) << scratch;
        EXPECT_FALSE(dir.exists("ranchC/site.soils.in")) << scratch;
        EXPECT_FALSE(dir.exists("s/site.soils.in"));
    }
}

} // namespace
