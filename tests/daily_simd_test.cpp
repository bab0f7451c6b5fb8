// The vectorized daily-line parser gives exactly what the general parser
// gives: the same lines accepted, the same messages, the same float bits.
#include "audit.h"
#include "batch_builder.h"
#include "daily_simd.h"
#include "site_list.h"
#include "siteprep.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace {

// A line in a buffer with the padding a reader's block has after it.
struct padded_line {
    char bytes[256 + line_padding] = {};
    std::string_view set(std::string_view text) {
        std::memcpy(bytes, text.data(), text.size());
        std::memset(bytes + text.size(), 'x', line_padding);
        return {bytes, text.size()};
    }
};

std::string describe(parse_status status, const daily_record &d, const std::string &why) {
    if (status != parse_status::ok)
        return std::to_string(static_cast<int>(status)) + " " + why;
    return std::to_string(d.month) + " " + std::to_string(std::bit_cast<uint32_t>(d.tmax)) + " " +
           std::to_string(std::bit_cast<uint32_t>(d.tmin)) + " " +
           std::to_string(std::bit_cast<uint32_t>(d.prec));
}

// Every decimal from -999.999 to 9999.999 with one to three decimals, in
// all three value fields, against strtof.
TEST(FastDaily, EveryShortDecimalIsStrtofsFloat) {
    fast_daily_parser parser;
    padded_line buffer;
    std::string why;
    long checked = 0;
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
            daily_record day;
            const std::string_view line = buffer.set({text, static_cast<size_t>(size)});
            ASSERT_EQ(parse_daily_line_fast(parser, line, true, day, why), parse_status::ok)
                << number;
            const float expected = std::strtof(number, nullptr);
            ASSERT_EQ(std::bit_cast<uint32_t>(day.tmax), std::bit_cast<uint32_t>(expected))
                << number;
            ASSERT_EQ(std::bit_cast<uint32_t>(day.tmin), std::bit_cast<uint32_t>(expected));
            ASSERT_EQ(std::bit_cast<uint32_t>(day.prec), std::bit_cast<uint32_t>(expected));
            ++checked;
        }
    }
    EXPECT_EQ(checked, 11000L * (10 + 100 + 1000) - 3);
}

