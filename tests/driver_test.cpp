// End-to-end runs of the tool: the batch loop, the site keys, the rewrite
// cycle and its failures.
#include "batch_builder.h"
#include "tool_runner.h"

#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// One January day is enough daily weather for the rewrite to run.
const char one_day[] = "1 1 2000 1 10.0 -2.0 0.5\n";

struct keyword_case {
    const char *what;
    const char *tail;
    const char *expected_tail;
    const char *expected_out;
};

void PrintTo(const keyword_case &c, std::ostream *os) {
    *os << c.what;
}

class KeywordPass : public ::testing::TestWithParam<keyword_case> {};

TEST_P(KeywordPass, ReplacesSiteKeyLines) {
    const keyword_case &c = GetParam();
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.sfp", site_file_with_tail(c.tail));
    dir.write("plot.wth", one_day);
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    std::string after = dir.read("plot.sfp");
    ASSERT_GE(after.size(), site_file_with_tail("").size()) << c.what;
    std::string head = site_file_with_tail("");
    size_t header_end = head.find('\n', head.find('\n') + 1) + 1;
    EXPECT_EQ(after.substr(0, header_end), head.substr(0, header_end)) << c.what;
    // The tail follows the 62 lines of header and block.
    size_t pos = 0;
    for (int i = 0; i < 62; ++i)
        pos = after.find('\n', pos) + 1;
    EXPECT_EQ(after.substr(pos), c.expected_tail) << c.what;
    EXPECT_EQ(r.out.substr(0, std::string(c.expected_out).size()), c.expected_out) << c.what;
    EXPECT_EQ(r.out.find("Update: ", std::string(c.expected_out).size()), std::string::npos)
        << c.what << ": " << r.out;
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeywordPass,
    ::testing::Values(
        keyword_case{"quoted name and comment", "1.0 'SITLAT' latitude of the site\n",
                     "41.5000           SITLAT    \n", "Update: 41.5000           SITLAT    \n"},
        keyword_case{"key inside a longer name", "100.0 'MYELEVATION'\n",
                     "1530.0000         ELEV      \n", "Update: 1530.0000         ELEV      \n"},
        keyword_case{"first key in table order wins", "1.0 SITLNG SITLAT\n",
                     "41.5000           SITLAT    \n", "Update: 41.5000           SITLAT    \n"},
        keyword_case{"text line mentioning a key", "The SITLAT value\n", "The SITLAT value\n", ""},
        keyword_case{"lower case key", "1.0 sitlat\n", "1.0 sitlat\n", ""},
        keyword_case{"number only", "1.0\n", "1.0\n", ""},
        keyword_case{"number glued to the name", "2.5'SITLNG'\n", "-105.2500         SITLNG    \n",
                     "Update: -105.2500         SITLNG    \n"},
        keyword_case{"key on several lines", "1 SITLAT\n2 ELEV\n3 SITLAT\n",
                     "41.5000           SITLAT    \n1530.0000         ELEV      \n"
                     "41.5000           SITLAT    \n",
                     "Update: 41.5000           SITLAT    \n"
                     "Update: 1530.0000         ELEV      \n"
                     "Update: 41.5000           SITLAT    \n"},
        keyword_case{"layer count in both keys", "6 'NLAYER'\n6 'NLAYPG'\n",
                     "3.0000            NLAYER    \n3.0000            NLAYPG    \n",
                     "Update: 3.0000            NLAYER    \n"
                     "Update: 3.0000            NLAYPG    \n"},
        keyword_case{"no tail at all", "", "", ""}),
    [](const ::testing::TestParamInfo<keyword_case> &info) {
        std::string name;
        for (const char *p = info.param.what; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST(Batch, TwoSitesAreBothRewrittenInOrder) {
    scratch_dir dir;
    dir.write("sites.txt", "\nplot1 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n  \t\n"
                           "plot2 -12.0 30.5 0.65 0.25 0.10 1.3 0.5 1 200\n");
    dir.write("plot1.sfp", site_file_with_tail("1.0 SITLAT\n"));
    dir.write("plot2.sfp", site_file_with_tail("1.0 SITLAT\n1.0 ELEV\n"));
    dir.write("plot1.wth", one_day);
    dir.write("plot2.wth", one_day);
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    size_t first = r.out.find("Update: 41.5000           SITLAT    \n");
    size_t second = r.out.find("Update: -12.0000          SITLAT    \n");
    size_t third = r.out.find("Update: 200.0000          ELEV      \n");
    ASSERT_NE(first, std::string::npos) << r.out;
    ASSERT_NE(second, std::string::npos) << r.out;
    ASSERT_NE(third, std::string::npos) << r.out;
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(dir.read("plot1.sfp").find("41.5000           SITLAT    \n"), std::string::npos);
    EXPECT_NE(dir.read("plot2.sfp").find("200.0000          ELEV      \n"), std::string::npos);
    EXPECT_TRUE(dir.exists("soils.in"));
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

TEST(Batch, SiteNameWithDirectoryPart) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("data/plot1"));
    dir.write("data/plot1.sfp", site_file_with_tail("1 ELEV\n"));
    dir.write("data/plot1.wth", one_day);
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(dir.read("data/plot1.sfp").find("1530.0000         ELEV"), std::string::npos);
    EXPECT_TRUE(dir.exists("soils.in"));
    EXPECT_FALSE(dir.exists("data/soils.in"));
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
    EXPECT_FALSE(dir.exists("data/XXXX.sfp"));
}

TEST(Batch, EmptySiteListTouchesNothing) {
    scratch_dir dir;
    dir.write("sites.txt", "");
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.snapshot().size(), 1u);
}

TEST(Batch, LongAndCrLfLinesPassThrough) {
    scratch_dir dir;
    std::string long_line(200, 'z');
    std::string crlf_head = "Header of a CR LF file\r\n'second'\r\n";
    for (int i = 1; i <= 60; ++i)
        crlf_head += "0.0 'OLD(" + std::to_string(i) + ")'\r\n";
    dir.write("sites.txt", site_row("plot") + site_row("crlf"));
    dir.write("plot.sfp", site_file_with_tail(long_line + "\n"));
    dir.write("crlf.sfp", crlf_head + long_line + "\r\n1.0 ELEV \r\n");
    dir.write("plot.wth", one_day);
    dir.write("crlf.wth", one_day);
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 0) << r.out;
    std::string plot = dir.read("plot.sfp");
    EXPECT_EQ(plot.substr(plot.size() - 201), long_line + "\n");
    std::string crlf = dir.read("crlf.sfp");
    EXPECT_EQ(crlf.substr(0, 24), "Header of a CR LF file\r\n");
    std::string tail = long_line + "\r\n1530.0000         ELEV      \r\n";
    ASSERT_GE(crlf.size(), tail.size());
    EXPECT_EQ(crlf.substr(crlf.size() - tail.size()), tail);
}

