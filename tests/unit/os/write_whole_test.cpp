// Files written whole, with each system call they make failing in turn:
// the old file stays whole or the new one is whole, never a part of it,
// no temporary file is left, and the result says which and why.
#include "open.h"
#include "sys_faults.h"
#include "tool.h"
#include "write_whole.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

using os::sys::call;
using files = std::vector<std::pair<std::string, std::string>>;

const std::string old_text = "the old content\n";
// More than stdio buffers, so that it is written in several pieces.
const std::string new_text = std::string(20000, 'x') + "\n";

TEST(WriteWhole, AnyCallFailingLeavesOneWholeFileAndNoTemporary) {
    for (const bool sync : {false, true}) {
        for (int c = 0; c < os::sys::calls; ++c) {
            const call fn = static_cast<call>(c);
            long made = 0;
            {
                scratch_dir dir;
                dir.write("f", old_text);
                os::sys::clear_faults();
                ASSERT_TRUE(os::write_through_temp(dir.file("f"), dir.file("f."), new_text, sync));
                made = os::sys::calls_of(fn);
            }
            for (long n = 1; n <= made; ++n) {
                scratch_dir dir;
                dir.write("f", old_text);
                os::sys::injected_fault fault(fn, n, ENOSPC);
                const os::result<void> r =
                    os::write_through_temp(dir.file("f"), dir.file("f."), new_text, sync);
                EXPECT_EQ(dir.snapshot(), (files{{"f", r.ok() ? new_text : old_text}}))
                    << "call " << c << " number " << n << (sync ? " with sync" : "");
                EXPECT_EQ(r.err(), r.ok() ? 0 : ENOSPC) << "call " << c << " number " << n;
            }
        }
    }
}

// The call that failed, as the result names it.
struct named_case {
    call fn;
    const char *op;
};

TEST(WriteWhole, TheFailureNamesItsCallAndFile) {
    const named_case cases[] = {{call::mkostemp, "mkstemp"}, {call::fdopen, "fdopen"},
                                {call::fwrite, "write"},     {call::fflush, "flush"},
                                {call::fsync, "fsync"},      {call::fclose, "close"},
                                {call::rename, "rename"}};
    for (const named_case &c : cases) {
        scratch_dir dir;
        dir.write("f", old_text);
        os::sys::injected_fault fault(c.fn, 1, EIO);
        const os::result<void> r =
            os::write_through_temp(dir.file("f"), dir.file("f."), new_text, true);
        ASSERT_FALSE(r.ok()) << c.op;
        EXPECT_STREQ(r.error().op, c.op);
        EXPECT_EQ(r.error().reason(), std::strerror(EIO)) << c.op;
        // The temporary file is named by its own failures, the file by the others.
        EXPECT_EQ(r.error().path.rfind(dir.file("f"), 0), 0u) << c.op << ": " << r.error().path;
    }
}

TEST(WriteWhole, AFailureToGetTheContentIsTheWritersAndLeavesTheOldFile) {
    scratch_dir dir;
    dir.write("f", old_text);
    const os::result<void> r = os::write_file_whole(
        dir.file("f"), dir.file("f."), [](os::out_stream &out) { return out.put("part"), EBADMSG; },
        false);
    EXPECT_EQ(r.err(), EBADMSG);
    EXPECT_EQ(dir.snapshot(), (files{{"f", old_text}}));
}

