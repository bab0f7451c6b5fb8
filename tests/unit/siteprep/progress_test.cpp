// The progress of a run or a check: a line rewritten in place on a
// terminal; elsewhere plain lines, one every ten seconds at most, and the
// last count kept.
#include "progress.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// What a progress line of total sites writes when it is shown for the
// site done (name) ms after its start, or finished (no name).
struct progress_step {
    int ms;
    size_t done;
    const char *name;
};
std::string drawn(bool terminal, size_t total, const std::vector<progress_step> &steps) {
    char *text = nullptr;
    size_t size = 0;
    FILE *to = open_memstream(&text, &size);
    progress_clock::time_point now{};
    {
        auto line = start_progress(true, total, to, terminal, [&now] { return now; });
        for (const progress_step &s : steps) {
            now = progress_clock::time_point{} + std::chrono::milliseconds(s.ms);
            s.name ? show_progress(line.get(), s.done, s.name)
                   : finish_progress(line.get(), s.done);
        }
    }
    std::fclose(to);
    const std::string result(text, size);
    std::free(text);
    return result;
}

TEST(Progress, PlainLinesIntoAFileARewrittenLineOnATerminal) {
    const struct {
        bool terminal;
        std::vector<progress_step> steps;
        const char *expected;
    } cases[] = {
        {true,
         {{0, 0, "a"}, {100, 1, "b"}, {1000, 2, "c"}, {2000, 3, nullptr}},
         "\r\033[K0 of 3 sites done, now a, 0:00 elapsed"
         "\r\033[K2 of 3 sites done, now c, 0:01 elapsed, about 0:01 left\r\033[K"},
        {false,
         {{0, 0, "a"}, {9900, 1, "b"}, {10000, 2, "c"}, {15000, 2, "c"}, {20000, 2, "d"}},
         "2 of 3 sites done, now c, 0:10 elapsed, about 0:05 left\n"
         "2 of 3 sites done, now d, 0:20 elapsed, about 0:10 left\n"},
        {false,
         {{0, 0, "a"}, {12000, 1, "b"}, {21000, 3, nullptr}},
         "1 of 3 sites done, now b, 0:12 elapsed, about 0:24 left\n"
         "3 of 3 sites done, 0:21 elapsed\n"},
        // A run that stops keeps the count it reached, written once.
        {false, {{0, 0, "a"}, {3000, 1, "b"}}, "1 of 3 sites done, 0:03 elapsed\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(drawn(c.terminal, 3, c.steps), c.expected) << c.expected;
}

} // namespace
