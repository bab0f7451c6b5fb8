// The guard's engine: the files of a job that are one file, and the
// collision among them in the words each kind of pair takes, with the
// pairs a job excuses left out.
#include "guard.h"
#include "tool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(GuardEngine, WordsEachCollisionAndLeavesOutWhatIsExcused) {
    scratch_dir dir;
    dir.write("list.txt", "a\n");
    dir.write("a.sfp", "site\n");
    const int list_fd = open(dir.file("list.txt").c_str(), O_RDONLY);
    const std::string list = dir.file("list.txt"), site = dir.file("a.sfp");
    os::guarded_file the_list{list, "the site list"};
    the_list.named_by_role = true;
    the_list.open_fd = list_fd;
    os::guarded_file site_file{site, "the site file of a"};
    site_file.rewritten = true;
    const os::guarded_file daily{site, "the daily file of a"};
    const os::guarded_file output{dir.file("./list.txt"), "the --summary file", true};
    const os::guarded_file same_output{list, "the --report file", true};
    const struct {
        std::vector<os::guarded_file> files;
        bool excuse_all; // every pair excused
        std::string said;
    } cases[] = {
        {{the_list, output},
         false,
         "The site list is " + dir.file("./list.txt") + " (" + list +
             "): writing the --summary file would destroy it."},
        {{daily, site_file},
         false,
         site + " is the daily file of a and the site file of a at once: the one would "
                "destroy the other."},
        {{output, same_output},
         false,
         dir.file("./list.txt") + " and " + list +
             " name the same file: the --summary file and the --report file would overwrite "
             "each other."},
        // The site file is another file: the output still meets the list.
        {{site_file, output, the_list},
         false,
         "The site list is " + dir.file("./list.txt") + " (" + list +
             "): writing the --summary file would destroy it."},
        {{daily, site_file}, true, ""},
    };
    for (const auto &c : cases) {
        const std::vector<std::vector<size_t>> groups = os::same_files(c.files);
        std::string said;
        for (const std::vector<size_t> &group : groups)
            said += os::collision_in(c.files, group, [&](size_t, size_t) { return c.excuse_all; });
        EXPECT_EQ(said, c.said);
    }
    close(list_fd);
}

TEST(GuardEngine, ARewrittenFileMeetsOnlyTheFilesRead) {
    scratch_dir dir;
    dir.write("a.sfp", "site\n");
    os::guarded_file first{dir.file("a.sfp"), "the site file of line 1"};
    first.rewritten = true;
    os::guarded_file again{dir.file("./a.sfp"), "the site file of line 2"};
    again.rewritten = true;
    const os::guarded_file read{dir.file("a.sfp"), "the daily file of line 3"};
    EXPECT_TRUE(os::guard_files({first, again}).empty());
    EXPECT_EQ(os::guard_files({first, again, read}),
              std::vector<std::string>{dir.file("a.sfp") +
                                       " is the daily file of line 3 and the site file of line "
                                       "1 at once: the one would destroy the other."});
}

} // namespace
