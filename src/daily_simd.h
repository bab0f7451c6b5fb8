// The daily readers' own: the vectorized parser of daily lines, which the
// general reader drives, and the exact powers of ten both parse with.
#pragma once

#include "process_weather.h"

// Powers of ten that a float holds exactly: one float division of at most
// seven digits by one of them is correctly rounded, as strtof would be.
extern const float exact_powers_of_ten[8];

// The vector instructions a daily parser may use.
enum class simd_level { portable, avx2, avx512 };

// The most that new parsers may use (tests and benchmarks compare the
// paths); each uses what the CPU has up to it.
extern simd_level daily_simd_limit;

// The daily-line parser, its vector instructions chosen at run time; the
// same results as parse_daily_line, whatever the line's layout.
struct fast_daily_parser {
    fast_daily_parser();
    simd_level level = simd_level::portable;
    bool vectorized() const { return level != simd_level::portable; }
};

// Bytes the vectorized parser reads of a line: a longer line, or one that
// ends past the block read, goes to the general parser.
inline constexpr size_t fast_line_bytes = 64;

// Parses a daily line as parse_daily_line does, vectorized when the line
// allows (a test's and a fuzzer's way to compare the two).
parse_status parse_daily_line_fast(const fast_daily_parser &parser, std::string_view line,
                                   daily_record &day, std::string &why);

// Parses up to most lines from the reader's position, stopping before the
// first that needs the general parser or lies past the block read: the
// common case of a daily file, a line of at most fast_line_bytes whose
// first seven fields are plain numbers. Each day gets the general parser's
// values; lines and dates, unless null, get each line and its date fields.
// Returns how many lines were parsed.
size_t next_fast_days(line_reader &reader, const fast_daily_parser &parser, daily_record *days,
                      std::string_view *lines, daily_date *dates, size_t most);
