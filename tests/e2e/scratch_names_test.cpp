// A scratch directory whose name holds the copy's name: the messages about
// the fixed files name it as it is (they were once patched by searching
// for "XXXX.sfp", which rewrote the directory's own name).
#include "data.h"
#include "tool.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

TEST(ScratchNames, ALeftoverCopyIsNamedWhereItIs) {
    for (const bool check : {false, true}) {
        scratch_dir dir;
        std::filesystem::create_directory(dir.file("sXXXX.sfp"));
        dir.write("sXXXX.sfp/XXXX.sfp", "a copy\n");
        dir.write("sites.txt", site_row("plot"));
        write_usual_site(dir, "plot");
        std::vector<std::string> args = {"--scratch", "sXXXX.sfp", "sites.txt"};
        if (check)
            args.insert(args.begin(), "--check");
        const tool_result r = run_tool(dir.path(), args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
                  "XXXX.sfp already exists in the scratch directory sXXXX.sfp. It may hold the "
                  "only intact copy of a site parameter file from an interrupted run: compare it "
                  "with that site's .sfp file, keep the intact one, then remove or rename "
                  "sXXXX.sfp/XXXX.sfp and run again.\n")
            << (check ? "check" : "run");
    }
}

} // namespace
