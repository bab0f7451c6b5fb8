// The daily readers' own: the vectorized parser of daily lines, which the
// general reader drives, and the exact powers of ten both parse with.
#pragma once

#include "process_weather.h"

// Powers of ten that a float holds exactly: one float division of at most
// seven digits by one of them is correctly rounded, as strtof would be.
extern const float exact_powers_of_ten[8];

// The daily-line parser for CPUs with AVX2 (chosen at run time), with the
// line layouts of one daily file; the same results as parse_daily_line.
struct line_layouts;
struct fast_daily_parser {
    fast_daily_parser();
    bool vectorized() const;         // false: every line goes to parse_daily_line
    line_layouts *layouts = nullptr; // the thread's: one file is read at a time
    // A file whose lines keep changing layout goes to the general parser
    // alone: lines and cache hits of the current window.
    unsigned lines = 0, hits = 0;
    bool given_up = false;
};

// Whether new parsers may use AVX2 (tests and benchmarks compare the two).
extern bool daily_simd_enabled;

// Parses a daily line as parse_daily_line does. With padded, line_padding
// bytes past the line's end may be read.
parse_status parse_daily_line_fast(fast_daily_parser &parser, std::string_view line, bool padded,
                                   daily_record &day, std::string &why);

// The next line of a daily file, as next_line gives it, found without a
// library call for a short line when the parser is vectorized.
bool next_daily_line(line_reader &reader, const fast_daily_parser &parser, std::string_view &line);

// Parses up to most lines from the reader's position, stopping before the
// first that needs the general parser or lies past the block read: the
// common case of a daily file, a short line of a layout seen before. Each
// day gets the general parser's values; lines and dates, unless null, get
// each line and, where its layout allows, its date fields. Returns how many
// lines were parsed.
size_t next_fast_days(line_reader &reader, fast_daily_parser &parser, daily_record *days,
                      std::string_view *lines, daily_date *dates, size_t most);
