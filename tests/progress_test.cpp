// The progress of a run or a check: a line rewritten in place on a
// terminal; elsewhere plain lines, one every ten seconds at most, and the
// last count kept.
#include "batch_builder.h"
#include "progress.h"
#include "tool_runner.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

// A site reached (name) or the end (no name) at a time after the start.
struct progress_step {
    int ms;
    size_t done;
    const char *name; // nullptr: the run ends with done sites done
};

// What a progress line of total sites writes for the steps.
std::string drawn(bool terminal, size_t total, const std::vector<progress_step> &steps) {
    char *text = nullptr;
    size_t size = 0;
    FILE *to = open_memstream(&text, &size);
    progress_clock::time_point now{};
    {
        auto line = start_progress(true, total, to, terminal, [&now] { return now; });
        for (const progress_step &s : steps) {
            now = progress_clock::time_point{} + std::chrono::milliseconds(s.ms);
            if (s.name != nullptr)
                show_progress(line.get(), s.done, s.name);
            else
                finish_progress(line.get(), s.done);
        }
    }
    std::fclose(to);
    std::string drawn_text(text, size);
    std::free(text);
    return drawn_text;
}

TEST(Progress, PlainLinesIntoAFileARewrittenLineOnATerminal) {
    const struct {
        const char *what;
        bool terminal;
        size_t total;
        std::vector<progress_step> steps;
        const char *expected;
    } cases[] = {
        {"terminal",
         true,
         3,
         {{0, 0, "a"}, {100, 1, "b"}, {1000, 2, "c"}, {2000, 3, nullptr}},
         "\r\033[K0 of 3 sites done, now a, 0:00 elapsed"
         "\r\033[K2 of 3 sites done, now c, 0:01 elapsed, about 0:01 left\r\033[K"},
        {"file",
         false,
         5,
         {{0, 0, "a"},
          {9900, 1, "b"},
          {10000, 2, "c"},
          {15000, 3, "d"},
          {20000, 4, "e"},
          {21000, 5, nullptr}},
         "2 of 5 sites done, now c, 0:10 elapsed, about 0:15 left\n"
         "4 of 5 sites done, now e, 0:20 elapsed, about 0:05 left\n"
         "5 of 5 sites done, 0:21 elapsed\n"},
        {"short run into a file",
         false,
         2,
         {{0, 0, "a"}, {10, 1, "b"}, {20, 2, nullptr}},
         "2 of 2 sites done, 0:00 elapsed\n"},
        // A run that stops keeps the count it reached, written once.
        {"stopped after a line",
         false,
         3,
         {{0, 0, "a"}, {12000, 1, "b"}, {13000, 1, nullptr}},
         "1 of 3 sites done, now b, 0:12 elapsed, about 0:24 left\n"},
        {"stopped", false, 3, {{0, 0, "a"}, {3000, 1, "b"}}, "1 of 3 sites done, 0:03 elapsed\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(drawn(c.terminal, c.total, c.steps), c.expected) << c.what;
}

TEST(Progress, RunAndCheckKeepTheLastCountInAFile) {
    scratch_dir dir;
    dir.write("sites.txt", site_row("one") + site_row("two"));
    write_usual_site(dir, "one");
    write_usual_site(dir, "two");
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--progress", "sites.txt"},
          std::vector<std::string>{"--check", "--progress", "sites.txt"}}) {
        const tool_result r = run_tool(dir.path(), args);
        EXPECT_EQ(r.status, 0) << args[0] << "\n" << r.out;
        EXPECT_TRUE(std::regex_match(r.err, std::regex("2 of 2 sites done, [0-9]+:[0-9]{2} "
                                                       "elapsed\n")))
            << args[0] << ": " << r.err;
    }
}

} // namespace
