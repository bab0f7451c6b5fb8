// The faster ways through a batch give what the plain one gives: reading
// ahead on threads, and site files written over in place.
#include "batch_builder.h"
#include "tool_runner.h"

#include <gtest/gtest.h>

namespace {

std::string year_of_days(int site) {
    return daily_file({2001, 1, 3}, [site](int, int m, int d, int) {
        return std::to_string(d) + " " + std::to_string(m) + " 2001 1 " +
               std::to_string(10 + site + m) + ".5 " + std::to_string(m - site) + ".25 " +
               std::to_string(d * site % 7) + ".1\n";
    });
}

// Six sites; the fourth's daily file has a bad line, so the run stops there.
void write_batch(const scratch_dir &dir) {
    std::string list;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "site" + std::to_string(i);
        list += name + " " + std::to_string(40 + i) + ".5 -100.25 0.4 0.4 0.2 1.3 0.5 3 100\n";
        dir.write(name + ".sfp", site_file_with_tail("1 SITLAT\n1 ELEV\n"));
        dir.write(name + ".wth", year_of_days(i) + (i == 3 ? "1 12 2001 1 1 1 wet\n" : ""));
    }
    dir.write("sites.txt", list);
}

// Also 8 threads asked for where no thread can be created (the main thread
// then does the work alone), and where the limit of open files leaves
// descriptors for few workers.
TEST(Jobs, EveryThreadCountGivesTheSameFilesMessagesAndStatus) {
    std::vector<std::pair<std::string, std::string>> first_files;
    tool_result first;
    run_setup starved, few_files;
    starved.unprivileged = starved.no_new_threads = true;
    const struct {
        const char *what, *jobs;
        run_setup setup;
    } runs[] = {{"1", "1", {}},
                {"2", "2", {}},
                {"8", "8", {}},
                {"8, no thread to be had", "8", starved},
                {"1, 6 open files", "1", {-1, false, false, 6, -1, false, {}}},
                {"8, 6 open files", "8", {-1, false, false, 6, -1, false, {}}}};
    for (const auto &run : runs) {
        scratch_dir dir;
        write_batch(dir);
        if (run.setup.unprivileged && !hand_to_unprivileged_user(dir))
            continue;
        const tool_result r = run_tool(dir.path(), {"--jobs", run.jobs, "sites.txt"}, run.setup);
        EXPECT_EQ(r.status, 1) << run.what;
        EXPECT_NE(r.out.find("site3.wth line 37: field 7 is not a number"), std::string::npos)
            << r.out;
        if (first_files.empty()) {
            first_files = dir.snapshot();
            first = r;
            continue;
        }
        EXPECT_EQ(r.out, first.out) << "--jobs " << run.what;
        EXPECT_EQ(r.err, first.err) << "--jobs " << run.what;
        EXPECT_EQ(dir.snapshot(), first_files) << "--jobs " << run.what;
    }
}

// A site file written over in place ends exactly as the new content, whether
// it gets shorter, longer or keeps its length.
TEST(Overwrite, ShorterLongerAndSameLengthFilesEndExactly) {
    const std::string tail = "0.5 'OTHER' a parameter left alone\n";
    scratch_dir reference;
    reference.write("sites.txt", "plot 41.5 -105.25 40 40 20 1.3 0.5 3 1530\n");
    reference.write("plot.sfp", site_file_with_tail(tail));
    reference.write("plot.wth", year_of_days(1));
    ASSERT_EQ(run_tool(reference.path(), {"sites.txt"}).status, 0);
    const std::string result = reference.read("plot.sfp");
    const std::string head = "Site parameters for a test plot\n'header line two'\n";
    std::string long_block, short_block;
    for (int i = 0; i < 60; ++i) {
        long_block += std::string(120, 'o') + "\n";
        short_block += "0\n";
    }
    for (const std::string &before :
         {head + long_block + tail, head + short_block + tail, result}) {
        scratch_dir dir;
        dir.write("sites.txt", reference.read("sites.txt"));
        dir.write("plot.sfp", before);
        dir.write("plot.wth", year_of_days(1));
        ASSERT_EQ(run_tool(dir.path(), {"sites.txt"}).status, 0);
        EXPECT_EQ(dir.read("plot.sfp"), result) << "from " << before.size() << " bytes";
    }
}

} // namespace
