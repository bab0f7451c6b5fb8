// A copy that could not be removed after its site was prepared is left
// over: with --keep-going too, the run stops there and names it, and no
// later site starts over it. (strace fails the copy's unlink; where the
// system-call seam can fail it in process, this test goes there.)
#include "data.h"
#include "tool.h"

#include <gtest/gtest.h>

namespace {

TEST(KeptCopy, ACopyThatCannotBeRemovedStopsTheRun) {
    if (!strace_installed())
        GTEST_SKIP() << "strace is not installed";
    scratch_dir dir;
    dir.write("sites.txt", site_row("a") + site_row("b"));
    write_usual_site(dir, "a");
    write_usual_site(dir, "b");
    const std::string a = dir.read("a.sfp"), b = dir.read("b.sfp");
    const tool_result r = run_tool(dir.path(), {"--keep-going", "--jobs", "1", "sites.txt"},
                                   {.strace_inject = "unlink:error=EIO:when=1"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error deleting XXXX.sfp: Input/output error\n"
                         "Stopped at sites.txt line 1: Error deleting XXXX.sfp: Input/output "
                         "error; no further site can run safely.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(dir.read("a.sfp"), a); // prepared
    EXPECT_EQ(dir.read("XXXX.sfp"), a);
    EXPECT_EQ(dir.read("b.sfp"), b);
}

} // namespace