TEST(CommandLine, HelpVersionAndUsage) {
    scratch_dir dir;
    tool_result help = run_tool(dir.path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: siteprep", 0), 0u);
    // The daily file's units, which a user converting downloaded weather needs.
    for (const char *unit : {"Tmax Tmin\nprecipitation, temperatures in degrees C", "cm a day"})
        EXPECT_NE(help.out.find(unit), std::string::npos) << unit;
    tool_result version = run_tool(dir.path(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("siteprep ", 0), 0u);
    for (const auto &args : std::vector<std::vector<std::string>>{{}, {"a", "b"}, {"--bogus"}}) {
        tool_result r = run_tool(dir.path(), args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("\nusage: siteprep"), std::string::npos) << r.err;
    }
}

// ---- failures ----

TEST(Failure, MissingSiteList) {
    scratch_dir dir;
    tool_result r = run_tool(dir.path(), {"nosuch.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error opening data input file!\nnosuch.txt: No such file or directory\n");
}

TEST(Failure, MissingSiteFileLeavesSoilFileWritten) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.wth", one_day);
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error opening <plot>.sfp file!\nplot.sfp: No such file or directory\n");
    EXPECT_TRUE(dir.exists("soils.in"));
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

TEST(Failure, MissingWeatherFileAfterSiteKeys) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.sfp", site_file_with_tail("1 SITLAT\n"));
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Update: 41.5000           SITLAT    \n"
                     "Error opening weather data file for plot site!\n"
                     "plot.wth: No such file or directory\n");
    EXPECT_EQ(dir.read("plot.sfp"), site_file_with_tail("41.5000           SITLAT    \n"));
    EXPECT_TRUE(dir.exists("soils.in"));
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

TEST(Failure, MalformedLineStopsBeforeItsSite) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("good") + "bad 41.5 -105 40 40 20 1.3 0.5 9.0 1530\n");
    dir.write("good.sfp", site_file_with_tail("1 SITLAT\n"));
    dir.write("good.wth", one_day);
    dir.write("bad.sfp", site_file_with_tail("1 SITLAT\n"));
    dir.write("bad.wth", one_day);
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error in site list sites.txt line 2: field 9 (layer-count code) "
                         "is not a whole number: \"9.0\"\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(dir.read("bad.sfp"), site_file_with_tail("1 SITLAT\n"));
    EXPECT_NE(dir.read("good.sfp"), site_file_with_tail("1 SITLAT\n"));
}

