// Tokens as messages show them: short and printable; words wrapped into
// lines.
#include "shown.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(Quoting, BadTokensAreShortAndPrintable) {
    const struct {
        std::string token, shown;
    } cases[] = {{"wet", "\"wet\""},
                 {std::string("a\0\r\"b", 5), "\"a\\x00\\x0d\\x22b\""},
                 {std::string(50, 'x'), "\"" + std::string(40, 'x') + "\"..."},
                 {"\xc3\xa9", "\"\\xc3\\xa9\""}};
    for (const auto &c : cases)
        EXPECT_EQ(quote_token(c.token), c.shown);
}

// Words fill each line as far as the width takes them; a word too long
// for any line has one of its own, and runs of blanks count as one.
TEST(Wrapping, FillsLinesGreedilyAfterTheIndent) {
    const struct {
        const char *text;
        size_t indent, width;
        const char *lines;
    } cases[] = {{"one two three", 2, 9, "  one two\n  three\n"},
                 {"one two  three", 0, 13, "one two three\n"},
                 {"a verylongword b", 1, 6, " a\n verylongword\n b\n"},
                 {"", 4, 10, ""}};
    for (const auto &c : cases)
        EXPECT_EQ(wrapped(c.text, c.indent, c.width), c.lines) << c.text;
}

} // namespace
