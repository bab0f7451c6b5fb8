// The rewrite that only commits a given text: the copy made and filled
// when it starts, the text written over the site file and the copy gone
// when it commits; a text that could not be made restores the site file;
// and what is said when it cannot start.
#include "fixed_files.h"
#include "rewrite.h"
#include "tool.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A rewrite of plot.sfp in dir, its copy there too, as a site opens it.
struct site_rewrite {
    explicit site_rewrite(const scratch_dir &dir)
        : site(open(dir.file("plot.sfp").c_str(), O_RDWR)) {
        rw.site_file = dir.file("plot.sfp");
        rw.temp = dir.file("XXXX.sfp");
        rw.site = &site;
        struct stat st;
        fstat(site.get(), &st);
        rw.site_mode = st.st_mode;
    }
    os::fd site;
    rewrite rw;
};

TEST(Rewrite, CommitsTheTextAndRemovesTheCopy) {
    scratch_dir dir;
    dir.write("plot.sfp", "the old content, longer than the new\n");
    chmod(dir.file("plot.sfp").c_str(), 0640);
    site_rewrite site(dir);
    ASSERT_FALSE(start_rewrite(site.rw, "plot").failed());
    // The copy holds the old content, with the site file's permissions.
    EXPECT_EQ(site.rw.content, "the old content, longer than the new\n");
    EXPECT_EQ(dir.read("XXXX.sfp"), site.rw.content);
    EXPECT_EQ(fs::status(dir.file("XXXX.sfp")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string text = "the new\n";
    EXPECT_FALSE(commit_rewrite(site.rw, &text).failed());
    EXPECT_EQ(dir.read("plot.sfp"), "the new\n");
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

TEST(Rewrite, NoTextRestoresTheSiteFile) {
    scratch_dir dir;
    dir.write("plot.sfp", "the old content\n");
    site_rewrite site(dir);
    ASSERT_FALSE(start_rewrite(site.rw, "plot").failed());
    const failure f = commit_rewrite(site.rw, nullptr);
    EXPECT_EQ(f.message, "Error rewriting " + dir.file("plot.sfp") + ": Cannot allocate memory");
    EXPECT_EQ(f.after, dir.file("plot.sfp") + " was restored to its content before this step.");
    EXPECT_FALSE(f.stops_batch);
    EXPECT_EQ(dir.read("plot.sfp"), "the old content\n");
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

// Whatever stops the start leaves the site file as it was and no copy
// made by this rewrite.
TEST(Rewrite, AStartThatFailsSaysWhyAndLeavesTheFiles) {
    const struct {
        const char *what;
        bool copy_there;  // a file at the copy's name already
        bool long_line;   // a line longer than a site file line may be
        const char *said; // the start of the message, after the directory
    } cases[] = {
        {"copy there", true, false, "Error opening temporary file for plot!\n"},
        {"long line", false, true, "Error in site parameter file "},
    };
    for (const auto &c : cases) {
        scratch_dir dir;
        const std::string content =
            c.long_line ? "short\n" + std::string(1024 * 1024 + 1, 'x') + "\n" : "short\n";
        dir.write("plot.sfp", content);
        if (c.copy_there)
            dir.write("XXXX.sfp", "someone's\n");
        site_rewrite site(dir);
        const failure f = start_rewrite(site.rw, "plot");
        EXPECT_EQ(f.message.substr(0, std::string(c.said).size()), c.said) << c.what;
        EXPECT_EQ(dir.read("plot.sfp"), content) << c.what;
        EXPECT_EQ(dir.exists("XXXX.sfp"), c.copy_there) << c.what;
        if (c.copy_there) {
            EXPECT_EQ(dir.read("XXXX.sfp"), "someone's\n");
        }
        if (c.long_line) {
            EXPECT_NE(f.message.find("line 2: line longer than 1048576 bytes"), std::string::npos)
                << f.message;
        }
    }
}

// Where the fixed files are, and a site's files, named in one place; a
// leftover copy's message names the scratch directory and the copy's path
// there, whatever their names hold.
TEST(FixedFiles, NameWhereTheyAreAndASitesFiles) {
    EXPECT_EQ(where_fixed_files_are(fixed_files_in("")), "in the working directory");
    const fixed_files scratch = fixed_files_in("/tmp/sXXXX.sfp");
    EXPECT_EQ(scratch.soil, "/tmp/sXXXX.sfp/soils.in");
    EXPECT_EQ(scratch.temp, "/tmp/sXXXX.sfp/XXXX.sfp");
    EXPECT_EQ(where_fixed_files_are(scratch), "in the scratch directory /tmp/sXXXX.sfp");
    const site_paths paths = paths_of("dir/plot");
    EXPECT_EQ(paths.site_file, "dir/plot.sfp");
    EXPECT_EQ(paths.weather_file, "dir/plot.wth");
    EXPECT_EQ(paths.soil_file, "dir/plot.soils.in");
    scratch_dir dir;
    fs::create_directory(dir.file("sXXXX.sfp"));
    const fixed_files there = fixed_files_in(dir.file("sXXXX.sfp"));
    EXPECT_FALSE(temp_copy_refusal(there, false).failed());
    dir.write("sXXXX.sfp/XXXX.sfp", "a copy\n");
    const std::string refusal = temp_copy_refusal(there, false).message;
    EXPECT_EQ(refusal.substr(0, refusal.find(". It may") + 1),
              "XXXX.sfp already exists in the scratch directory " + dir.file("sXXXX.sfp") + ".");
    EXPECT_NE(refusal.find("then remove or rename " + there.temp + " and run again."),
              std::string::npos)
        << refusal;
}

} // namespace