// Lines of a few layouts, each altered at random in the ways real and
// broken files differ, through both parsers.
TEST(FastDaily, AlteredLinesGiveTheGeneralParsersResult) {
    const char *const bases[] = {"1 1 2001 1 8.2 -4.4 0.00\n", "12 12 1999 365 -12.5 -20.25 1.5\n",
                                 "3\t4\t2000\t94\t21.3\t7.0\t12.75\n", "1 10 2001 274 .5 5. -0\n"};
    const char *const pieces[] = {" ",    "\t", "-",     "+",   ".",       ".5",
                                  "5.",   "e3", "0x1p3", "nan", "inf",     "" /* a NUL byte */,
                                  "\xff", "\r", "13",    "0",   "9999999", "12345678",
                                  " 7",   "\v", "--",    "1e-3"};
    std::mt19937 random(20261207);
    fast_daily_parser parser;
    padded_line buffer;
    long differing = 0, tried = 0;
    for (int round = 0; round < 200000; ++round) {
        std::string line = bases[random() % 4];
        if (round % 3 != 0) { // a third stay unaltered, so that their layouts are cached
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
        daily_record fast, general;
        std::string fast_why, general_why;
        const parse_status fast_status =
            parse_daily_line_fast(parser, buffer.set(line), true, fast, fast_why);
        const parse_status general_status = parse_daily_line(line, general, general_why);
        ++tried;
        if (describe(fast_status, fast, fast_why) !=
            describe(general_status, general, general_why)) {
            ++differing;
            ADD_FAILURE() << "line \"" << line << "\": " << describe(fast_status, fast, fast_why)
                          << " against " << describe(general_status, general, general_why);
            if (differing > 5)
                break;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(tried, 150000);
}

// What reading a whole daily file gives: the last year row, the error, the
// bad lines and audit findings a check collects and the bits of every table.
std::string read_whole(const std::string &text, bool vectorized, bool check) {
    static month_table prec, tmin, tmax;
    daily_simd_enabled = vectorized;
    FILE *fp = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    daily_error err;
    daily_problems problems;
    auto audit = start_daily_audit();
    const int last = read_daily_weather(fp, prec, tmin, tmax, err, check ? &problems : nullptr,
                                        check ? listener_of(audit.get()) : nullptr);
    std::fclose(fp);
    daily_simd_enabled = true;
    std::string result = std::to_string(last) + " " + std::to_string(err.line) + " " + err.reason +
                         " " + std::to_string(problems.count);
    if (check) {
        site_line site;
        site.name = "plot";
        const audit_said said = audit_site(site, -1, audit.get(), last + 1, prec, tmin, tmax);
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

// Whole files through the reader, vectorized and not: runs of lines of
// known layouts are parsed and summed together, so a fault in where a run
// stops, in the line count or in the sums shows in the tables or messages.
TEST(FastDaily, WholeFilesGiveThePortableReadersResult) {
    struct file_case {
        const char *name;
        int years;
        int altered_every;      // 0: no line altered; else every nth
        const char *altered_to; // a format given the day and the month
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
        // Short date fields of mixed signs stay in the vectorized path.
        {"negative year, positive day", 3, 8, "%d %d -1999 -5 1.5 1.5 1.5\n"},
        {"negative day, positive year", 3, 8, "-%d %d 2001 12 1.5 1.5 1.5\n"},
        {"eight-digit year", 3, 8, "%d %d 19990101 -31 1.5 1.5 1.5\n"},
    };
    std::mt19937 random(7);
    for (const file_case &c : cases) {
        long line = 0;
        const std::string text =
            daily_file({1900, c.years, 0, false}, [&](int y, int m, int d, int) {
                char buffer[96];
                if (c.altered_every != 0 && ++line % c.altered_every == 0)
                    std::snprintf(buffer, sizeof buffer, c.altered_to, d, m);
                else
                    std::snprintf(buffer, sizeof buffer, "%d %d %d %d %.1f %.1f %.2f\n", d, m, y, d,
                                  static_cast<double>(random() % 4000) / 100 - 15,
                                  static_cast<double>(random() % 3000) / 100 - 25,
                                  static_cast<double>(random() % 5000) / 1000);
                return std::string(buffer);
            });
        for (bool check : {false, true}) {
            const std::string fast = read_whole(text, true, check);
            const std::string portable = read_whole(text, false, check);
            EXPECT_TRUE(fast == portable)
                << c.name << (check ? " (as a check reads it)" : "") << ": " << fast.substr(0, 120)
                << " against " << portable.substr(0, 120);
        }
    }
}

// A run of lines stops before a line that the block read cuts off, even
// when the bytes left after the block's end would complete it.
TEST(FastDaily, ARunStopsAtTheEndOfTheBlockRead) {
    fast_daily_parser parser;
    if (!parser.vectorized())
        GTEST_SKIP() << "no AVX2 on this CPU";
    const std::string line = "1 1 2001 1 1.0 1.0 1.0\n";
    padded_line first;
    daily_record day;
    std::string why;
    ASSERT_EQ(parse_daily_line_fast(parser, first.set(line), true, day, why), parse_status::ok);
    line_reader reader(nullptr);
    const std::string block = line + line + line + line;
    std::memcpy(reader.block.data(), block.data(), block.size());
    reader.end = 3 * line.size() + 10; // the fourth line is cut off after 10 bytes
    daily_record days[8];
    EXPECT_EQ(next_fast_days(reader, parser, days, nullptr, nullptr, 8), 3u);
    EXPECT_EQ(reader.pos, 3 * line.size());
}

} // namespace
