// The restore of a site file from its temporary copy after a failed write.
#include "rewrite.h"
#include "tool.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Restores site_file in the scratch directory; what it printed.
std::string restore_in(const scratch_dir &dir, const char *site_file) {
    const fs::path back = fs::current_path();
    fs::current_path(dir.path());
    const os::fd site(open(site_file, O_RDWR));
    rewrite rw;
    rw.site_file = site_file;
    rw.temp = "XXXX.sfp";
    rw.site = &site;
    rw.write_errno = site.is_open() ? 0 : errno;
    rw.copy = os::fd(open("XXXX.sfp", O_RDWR));
    rw.content = dir.read("XXXX.sfp");
    bool kept = false;
    std::string out = restore_site_file(rw, kept) + "\n";
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

} // namespace
