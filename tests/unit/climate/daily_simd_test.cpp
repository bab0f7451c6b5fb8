// The vectorized daily-line parser gives exactly what the general parser
// gives: the same lines accepted, the same messages, the same float bits.
#include "audit/audit.h"
#include "daily_simd/daily_simd.h"
#include "data.h"
#include "layout.h"
#include "site_line.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace {

// The vectorized parsers this CPU has (AVX2, and AVX-512 where it has it),
// each with its cache of layouts and without it.
std::vector<fast_daily_parser> vector_parsers() {
    std::vector<fast_daily_parser> parsers;
    for (simd_level level : {simd_level::avx2, simd_level::avx512}) {
        fast_daily_parser parser(level);
        if (parser.level != level)
            continue;
        parsers.push_back(parser);
        parser.cache.given_up = true;
        parsers.push_back(parser);
    }
    return parsers;
}

std::string level_name(const fast_daily_parser &parser) {
    return std::string(parser.level == simd_level::avx512 ? "AVX-512" : "AVX2") +
           (parser.cache.usable() ? "" : " without the cache");
}

std::string describe(parse_status status, const daily_record &d, const std::string &why) {
    if (status != parse_status::ok)
        return std::to_string(static_cast<int>(status)) + " " + why;
    return std::to_string(d.month) + " " + std::to_string(std::bit_cast<uint32_t>(d.tmax)) + " " +
           std::to_string(std::bit_cast<uint32_t>(d.tmin)) + " " +
           std::to_string(std::bit_cast<uint32_t>(d.prec)) + " dated " + std::to_string(d.day) +
           " " + std::to_string(d.year) + " " + std::to_string(d.day_of_year);
}

