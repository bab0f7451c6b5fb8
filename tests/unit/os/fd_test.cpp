// Descriptors, streams and the write loop through the seam: a failure of
// a write, a flush, a sync, a cut or a close always reaches the owner.
#include "fd.h"
#include "open.h"
#include "overwrite.h"
#include "sys_faults.h"
#include "tool.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>

namespace {

using os::sys::call;

TEST(Descriptor, ACloseFailureGoesToTheOwnerAndTheDescriptorIsGone) {
    scratch_dir dir;
    os::result<os::fd> opened = os::open_for_overwrite(dir.file("f"), true);
    ASSERT_TRUE(opened);
    const int number = opened->get();
    os::sys::injected_fault fault(call::close, 1, EIO);
    const os::result<void> closed = opened->close();
    ASSERT_FALSE(closed.ok());
    EXPECT_EQ(closed.err(), EIO);
    EXPECT_STREQ(closed.error().op, "close");
    EXPECT_EQ(closed.error().path, dir.file("f"));
    EXPECT_EQ(fcntl(number, F_GETFD), -1);
    EXPECT_TRUE(opened->close().ok()); // closed once only
}

// A call made to fail, with or without a sync, and the call a failure
// names.
struct failing_call {
    const char *name;
    call fn;
    bool sync;
    const char *op;
};

TEST(OutStream, EachFailureReachesTheClose) {
    const failing_call cases[] = {{"write", call::fwrite, false, "write"},
                                  {"print", call::vfprintf, false, "write"},
                                  {"flush", call::fflush, false, "flush"},
                                  {"sync", call::fsync, true, "fsync"},
                                  {"close", call::fclose, false, "close"}};
    for (const failing_call &c : cases) {
        scratch_dir dir;
        os::out_stream out(std::fopen(dir.file("f").c_str(), "w"), dir.file("f"));
        os::sys::injected_fault fault(c.fn, 1, ENOSPC);
        out.put("a line\n");
        out.print("%d\n", 42);
        const os::result<void> closed = out.close(c.sync);
        ASSERT_FALSE(closed.ok()) << c.name;
        EXPECT_EQ(closed.err(), ENOSPC) << c.name;
        EXPECT_STREQ(closed.error().op, c.op) << c.name;
        EXPECT_EQ(closed.error().path, dir.file("f")) << c.name;
        EXPECT_FALSE(out.is_open()) << c.name;
    }
}

TEST(OutStream, TheFirstFailureIsTheOneReported) {
    scratch_dir dir;
    os::out_stream out(std::fopen(dir.file("f").c_str(), "w"));
    os::sys::clear_faults();
    os::sys::fail_call(call::fwrite, 2, EFBIG);
    os::sys::fail_call(call::fclose, 1, EIO);
    EXPECT_TRUE(out.put("one\n"));
    EXPECT_FALSE(out.put("two\n"));
    EXPECT_TRUE(out.put("three\n"));
    EXPECT_EQ(out.error(), EFBIG);
    EXPECT_EQ(out.close().err(), EFBIG);
    os::sys::clear_faults();
}

TEST(InStream, ACloseFailureGoesToTheOwner) {
    scratch_dir dir;
    dir.write("f", "text\n");
    os::in_stream in(std::fopen(dir.file("f").c_str(), "r"), dir.file("f"));
    os::sys::injected_fault fault(call::fclose, 1, EIO);
    const os::result<void> closed = in.close();
    EXPECT_EQ(closed.err(), EIO);
    EXPECT_EQ(closed.ok() ? "" : closed.error().path, dir.file("f"));
    EXPECT_FALSE(in.is_open());
}

TEST(WriteAll, ShortAndInterruptedWritesGoOnToTheEnd) {
    const std::string text = "0123456789abcdef\n";
    for (const int fault : {os::sys::short_transfer, EINTR}) {
        for (const bool at_offset : {false, true}) {
            scratch_dir dir;
            dir.write("f", "");
            os::result<os::fd> opened = os::open_for_overwrite(dir.file("f"), false);
            ASSERT_TRUE(opened);
            os::sys::injected_fault faults(at_offset ? call::pwrite : call::write, 1, fault, 3);
            EXPECT_EQ(os::write_all(opened->get(), text, at_offset ? 0 : -1), 0);
            EXPECT_EQ(dir.read("f"), text) << fault << at_offset;
            EXPECT_TRUE(opened->close());
        }
    }
}

TEST(WriteOver, EachFailureIsReportedWithItsCall) {
    const failing_call cases[] = {{"write", call::pwrite, false, "write"},
                                  {"cut", call::ftruncate, false, "ftruncate"},
                                  {"sync", call::fsync, true, "fsync"}};
    for (const failing_call &c : cases) {
        scratch_dir dir;
        dir.write("f", "a longer old content\n");
        os::result<os::fd> opened = os::open_for_overwrite(dir.file("f"), false);
        ASSERT_TRUE(opened);
        os::sys::injected_fault fault(c.fn, 1, EIO);
        const os::result<void> r = os::write_over(*opened, "new\n", c.sync);
        EXPECT_EQ(r.err(), EIO) << c.name;
        EXPECT_STREQ(r.ok() ? "" : r.error().op, c.op) << c.name;
        EXPECT_EQ(r.ok() ? "" : r.error().path, dir.file("f")) << c.name;
    }
}

TEST(WriteOver, ALongerOldContentIsCutAndAKnownShorterOneIsNot) {
    scratch_dir dir;
    dir.write("f", "a longer old content\n");
    os::result<os::fd> opened = os::open_for_overwrite(dir.file("f"), false);
    ASSERT_TRUE(opened);
    os::sys::clear_faults();
    ASSERT_TRUE(os::write_over(*opened, "new\n", false));
    EXPECT_EQ(dir.read("f"), "new\n");
    ASSERT_TRUE(os::write_over(*opened, "two\n", false, 4));
    EXPECT_EQ(os::sys::calls_of(call::ftruncate), 1);
    EXPECT_EQ(os::sys::calls_of(call::fsync), 0);
    EXPECT_EQ(dir.read("f"), "two\n");
}

} // namespace
