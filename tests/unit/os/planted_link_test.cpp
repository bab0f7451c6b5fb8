// A link another user made in a shared directory (sticky and writable by
// all) is never followed, as the kernel's protected_symlinks would have
// it: neither opened to be written over nor written through. As root the
// link is given to another user; as anyone else the seam makes the process
// another user than the link's maker, in /tmp, which root owns.
#include "file_paths.h"
#include "open.h"
#include "sys_faults.h"
#include "tool.h"
#include "write_whole.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A link in /tmp to a file of the scratch directory, removed when it goes.
struct shared_link {
    explicit shared_link(const std::string &to)
        : path("/tmp/siteprep-planted-" + std::to_string(getpid())) {
        made = symlink(to.c_str(), path.c_str()) == 0;
    }
    ~shared_link() { unlink(path.c_str()); }
    std::string path;
    bool made = false;
};

// Makes the link another user's: given away by root, or the process made
// another user by the seam.
void plant(const shared_link &link) {
    if (geteuid() == 0)
        ASSERT_EQ(lchown(link.path.c_str(), 12345, 12345), 0);
    else
        os::sys::pretend_user(static_cast<long>(geteuid()) + 1);
}

TEST(PlantedLink, IsNeitherFollowedNorWrittenThrough) {
    struct stat tmp;
    if (stat("/tmp", &tmp) != 0 || (tmp.st_mode & S_ISVTX) == 0 || (tmp.st_mode & S_IWOTH) == 0)
        GTEST_SKIP() << "/tmp is not shared by all here";
    scratch_dir dir;
    dir.write("victim", "precious\n");
    const shared_link link(dir.file("victim"));
    ASSERT_TRUE(link.made);
    os::sys::clear_faults();
    // The runner's own link is followed.
    EXPECT_EQ(os::planted_link(link.path), "");
    plant(link);
    EXPECT_NE(os::planted_link(link.path).find("is a symbolic link that another user made in a "
                                               "shared directory"),
              std::string::npos);
    // Refused here, or by the kernel where its protected_symlinks is on.
    const int err = os::open_for_overwrite(link.path, true).err();
    EXPECT_TRUE(err == EPERM || err == EACCES) << err;
    EXPECT_EQ(os::write_through_temp(link.path, link.path + ".", "new\n", false).err(), EPERM);
    EXPECT_EQ(dir.read("victim"), "precious\n");
    os::sys::clear_faults();
}

} // namespace
