// Files by descriptor and by name through the seam: a name removed only
// while it is ours, a file read whole with its lines held to a length, a
// thread refused; each failure reaches the caller with its call and file.
#include "files.h"
#include "read_text.h"
#include "sys_faults.h"
#include "threads.h"
#include "tool.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using os::sys::call;

TEST(RemoveIfStill, RemovesOnlyTheFileItWasGiven) {
    const struct {
        const char *what;
        bool replaced; // the name has come to stand for another file
        int fault;     // the unlink fails so
        bool removed;
        int err;
    } cases[] = {{"ours", false, 0, true, 0},
                 {"replaced", true, 0, false, 0},
                 {"unlink fails", false, EIO, false, EIO}};
    for (const auto &c : cases) {
        scratch_dir dir;
        dir.write("copy", "ours\n");
        const os::fd copy(open(dir.file("copy").c_str(), O_RDONLY), dir.file("copy"));
        if (c.replaced) {
            unlink(dir.file("copy").c_str());
            dir.write("copy", "another's\n");
        }
        os::sys::clear_faults();
        if (c.fault != 0)
            os::sys::fail_call(call::unlink, 1, c.fault);
        const os::result<bool> r = os::remove_if_still(dir.file("copy"), copy);
        os::sys::clear_faults();
        EXPECT_EQ(r.err(), c.err) << c.what;
        EXPECT_EQ(r.ok() && *r, c.removed) << c.what;
        EXPECT_EQ(dir.exists("copy"), !c.removed) << c.what;
        if (c.replaced) {
            EXPECT_EQ(dir.read("copy"), "another's\n");
        }
    }
}

TEST(ReadText, ReadsWholeOrSaysWhichLineIsTooLong) {
    scratch_dir dir;
    const std::string text = "one\n" + std::string(70000, 'x') + "\nthree\n";
    dir.write("f", text);
    const os::fd file(open(dir.file("f").c_str(), O_RDONLY), dir.file("f"));
    std::string read;
    long long_line = -1;
    ASSERT_TRUE(os::read_text(file, read, 70000, long_line));
    EXPECT_EQ(read, text);
    EXPECT_EQ(long_line, 0);
    const os::result<void> refused = os::read_text(file, read, 69999, long_line);
    EXPECT_EQ(refused.err(), EFBIG);
    EXPECT_EQ(long_line, 2);
    os::sys::injected_fault fault(call::pread, 2, EIO);
    const os::result<void> failed = os::read_text(file, read, 70000, long_line);
    EXPECT_EQ(failed.err(), EIO);
    EXPECT_STREQ(failed.ok() ? "" : failed.error().op, "read");
    EXPECT_EQ(failed.ok() ? "" : failed.error().path, dir.file("f"));
}

void *count_up(void *counter) {
    ++*static_cast<std::atomic<int> *>(counter);
    return nullptr;
}

TEST(Threads, StartAndJoinOrSayWhyNot) {
    std::atomic<int> ran{0};
    {
        os::result<os::thread> started = os::start_thread(count_up, &ran);
        ASSERT_TRUE(started);
        started->join();
    }
    EXPECT_EQ(ran, 1);
    os::sys::injected_fault fault(call::pthread_create, 1, EAGAIN);
    EXPECT_EQ(os::start_thread(count_up, &ran).err(), EAGAIN);
    EXPECT_EQ(ran, 1);
}

} // namespace
