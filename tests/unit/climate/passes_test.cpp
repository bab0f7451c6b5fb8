// The passes over memory: the streams set for the time of a pass, the new
// text returned; and a day's record carrying its date to a listener, from
// whichever parser read its line.
#include "create_site.h"
#include "process_weather.h"
#include "streams.h"
#include "sys_faults.h"
#include "texture_keys.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <new>
#include <vector>

namespace {

TEST(RunPass, GivesTheNewTextAndLeavesNoStreamSet) {
    std::string result = "untouched", said;
    ASSERT_TRUE(run_pass(
        "0.0 SITLAT\nkept\r\n",
        [&said] {
            ASSERT_NE(oldfp, nullptr);
            ASSERT_NE(newfp, nullptr);
            create_site(41.5f, -105.25f, 3.0f, 1530.0f, said);
        },
        result));
    EXPECT_EQ(result, "41.5000           SITLAT    \nkept\r\n");
    EXPECT_EQ(said, "Update: 41.5000           SITLAT    \n");
    EXPECT_EQ(oldfp, nullptr);
    EXPECT_EQ(newfp, nullptr);
    // A pass that reads nothing writes from an empty text.
    ASSERT_TRUE(run_pass(
        std::string_view(), [] { newfp->put("rows\n"); }, result));
    EXPECT_EQ(result, "rows\n");
}

TEST(RunPass, MemoryRunningOutFailsThePassAndKeepsTheResult) {
    std::string result = "before";
    EXPECT_EQ(run_pass(
                  "a line\n",
                  [] {
                      newfp->put("half");
                      throw std::bad_alloc();
                  },
                  result)
                  .err(),
              ENOMEM);
    EXPECT_EQ(result, "before");
    EXPECT_EQ(newfp, nullptr);
}

// A write into memory that fails is a pass that failed, whichever write
// it was: its stream keeps the failure for the close. What the pass said
// is the caller's all the same.
TEST(RunPass, AFailedWriteFailsThePassAndKeepsTheResult) {
    for (const os::sys::call fn : {os::sys::call::fwrite, os::sys::call::vfprintf}) {
        std::string result = "before", said;
        os::sys::injected_fault fault(fn, 1, ENOMEM);
        EXPECT_EQ(run_pass(
                      "kept\n0.0 SITLAT\n",
                      [&said] { create_site(41.5f, -105.25f, 3.0f, 1530.0f, said); }, result)
                      .err(),
                  ENOMEM)
            << os::sys::name_of(fn);
        EXPECT_EQ(result, "before");
        EXPECT_EQ(said, "Update: 41.5000           SITLAT    \n") << os::sys::name_of(fn);
    }
}

// The texture keys are whole names, quoted or not, on parameter lines
// only; each replaced line says so, like the site keys.
TEST(RunPass, TextureKeysReplaceTheirWholeNamesOnly) {
    std::string result, said;
    ASSERT_TRUE(run_pass(
        "0.5 'SAND'\r\n0.1 CLAYPAN\n0.2 \"CLAY\" ! fine\nSILT 0.3\n1.4 BULKD\n",
        [&said] {
            create_texture_keys({0.25f, 0.5f, 0.25f, 1.2945f}, said);
        },
        result));
    EXPECT_EQ(said, "Update: 0.2500            SAND      \nUpdate: 0.2500            CLAY      \n"
                    "Update: 1.2945            BULKD     \n");
    EXPECT_EQ(result, "0.2500            SAND      \r\n0.1 CLAYPAN\n"
                      "0.2500            CLAY      \r\nSILT 0.3\n"
                      "1.2945            BULKD     \r\n");
}

// Hears every day with its date.
struct dates_heard final : daily_listener {
    std::vector<std::string> days;
    void line(std::string_view, const daily_record *day, long number) override {
        days.push_back(day == nullptr
                           ? "bad " + std::to_string(number)
                           : std::to_string(day->day) + "/" + std::to_string(day->month) + "/" +
                                 std::to_string(day->year) + " " +
                                 std::to_string(day->day_of_year));
    }
};

// Short lines go to the vectorized parser where the CPU has one (and,
// with a year too long for a layout's date, through the cache to the
// general parser for the date alone), a short line to the general one: the
// date comes the same from each, with every vector level and without.
TEST(DailyListener, HearsEachDayWithItsDate) {
    std::string text;
    for (int d = 1; d <= 40; ++d)
        text += std::to_string(d % 28 + 1) + " " + std::to_string(d / 28 + 1) + " 1999 " +
                std::to_string(d) + " 10.5 2.25 0.1\n";
    for (int k = 0; k < 3; ++k)
        text += std::to_string(5 + k) + " 3 123456789 " + std::to_string(64 + k) + " 1.5 1.5 0.5\n";
    text += "6 3 1999\n";
    text += "-7 3 +1999 67 1 1 0\n";
    for (simd_level level : {simd_level::portable, simd_level::avx2, simd_level::avx512}) {
        FILE *fp = fmemopen(text.data(), text.size(), "r");
        ASSERT_NE(fp, nullptr);
        os::line_reader reader(fp, os::max_daily_line);
        static monthly_tables t;
        daily_error err;
        daily_problems bad;
        dates_heard heard;
        daily_options how;
        how.all_bad = &bad;
        how.listener = &heard;
        how.simd = level;
        EXPECT_EQ(process_daily_weather(reader, t.prec, t.tmin, t.tmax, err, how), 0);
        std::fclose(fp);
        ASSERT_EQ(heard.days.size(), 45u);
        EXPECT_EQ(heard.days[0], "2/1/1999 1");
        EXPECT_EQ(heard.days[27], "1/2/1999 28");
        EXPECT_EQ(heard.days[39], "13/2/1999 40");
        for (size_t k = 0; k < 3; ++k)
            EXPECT_EQ(heard.days[40 + k],
                      std::to_string(5 + k) + "/3/123456789 " + std::to_string(64 + k));
        EXPECT_EQ(heard.days[43], "bad 44");
        EXPECT_EQ(heard.days[44], "-7/3/1999 67");
    }
}

} // namespace
