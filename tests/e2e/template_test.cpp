// siteprep --template and --texture-keys: a missing site file is made from
// the template before its steps and one that is there is never touched;
// the check lists what it would make; the template passes the guard; the
// texture keys are set as the soil rows take them.
#include "data.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

const std::string template_text = site_file("1 ELEV\n0.5 'SAND'\n0.1 'CLAY'\n1.0 'BULKD'\n");

// "made" has no site file, "kept" one of its own; both have daily files.
void write_batch(const scratch_dir &dir) {
    dir.write("sites.txt", site_row("made") + site_row("kept"));
    dir.write("t.sfp", template_text);
    write_usual_site(dir, "kept");
    write_usual_site(dir, "made");
    std::remove(dir.file("made.sfp").c_str());
}

TEST(Template, MakesAMissingSiteFileAndNeverTouchesOneThatIsThere) {
    scratch_dir dir;
    write_batch(dir);
    const std::string kept_before = dir.read("kept.sfp");
    tool_result r = run_tool(dir.path(), {"--check", "--template", "t.sfp", "sites.txt"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "made.sfp will be created from the template t.sfp\n")) << r.out;
    EXPECT_FALSE(has(r.out, "kept.sfp will be")) << r.out;
    EXPECT_FALSE(dir.exists("made.sfp"));
    r = run_tool(dir.path(), {"--template", "t.sfp", "sites.txt"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("Created made.sfp from the template t.sfp\nUpdate:"), 0u) << r.out;
    EXPECT_FALSE(has(r.out, "Created kept.sfp")) << r.out;
    // The template, keyed and given its block; the other file keyed as ever.
    EXPECT_TRUE(has(dir.read("made.sfp"), "0.5 'SAND'\n")) << dir.read("made.sfp");
    EXPECT_EQ(dir.read("t.sfp"), template_text);
    EXPECT_NE(dir.read("kept.sfp"), kept_before);
    EXPECT_FALSE(has(dir.read("kept.sfp"), "SAND")) << dir.read("kept.sfp");
    const mode_t mask = umask(0);
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(dir.file("made.sfp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST(Template, ASiteFileThatIsTheTemplateOrATemplateUnreadableStopsTheRunFirst) {
    for (const char *given : {"kept.sfp", "none.sfp"}) {
        scratch_dir dir;
        write_batch(dir);
        const auto before = dir.snapshot();
        const tool_result check =
            run_tool(dir.path(), {"--check", "--template", given, "sites.txt"});
        EXPECT_EQ(check.status, 1) << check.out;
        const tool_result r = run_tool(dir.path(), {"--template", given, "sites.txt"});
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_TRUE(has(r.out, std::string(given) == "kept.sfp"
                                   ? "kept.sfp is the --template file and the site parameter "
                                     "file of sites.txt line 2 at once"
                                   : "Error reading the --template file none.sfp"))
            << r.out;
        EXPECT_TRUE(
            has(check.out, std::string(given) == "kept.sfp" ? "--template file" : "none.sfp"))
            << check.out;
        EXPECT_EQ(dir.snapshot(), before) << given;
    }
}

TEST(TextureKeys, SetsTheSoilRowsTextureAndBulkDensityAndTheCheckStopsComparingThem) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot")); // 40 40 20: 0.4 0.4 0.2
    dir.write("plot.sfp", template_text);
    dir.write("plot.wth", daily_file({.days_a_month = 3}, "20 5 1.5"));
    tool_result r = run_tool(dir.path(), {"--check", "sites.txt"});
    EXPECT_TRUE(has(r.out, "SAND 0.5 (the list: 0.4)")) << r.out;
    r = run_tool(dir.path(), {"--check", "--texture-keys", "sites.txt"});
    EXPECT_FALSE(has(r.out, "soil values")) << r.out;
    r = run_tool(dir.path(), {"--texture-keys", "sites.txt"});
    ASSERT_EQ(r.status, 0) << r.out;
    // Sand 40 and clay 20 give a bulk density of 1.29 (1.2946 to four places).
    EXPECT_TRUE(has(r.out, "Update: 1530.0000         ELEV      \n"
                           "Update: 0.4000            SAND      \n"
                           "Update: 0.2000            CLAY      \n"
                           "Update: 1.2946            BULKD     \n"))
        << r.out;
    EXPECT_TRUE(has(dir.read("plot.sfp"), "0.4000            SAND      \n"
                                          "0.2000            CLAY      \n"
                                          "1.2946            BULKD     \n"));
    EXPECT_EQ(run_tool(dir.path(), {"--check", "--texture-keys", "--strict", "sites.txt"})
                  .out.find("soil values"),
              std::string::npos);
}

} // namespace
