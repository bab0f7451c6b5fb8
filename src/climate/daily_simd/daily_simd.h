// The vectorized parser of daily lines, which the reading loop of
// process_weather drives: the same results as parse_daily_line.
#pragma once

#include "daily_line.h"
#include "lines.h"

// The vector instructions a daily parser may use.
enum class simd_level { portable, avx2, avx512 };

// The layouts of a file's short lines that the vectorized parser keeps: the
// thread's table, and the lines and hits of the current window; a file whose
// lines keep changing layout stops using it.
struct line_layouts;
struct layout_cache {
    line_layouts *layouts = nullptr;
    unsigned lines = 0, hits = 0;
    bool given_up = false;
    bool usable() const { return layouts != nullptr && !given_up; }
};

// The daily-line parser of one file, its vector instructions chosen at run
// time, the most it may use given (tests and benchmarks compare the paths);
// the same results as parse_daily_line, whatever the line's layout.
struct fast_daily_parser {
    explicit fast_daily_parser(simd_level limit = simd_level::avx512);
    simd_level level = simd_level::portable;
    layout_cache cache;
    bool vectorized() const { return level != simd_level::portable; }
};

// Bytes the vectorized parser reads of a line: a longer line, or one that
// ends past the block read, goes to the general parser.
inline constexpr size_t fast_line_bytes = 64;

// The date of a line the vectorized parser did not know it of (a layout
// whose date fields are too long for it): the general parser reads it.
void give_general_date(daily_record &day, std::string_view line);

// Gives a day parsed by the vectorized parser the date it found (date),
// or, where it did not know it, the date the general parser reads in line.
inline void give_date(daily_record &day, const daily_date &date, std::string_view line) {
    if (!date.known) {
        give_general_date(day, line);
        return;
    }
    day.day = static_cast<int>(date.day);
    day.year = static_cast<int>(date.year);
    day.day_of_year = static_cast<int>(date.day_of_year);
}

// Parses a daily line as parse_daily_line does, its date too, vectorized when the line
// allows, its layout learnt or met in the cache as a reader's would be (a
// test's and a fuzzer's way to compare the two).
parse_status parse_daily_line_fast(fast_daily_parser &parser, std::string_view line,
                                   daily_record &day, std::string &why);

// Parses up to most lines from the reader's position, stopping before the
// first that needs the general parser or lies past the block read: the
// common case of a daily file, a line of at most fast_line_bytes whose
// first seven fields are plain numbers. Each day gets the general parser's
// values; lines and dates, unless null, get each line and its date fields.
// Returns how many lines were parsed.
size_t next_fast_days(os::line_reader &reader, fast_daily_parser &parser, daily_record *days,
                      std::string_view *lines, daily_date *dates, size_t most);
