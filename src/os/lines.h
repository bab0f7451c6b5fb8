// Reading a file line by line in large blocks: the site list, a site
// parameter file, a daily weather file, an import's input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// Longest lines accepted: a daily weather line, and a line of the site list
// or of a site parameter file.
inline constexpr size_t max_daily_line = 64 * 1024;
inline constexpr size_t max_text_line = 1024 * 1024;

// The size of the blocks files are read and copied in.
inline constexpr size_t io_block_size = 1 << 16;

// Bytes readable past the end of a reader's block read, so that a
// vector load from the start of a line in it stays in bounds.
inline constexpr size_t line_padding = 64;

// Reads a stream line by line in large blocks. A line is handed out with its
// line end; a line longer than max_line ends the reading (too_long).
struct line_reader {
    explicit line_reader(FILE *stream, size_t max_line = SIZE_MAX);
    // Reads a regular file's descriptor, whose first short read is its end.
    line_reader(int descriptor, size_t max_line);
    // Reads any other descriptor (a pipe, standard input), whose end is a
    // read of nothing.
    static line_reader of_stream(int descriptor, size_t max_line = SIZE_MAX);
    FILE *fp;
    int fd = -1;
    bool regular = true; // a short read of fd is its end
    size_t max_line;
    std::vector<char> block;
    size_t pos = 0;
    size_t end = 0;
    bool at_eof = false;
    bool too_long = false;
    int error = 0; // errno of a failed read, 0 if none
    std::string carry;
    // With summing, crc is the CRC-32 of the bytes read so far: of the
    // whole file once next_line has read to its end.
    bool summing = false;
    uint32_t crc = 0;
};

// Sets line to the next line; false at end of input, after a read error
// (reader.error then holds the errno) or at a line that is too long.
bool next_line(line_reader &reader, std::string_view &line);

// "line longer than N bytes" for a limit.
std::string too_long_reason(size_t max_line);

} // namespace os