// A new file is put in place only while its name is free: a file there
// (or one that comes while it is written) is never replaced, and every
// call failing in turn leaves no temporary file. Its mode is a new file's.
TEST(WriteNewFile, NeverReplacesAFileAndLeavesNoTemporary) {
    const auto put = [](os::out_stream &out) { return out.put(new_text), 0; };
    scratch_dir dir;
    dir.write("there", old_text);
    os::result<bool> r = os::write_new_file(dir.file("there"), dir.file("there."), put, false);
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(r.value());
    r = os::write_new_file(dir.file("new"), dir.file("new."), put, true);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.value());
    EXPECT_EQ(dir.snapshot(), (files{{"new", new_text}, {"there", old_text}}));
    const mode_t mask = umask(0);
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(dir.file("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    for (call fn : {call::mkostemp, call::fwrite, call::fsync, call::fclose, call::link}) {
        scratch_dir failing;
        os::sys::injected_fault fault(fn, 1, ENOSPC);
        r = os::write_new_file(failing.file("f"), failing.file("f."), put, true);
        EXPECT_EQ(r.err(), ENOSPC) << static_cast<int>(fn);
        EXPECT_TRUE(failing.snapshot().empty()) << static_cast<int>(fn);
    }
}

// An unnamed file filled and put in place: linked under a temporary name
// and renamed, or copied when it cannot be linked.
os::result<void> put_unnamed(const scratch_dir &dir) {
    os::result<os::out_stream> unnamed = os::open_unnamed_beside(dir.file("f"));
    if (!unnamed)
        return unnamed.error();
    unnamed->put(new_text);
    return os::put_unnamed_in_place(*unnamed, dir.file("f"), dir.file(".t-"));
}

TEST(WriteWhole, AnUnnamedFileIsPutInPlaceWholeWithTheUsualMode) {
    scratch_dir dir;
    dir.write("f", old_text);
    ASSERT_TRUE(put_unnamed(dir));
    EXPECT_EQ(dir.snapshot(), (files{{"f", new_text}}));
    struct stat st;
    ASSERT_EQ(stat(dir.file("f").c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    for (int c = 0; c < os::sys::calls; ++c) {
        const call fn = static_cast<call>(c);
        os::sys::clear_faults();
        ASSERT_TRUE(put_unnamed(dir));
        for (long n = 1, made = os::sys::calls_of(fn); n <= made; ++n) {
            dir.write("f", old_text);
            os::sys::injected_fault fault(fn, n, ENOSPC);
            const os::result<void> r = put_unnamed(dir);
            EXPECT_EQ(dir.snapshot(), (files{{"f", r.ok() ? new_text : old_text}}))
                << "call " << c << " number " << n;
        }
    }
}

} // namespace

// A replaced file keeps its mode, also when reached through a link (the
// link is kept); a new file gets the usual one. Both ways that keep it.
TEST(WriteWhole, AReplacedFileKeepsItsModeANewFileGetsTheUsualOne) {
    const mode_t mask = umask(0);
    umask(mask);
    const auto put = [](os::out_stream &out) { return out.put(new_text), 0; };
    for (const bool interruptible : {false, true}) {
        const auto write = interruptible ? os::write_file_replacing : os::write_file_keeping_mode;
        scratch_dir dir;
        dir.write("kept", old_text);
        dir.write("behind", old_text);
        ASSERT_EQ(chmod(dir.file("kept").c_str(), 0604), 0);
        ASSERT_EQ(chmod(dir.file("behind").c_str(), 0600), 0);
        ASSERT_EQ(symlink("behind", dir.file("link").c_str()), 0);
        const struct {
            const char *name, *file;
            mode_t mode;
        } cases[] = {
            {"kept", "kept", 0604}, {"link", "behind", 0600}, {"new", "new", 0666 & ~mask}};
        for (const auto &c : cases) {
            ASSERT_TRUE(write(dir.file(c.name), dir.file(c.name) + ".", put)) << c.name;
            struct stat st;
            ASSERT_EQ(lstat(dir.file(c.file).c_str(), &st), 0) << c.name;
            EXPECT_TRUE(S_ISREG(st.st_mode)) << c.name;
            EXPECT_EQ(st.st_mode & 0777, c.mode)
                << c.name << (interruptible ? " interruptible" : "");
            EXPECT_EQ(dir.read(c.file), new_text) << c.name;
        }
        struct stat st;
        ASSERT_EQ(lstat(dir.file("link").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
    }
}
