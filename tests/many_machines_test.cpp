// A list run in parts (--part), the fixed files in a scratch directory
// (--scratch), and the failed sites' lines written as a site list (--failed).
#include "batch_builder.h"

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

std::string counted_sites(int n) {
    return std::to_string(n) + (n == 1 ? " site" : " sites");
}

// Seven sites without daily files, so that each fails, a malformed line and
// blank lines among them: each part's --failed file is that part's lines.
TEST(Part, PartsCoverEverySiteOnceInOrder) {
    std::string list;
    std::vector<std::string> sites;
    for (int i = 1; i <= 7; ++i) {
        sites.push_back(i == 4 ? "not a site line" : site_row("s" + std::to_string(i)));
        sites.back().pop_back();
        list += sites.back() + (i == 2 ? "\n\n  \n" : "\n");
    }
    for (const int n : {1, 2, 3, 7, 8}) {
        scratch_dir dir;
        dir.write("sites.txt", list);
        for (int i = 1; i <= 7; ++i)
            dir.write("s" + std::to_string(i) + ".sfp", site_file("1 ELEV\n", false));
        std::vector<std::string> all;
        size_t smallest = 100, largest = 0;
        for (int k = 1; k <= n; ++k) {
            const std::string part = std::to_string(k) + "/" + std::to_string(n);
            const tool_result r = run_tool(
                dir.path(), {"--part", part, "--keep-going", "--failed", "f.txt", "sites.txt"});
            const std::vector<std::string> got = lines_of(dir.read("f.txt"));
            EXPECT_EQ(r.status, got.empty() ? 0 : 1) << part;
            all.insert(all.end(), got.begin(), got.end());
            smallest = std::min(smallest, got.size());
            largest = std::max(largest, got.size());
            // The messages name the list's own line numbers.
            if (std::find(got.begin(), got.end(), sites[6]) != got.end()) {
                EXPECT_NE(r.out.find("sites.txt line 9: s7: "), std::string::npos) << r.out;
            }
        }
        EXPECT_EQ(all, sites) << n << " parts";
        // The check takes the same part.
        const std::string last = std::to_string(n) + "/" + std::to_string(n);
        const tool_result checked = run_tool(dir.path(), {"--check", "--part", last, "sites.txt"});
        EXPECT_NE(checked.out.find(counted_sites(7 - 7 * (n - 1) / n) + " checked"),
                  std::string::npos)
            << checked.out;
        EXPECT_LE(largest - smallest, 1u) << n << " parts";
    }
}

// The failure list is a site list: it runs the failed sites again; empty
// when none failed; refused, like any output, when it names a batch file.
TEST(Failed, RunsTheFailedSitesAgain) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("a") + site_row("b"));
    write_usual_site(dir, "a");
    dir.write("b.sfp", site_file("1 ELEV\n", false));
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

// In a scratch directory the fixed files keep every promise: a run leaves
// the same site files and kept soil files, a leftover copy there stops the
// run, and two sites whose kept soil files would meet there are refused.
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
        EXPECT_EQ(moved.read(std::string("s/") + site + ".soils.in"),
                  plain.read(name + ".soils.in"));
        EXPECT_FALSE(moved.exists(name + ".soils.in"));
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
    fs::remove(moved.file("s/XXXX.sfp"));

    fs::create_directories(moved.file("other"));
    write_usual_site(moved, "other/a");
    moved.write("two.txt", site_row("data/a") + site_row("other/a"));
    const tool_result met = run_tool(moved.path(), {"--keep-soils", "--scratch", "s", "two.txt"});
    EXPECT_EQ(met.status, 1);
    EXPECT_NE(met.out.find("s/a.soils.in is the --keep-soils file of two.txt line 2 and the "
                           "--keep-soils file of two.txt line 1 at once"),
              std::string::npos)
        << met.out;
}

TEST(ManyMachines, WrongOptionsSayWhy) {
    const struct {
        std::vector<std::string> args;
        const char *said;
    } cases[] = {
        {{"--part", "0/3", "l"}, "invalid --part value '0/3'"},
        {{"--part", "4/3", "l"}, "invalid --part value '4/3'"},
        {{"--part", "3", "l"}, "invalid --part value '3'"},
        {{"--part", "1/2/3", "l"}, "invalid --part value '1/2/3'"},
        {{"--part", "+1/2", "l"}, "invalid --part value '+1/2'"},
        {{"--scratch", "nowhere", "l"}, "--scratch 'nowhere' is not a directory"},
        {{"--check", "--failed", "f", "l"}, "option '--failed' goes with a run, not '--check'"},
    };
    scratch_dir dir;
    for (const auto &c : cases) {
        const tool_result r = run_tool(dir.path(), c.args);
        EXPECT_EQ(r.status, 2) << c.said;
        EXPECT_NE(r.err.find(std::string("siteprep: ") + c.said), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("usage: siteprep"), std::string::npos) << r.err;
    }
}

} // namespace
