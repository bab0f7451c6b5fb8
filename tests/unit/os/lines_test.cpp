// Files read line by line, in large blocks.
#include "lines.h"
#include "tokens.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(LineReader, HandsOutWholeLinesOfAnyLength) {
    std::string long_line(200000, 'x');
    std::string content = "a\r\n" + long_line + "\n\nlast";
    FILE *fp = fmemopen(content.data(), content.size(), "r");
    ASSERT_NE(fp, nullptr);
    line_reader reader(fp);
    std::vector<std::string> lines;
    std::string_view line;
    while (next_line(reader, line))
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