// Every decimal from -999.999 to 9999.999 with one to three decimals, in
// all three value fields, against strtof.
TEST(FastDaily, EveryShortDecimalIsStrtofsFloat) {
    std::string why;
    long checked = 0;
    std::vector<fast_daily_parser> parsers = vector_parsers();
    if (parsers.empty())
        GTEST_SKIP() << "no AVX2 on this CPU";
    for (int decimals = 1; decimals <= 3; ++decimals) {
        int scale = 1;
        for (int i = 0; i < decimals; ++i)
            scale *= 10;
        for (long n = -999L * scale - (scale - 1); n <= 9999L * scale + (scale - 1); ++n) {
            char number[32];
            const long whole = std::labs(n) / scale, part = std::labs(n) % scale;
            std::snprintf(number, sizeof number, "%s%ld.%0*ld", n < 0 ? "-" : "", whole, decimals,
                          part);
            char text[128];
            const int size =
                std::snprintf(text, sizeof text, "1 7 2001 182 %s %s %s\n", number, number, number);
            const std::string_view line(text, static_cast<size_t>(size));
            const float expected = std::strtof(number, nullptr);
            for (fast_daily_parser &parser : parsers) {
                daily_record day;
                ASSERT_EQ(parse_daily_line_fast(parser, line, day, why), parse_status::ok)
                    << number;
                ASSERT_EQ(std::bit_cast<uint32_t>(day.tmax), std::bit_cast<uint32_t>(expected))
                    << number << " " << level_name(parser);
                ASSERT_EQ(std::bit_cast<uint32_t>(day.tmin), std::bit_cast<uint32_t>(expected));
                ASSERT_EQ(std::bit_cast<uint32_t>(day.prec), std::bit_cast<uint32_t>(expected));
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 11000L * (10 + 100 + 1000) - 3);
}

// Lines of the shapes daily files come in (compact, tabs, fixed width, the
// optional columns, lines of 64 and 65 bytes), each altered at random in the
// ways real and broken files differ, through every parser.
TEST(FastDaily, AlteredLinesGiveTheGeneralParsersResult) {
    const char *const bases[] = {
        "1 1 2001 1 8.2 -4.4 0.00\n",
        "12 12 1999 365 -12.5 -20.25 1.5\n",
        "3\t4\t2000\t94\t21.3\t7.0\t12.75\n",
        "1 10 2001 274 .5 5. -0\n",
        " 31  12  1999  365   -1.25   12.50    0.07\n",
        "1 1 1900 1 20.2 9.6 0.00 203.0 56.5 3.25\n",
        "  1   1   2001    1  1234.567  -123.4567  0.0000001         \n",  // 64 bytes
        "  1   1   2001    1  1234.567  -123.4567  0.0000001          \n", // 65
    };
    const char *const pieces[] = {" ",    "\t", "-",     "+",   ".",       ".5",
                                  "5.",   "e3", "0x1p3", "nan", "inf",     "" /* a NUL byte */,
                                  "\xff", "\r", "13",    "0",   "9999999", "12345678",
                                  " 7",   "\v", "--",    "1e-3"};
    std::mt19937 random(20261207);
    std::vector<fast_daily_parser> parsers = vector_parsers();
    if (parsers.empty())
        GTEST_SKIP() << "no AVX2 on this CPU";
    long differing = 0, tried = 0;
    for (int round = 0; round < 200000; ++round) {
        std::string line = bases[random() % std::size(bases)];
        if (round % 3 != 0) { // a third stay as they are, so that their layouts are cached
            const size_t at = random() % (line.size() - 1);
            std::string piece = pieces[random() % std::size(pieces)];
            if (piece.empty())
                piece.assign(1, '\0');
            switch (random() % 3) {
            case 0:
                line.replace(at, 1, piece);
                break; // a byte replaced
            case 1:
                line.insert(at, piece);
                break; // something inserted
            default:
                line.erase(at, random() % 3 + 1); // bytes dropped, fields lost
            }
            if (line.empty() || line.back() != '\n')
                line += '\n';
        }
        if (line.size() > 200)
            continue;
        daily_record general;
        std::string general_why;
        const parse_status general_status = parse_daily_line(line, general, general_why);
        const std::string expected = describe(general_status, general, general_why);
        ++tried;
        for (fast_daily_parser &parser : parsers) {
            daily_record fast;
            std::string fast_why;
            const parse_status fast_status = parse_daily_line_fast(parser, line, fast, fast_why);
            if (describe(fast_status, fast, fast_why) != expected) {
                ++differing;
                ADD_FAILURE() << level_name(parser) << ", line \"" << line
                              << "\": " << describe(fast_status, fast, fast_why) << " against "
                              << expected;
            }
        }
        if (differing > 5)
            break;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(tried, 150000);
}

// What reading a whole daily file gives: the last year row, the error, the
// bad lines and audit findings a check collects and the bits of every table.
std::string read_whole(const std::string &text, simd_level level, bool check) {
    static month_table prec, tmin, tmax;
    FILE *fp = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    daily_error err;
    daily_problems problems;
    auto audit = start_daily_audit();
    daily_options how;
    how.all_bad = check ? &problems : nullptr;
    how.listener = check ? listener_of(audit.get()) : nullptr;
    how.simd = level;
    os::line_reader reader(fp, os::max_daily_line);
    const int last = process_daily_weather(reader, prec, tmin, tmax, err, how);
    std::fclose(fp);
    std::string result = std::to_string(last) + " " + std::to_string(err.line) + " " + err.reason +
                         " " + std::to_string(problems.count);
    if (check) {
        site_line site;
        site.name = "plot";
        const audit_said said = audit_site(site, nullptr, audit.get(), last + 1, prec, tmin, tmax);
        for (const std::string &w : said.warnings)
            result += w + "\n";
        result += said.summary;
    }
    for (const daily_error &e : problems.first)
        result += " " + std::to_string(e.line) + ":" + e.reason;
    for (const month_table *table : {&prec, &tmin, &tmax})
        for (int y = 0; y < max_years; ++y)
            for (int m = 0; m < months; ++m)
                result += std::to_string(std::bit_cast<uint32_t>((*table)[y][m])) + ",";
    return result;
}

// A day's line of one of the shapes daily files come in, from three random
// values; fixed to a width of pad_to bytes where that is not 0.
struct line_shape {
    const char *format; // of day, month, year, day of year and the three values
    bool any_widths;    // each field's width and each value's decimals at random
    size_t pad_to;
};

std::string shaped_line(const line_shape &shape, std::mt19937 &random, int y, int m, int d) {
    const double a = static_cast<double>(random() % 4000) / 100 - 15,
                 b = static_cast<double>(random() % 3000) / 100 - 25,
                 c = static_cast<double>(random() % 5000) / 1000;
    char buffer[160];
    if (shape.any_widths) {
        const auto width = [&](unsigned most) { return static_cast<int>(random() % most) + 1; };
        std::snprintf(buffer, sizeof buffer, "%*d %*d %*d %*d %*.*f %*.*f %*.*f\n", width(4), d,
                      width(3), m, width(6), y, width(4), d, width(8), width(3), a, width(8),
                      width(3), b, width(8), width(4), c);
    } else {
        std::snprintf(buffer, sizeof buffer, shape.format, d, m, y, d, a, b, c);
    }
    std::string line = buffer;
    if (shape.pad_to > line.size())
        line.insert(line.size() - 1, shape.pad_to - line.size(), ' ');
    return line;
}

// Whole files through the reader, vectorized and not: runs of lines are
// parsed and summed together, so a fault in where a run stops (at a bad
// line, at a line across two block reads, at a line too long for the
// vectors), in the line count or in the sums shows in the tables or
// messages.
TEST(FastDaily, WholeFilesGiveThePortableReadersResult) {
    const line_shape compact{"%d %d %d %d %.1f %.1f %.2f\n", false, 0};
    struct file_case {
        const char *name;
        int years;
        int altered_every;      // 0: no line altered; else every nth
        const char *altered_to; // a format given the day and the month
        line_shape shape = {"%d %d %d %d %.1f %.1f %.2f\n", false, 0};
    };
    const file_case cases[] = {
        {"clean, several blocks", 60, 0, ""},
        {"a bad month", 3, 500, "%d 13 2001 1 1.0 1.0 1.0\n"},
        {"blank lines and CR LF", 3, 7, "\r\n"},
        {"missing values and not-a-number", 3, 5, "%d %d 2001 1 -99 nan -99.9\n"},
        {"minus zero", 3, 3, "%d %d 2001 1 -0.0 -0 -0.00\n"},
        {"an eighth field", 3, 4, "%d %d 2001 1 1.5 1.5 1.5 8\n"},
        {"long lines", 3, 6, "%d %d 2001 1 7777777777777777777777777777777.5 1.5 0.0\n"},
        {"too many years", max_years + 1, 0, ""},
        {"dates out of order", 3, 9, "%d %d 1999 300 1.5 1.5 1.5\n"},
        {"negative and long date fields", 3, 8, "-%d %d -123456789 -0 1.5 1.5 1.5\n"},
        {"negative year, positive day", 3, 8, "%d %d -1999 -5 1.5 1.5 1.5\n"},
        {"negative day, positive year", 3, 8, "-%d %d 2001 12 1.5 1.5 1.5\n"},
        {"eight-digit year", 3, 8, "%d %d 19990101 -31 1.5 1.5 1.5\n"},
        {"fixed width, several blocks",
         20,
         0,
         "",
         {"%3d %3d %5d %4d %7.2f %7.2f %7.2f\n", false, 0}},
        {"ten columns",
         20,
         50,
         "%d %d 2001 1 1.5 1.5 1.5 x y\n",
         {"%d %d %d %d %.1f %.1f %.2f 203.0 56.5 3.25\n", false, 0}},
        {"any widths", 20, 0, "", {"", true, 0}},
        {"64-byte lines", 20, 0, "", {compact.format, false, 64}},
        {"65-byte lines", 3, 0, "", {compact.format, false, 65}},
        {"lines of 64 and 65 bytes",
         3,
         2,
         "%d %d 2001 1 1.5 1.5 1.5                                 \n",
         {compact.format, false, 64}},
    };
    std::mt19937 random(7);
    for (const file_case &c : cases) {
        long line = 0;
        std::string text;
        for_each_day({.first_year = 1900, .years = c.years, .leap_days = false},
                     [&](const file_day &d) {
                         char buffer[96];
                         if (c.altered_every == 0 || ++line % c.altered_every != 0) {
                             text += shaped_line(c.shape, random, d.year, d.month, d.day);
                             return;
                         }
                         std::snprintf(buffer, sizeof buffer, c.altered_to, d.day, d.month);
                         text += buffer;
                     });
        const std::string portable[] = {read_whole(text, simd_level::portable, false),
                                        read_whole(text, simd_level::portable, true)};
        for (simd_level level : {simd_level::avx2, simd_level::avx512})
            for (bool check : {false, true}) {
                const std::string fast = read_whole(text, level, check);
                EXPECT_TRUE(fast == portable[check])
                    << c.name << (level == simd_level::avx2 ? " (AVX2)" : "")
                    << (check ? " (as a check reads it)" : "") << ": " << fast.substr(0, 120)
                    << " against " << portable[check].substr(0, 120);
            }
    }
}

// Lines of every shape are parsed by the vectorized path itself, run after
// run, with the general parser's values, and those of few layouts through
// the cache: a shape falling back to a slower path would cost every file of
// that shape its speed.
TEST(FastDaily, EveryShapeStaysInTheVectorizedPath) {
    const line_shape shapes[] = {{"%d %d %d %d %.1f %.1f %.2f\n", false, 0},
                                 {"%3d %3d %5d %4d %7.2f %7.2f %7.2f\n", false, 0},
                                 {"%d %d %d %d %.1f %.1f %.2f 203.0 56.5 3.25\n", false, 0},
                                 {"%d\t%d\t%d\t%d\t%.1f\t%.1f\t%.2f\r\n", false, 0},
                                 {"", true, 0},
                                 {"%d %d %d %d %.1f %.1f %.2f\n", false, 64}};
    std::mt19937 random(11);
    std::vector<fast_daily_parser> parsers = vector_parsers();
    if (parsers.empty())
        GTEST_SKIP() << "no AVX2 on this CPU";
    for (fast_daily_parser &parser : parsers)
        for (const line_shape &shape : shapes) {
            std::vector<std::string> lines;
            os::line_reader reader(nullptr);
            for (int d = 1; d <= 28; ++d) {
                lines.push_back(shaped_line(shape, random, 1999, d % 12 + 1, d));
                std::memcpy(reader.block.data() + reader.end, lines.back().data(),
                            lines.back().size());
                reader.end += lines.back().size();
            }
            daily_record days[32];
            daily_date dates[32];
            const unsigned hits_before = parser.cache.hits;
            ASSERT_EQ(next_fast_days(reader, parser, days, nullptr, dates, 32), lines.size())
                << level_name(parser) << ": " << lines.front();
            // Lines of a few layouts meet them in the cache (the values vary,
            // so the first lines bring several).
            const bool cacheable =
                parser.cache.usable() && !shape.any_widths &&
                (parser.level == simd_level::avx512 || lines.front().size() <= 32);
            if (cacheable) {
                EXPECT_GE(parser.cache.hits - hits_before, lines.size() / 4)
                    << level_name(parser) << ": " << lines.front();
            }
            for (size_t k = 0; k < lines.size(); ++k) {
                daily_record general;
                std::string why;
                ASSERT_EQ(parse_daily_line(lines[k], general, why), parse_status::ok);
                give_date(days[k], dates[k], lines[k]);
                EXPECT_EQ(describe(parse_status::ok, days[k], ""),
                          describe(parse_status::ok, general, ""))
                    << lines[k];
                EXPECT_TRUE(dates[k].known && dates[k].day == static_cast<long>(k) + 1 &&
                            dates[k].year == 1999 && dates[k].day_of_year == dates[k].day)
                    << lines[k];
            }
        }
}

// A run of lines stops before a line that the block read cuts off, even
// when the bytes left after the block's end would complete it, and takes
// the block's first lines, which have no bytes before them.
TEST(FastDaily, ARunStopsAtTheEndOfTheBlockRead) {
    std::vector<fast_daily_parser> parsers = vector_parsers();
    if (parsers.empty())
        GTEST_SKIP() << "no AVX2 on this CPU";
    const std::string line = "1 1 2001 1 1.0 1.0 1.0\n";
    for (fast_daily_parser &parser : parsers) {
        os::line_reader reader(nullptr);
        const std::string block = line + line + line + line;
        std::memcpy(reader.block.data(), block.data(), block.size());
        reader.end = 3 * line.size() + 10; // the fourth line is cut off after 10 bytes
        daily_record days[8];
        EXPECT_EQ(next_fast_days(reader, parser, days, nullptr, nullptr, 8), 3u);
        EXPECT_EQ(reader.pos, 3 * line.size());
    }
}

} // namespace