TEST(Failure, MalformedFirstLineTouchesNothing) {
    scratch_dir dir;
    dir.write("sites.txt", "plot 41.5 -105 40 40 20\n");
    dir.write("plot.sfp", site_file_with_tail("1 SITLAT\n"));
    dir.write("plot.wth", one_day);
    auto before = dir.snapshot();
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("Error in site list sites.txt line 1: 6 fields found", 0), 0u) << r.out;
    EXPECT_EQ(dir.snapshot(), before);
}

TEST(Failure, LeftoverTemporaryCopyIsRefused) {
    for (bool as_link : {false, true}) {
        scratch_dir dir;
        dir.write("sites.txt", site_row("plot"));
        dir.write("plot.sfp", site_file_with_tail("1 SITLAT\n"));
        dir.write("plot.wth", one_day);
        if (as_link)
            fs::create_symlink("nowhere", dir.file("XXXX.sfp"));
        else
            dir.write("XXXX.sfp", "the only intact copy\n");
        auto before = dir.snapshot();
        tool_result r = run_tool(dir.path(), {"sites.txt"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.rfind("XXXX.sfp already exists in the working directory.", 0), 0u) << r.out;
        EXPECT_EQ(dir.snapshot(), before) << "link: " << as_link;
    }
}

TEST(Failure, WriteFailureRestoresTheSiteFile) {
    scratch_dir dir;
    std::string tail;
    for (int i = 0; i < 60; ++i)
        tail += "1 SITLAT\n";
    std::string original = site_file_with_tail(tail);
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.sfp", original);
    dir.write("plot.wth", one_day);
    // The copy fits under the limit; the rewrite, with longer lines, does not.
    tool_result r = run_tool(dir.path(), {"sites.txt"}, static_cast<long>(original.size()) + 100);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error writing plot.sfp: File too large\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("plot.sfp was restored to its content before this step.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(dir.read("plot.sfp"), original);
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

TEST(Failure, UnwritableSiteFileIsLeftAsItWas) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("plot"));
    dir.write("plot.sfp", site_file_with_tail("1 SITLAT\n"));
    dir.write("plot.wth", one_day);
    if (!hand_to_unprivileged_user(dir))
        GTEST_SKIP() << "no unprivileged user can run the tool here";
    chmod(dir.file("plot.sfp").c_str(), 0444);
    tool_result r = run_tool(dir.path(), {"sites.txt"}, -1, true);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error opening for writing plot.sfp: Permission denied"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(dir.read("plot.sfp"), site_file_with_tail("1 SITLAT\n"));
    EXPECT_FALSE(dir.exists("XXXX.sfp"));
}

} // namespace
