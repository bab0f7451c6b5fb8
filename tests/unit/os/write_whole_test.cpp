// Files written whole, with each system call they make failing in turn:
// the old file stays whole or the new one is whole, never a part of it,
// no temporary file is left, and the result says which and why.
#include "sys_faults.h"
#include "tool.h"
#include "write_whole.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

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

} // namespace
