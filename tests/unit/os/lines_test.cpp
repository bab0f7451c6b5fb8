// Files read line by line, in large blocks; through the seam, a read that
// fails ends the reading with its errno and never hands out part of a line,
// and a pipe's short reads lose nothing.
#include "checksum.h"
#include "lines.h"
#include "open.h"
#include "sys_faults.h"
#include "tokens.h"
#include "tool.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using os::sys::call;

// Lines of every length up to a few hundred bytes, over several blocks.
std::string many_lines() {
    std::string text;
    for (int i = 0; text.size() < 3 * os::io_block_size; ++i)
        text += std::string(static_cast<size_t>(i % 300), 'a' + static_cast<char>(i % 26)) + "\n";
    return text;
}

// What a reader hands out until it stops, each line whole.
std::string read_all(os::line_reader &reader) {
    std::string text;
    for (std::string_view line; os::next_line(reader, line);)
        text += line;
    return text;
}

TEST(LineReader, AReadErrorEndsTheReadingWithItsErrno) {
    const std::string text = many_lines();
    for (const bool regular : {true, false}) {
        for (const long nth : {1, 2, 3}) {
            scratch_dir dir;
            dir.write("f", text);
            os::result<os::fd> opened = os::open_input(dir.file("f"));
            ASSERT_TRUE(opened);
            os::line_reader reader = regular ? os::line_reader(opened->get(), SIZE_MAX)
                                             : os::line_reader::of_stream(opened->get());
            os::sys::injected_fault fault(call::read, nth, EIO);
            const std::string got = read_all(reader);
            EXPECT_EQ(reader.error, EIO) << regular << nth;
            // What came before the failure, in whole lines only.
            EXPECT_EQ(text.compare(0, got.size(), got), 0) << regular << nth;
            EXPECT_TRUE(got.empty() || got.back() == '\n') << regular << nth;
            EXPECT_LT(got.size(), static_cast<size_t>(nth) * os::io_block_size) << regular << nth;
        }
    }
}

// Nor does the checksum of what was read, summed block by block.
TEST(LineReader, ShortReadsOfAStreamLoseNothing) {
    const std::string text = many_lines() + "no line end at the end";
    scratch_dir dir;
    dir.write("f", text);
    os::result<os::fd> opened = os::open_input(dir.file("f"));
    ASSERT_TRUE(opened);
    os::line_reader reader = os::line_reader::of_stream(opened->get());
    reader.summing = true;
    os::sys::injected_fault fault(call::read, 1, os::sys::short_transfer, 1000);
    EXPECT_EQ(read_all(reader), text);
    EXPECT_EQ(reader.error, 0);
    EXPECT_EQ(reader.crc, crc32_of(text.data(), text.size()));
    EXPECT_GT(os::sys::calls_of(call::read), 4);
}

TEST(LineReader, HandsOutWholeLinesOfAnyLength) {
    std::string long_line(200000, 'x');
    std::string content = "a\r\n" + long_line + "\n\nlast";
    FILE *fp = fmemopen(content.data(), content.size(), "r");
    ASSERT_NE(fp, nullptr);
    os::line_reader reader(fp);
    std::vector<std::string> lines;
    std::string_view line;
    while (os::next_line(reader, line))
        lines.emplace_back(line);
    fclose(fp);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "a\r\n");
    EXPECT_EQ(lines[1], long_line + "\n");
    EXPECT_EQ(lines[2], "\n");
    EXPECT_EQ(lines[3], "last");
    EXPECT_STREQ(line_end_of(lines[0]), "\r\n");
    EXPECT_STREQ(line_end_of(lines[1]), "\n");
}

} // namespace
