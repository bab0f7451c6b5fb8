// Tokens as messages show them: short and printable.
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

} // namespace
