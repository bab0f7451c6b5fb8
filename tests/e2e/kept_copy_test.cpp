// A copy that could not be removed after its site was prepared is left
// over: with --keep-going too, the run stops there and names it, and no
// later site starts over it. The copy's unlink fails in the seam.
#include "data.h"
#include "tool.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

TEST(KeptCopy, ACopyThatCannotBeRemovedStopsTheRun) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("a") + site_row("b"));
    write_usual_site(dir, "a");
    write_usual_site(dir, "b");
    chmod(dir.file("a.sfp").c_str(), 0600);
    const std::string a = dir.read("a.sfp"), b = dir.read("b.sfp");
    const tool_result r =
        run_tool(dir.path(), {"--keep-going", "--jobs", "1", "sites.txt"},
                 {.faults = {{.call = "unlink", .file = "XXXX.sfp", .err = EIO}}});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error deleting XXXX.sfp: Input/output error\n"
                         "Stopped at sites.txt line 1: Error deleting XXXX.sfp: Input/output "
                         "error; no further site can run safely.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(dir.read("a.sfp"), a); // prepared
    // The copy holds a's content, as private as a's site file.
    EXPECT_EQ(dir.read("XXXX.sfp"), a);
    EXPECT_EQ(fs::status(dir.file("XXXX.sfp")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(dir.read("b.sfp"), b);
}

} // namespace
