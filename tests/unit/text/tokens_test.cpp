// Single numeric tokens: whole tokens only.
#include "tokens.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>

namespace {

struct token_case {
    const char *token;
    bool valid;
    float value;
    bool finite = true; // parse_finite_float takes it too, when valid
};

// As the test's name shows a case: its token, not its bytes (an address
// among them), so that ctest names it the same from build to build.
void PrintTo(const token_case &c, std::ostream *out) {
    *out << '"' << c.token << (c.valid ? "\" taken" : "\" refused");
}

class FloatToken : public ::testing::TestWithParam<token_case> {};

TEST_P(FloatToken, ParsesOnlyWholeNumbers) {
    const token_case &c = GetParam();
    float v = -12345.0f;
    EXPECT_EQ(parse_float(c.token, v), c.valid) << c.token;
    if (c.valid && !std::isnan(c.value)) {
        EXPECT_EQ(v, c.value) << c.token;
    }
    float finite = -12345.0f;
    EXPECT_EQ(parse_finite_float(c.token, finite), c.valid && c.finite) << c.token;
    if (c.valid && c.finite) {
        EXPECT_EQ(finite, c.value) << c.token;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, FloatToken,
    ::testing::Values(
        token_case{"41.5", true, 41.5f}, token_case{"-0.25", true, -0.25f},
        token_case{"+3", true, 3.0f}, token_case{"1e2", true, 100.0f},
        token_case{"0x1p3", true, 8.0f, false}, token_case{"1e50", true, INFINITY, false},
        token_case{"nan", true, NAN, false}, token_case{".5", true, 0.5f},
        token_case{"41.5x", false, 0}, token_case{"1e", false, 0}, token_case{"+-1", false, 0},
        token_case{"++1", false, 0}, token_case{"+", false, 0}, token_case{"", false, 0},
        token_case{"abc", false, 0}, token_case{"1,5", false, 0},
        token_case{"-inf", true, -INFINITY, false}, token_case{"Infinity", true, INFINITY, false},
        token_case{"0x10", true, 16.0f, false}, token_case{"1e999", true, INFINITY, false},
        token_case{"1e-50", true, 0.0f}, token_case{"-3.4e38", true, -3.4e38f}),
    [](const ::testing::TestParamInfo<token_case> &c) { return "case" + std::to_string(c.index); });

TEST(IntToken, AcceptsOnlyWhole32BitNumbers) {
    const struct {
        const char *token;
        bool valid;
        int value;
    } cases[] = {{"9", true, 9},           {"-3", true, -3},
                 {"+12", true, 12},        {"2147483647", true, INT32_MAX},
                 {"9.0", false, 0},        {"3abc", false, 0},
                 {"2147483648", false, 0}, {"0x10", false, 0},
                 {"+-1", false, 0},        {"", false, 0}};
    for (const auto &c : cases) {
        int v = -1;
        EXPECT_EQ(parse_int(c.token, v), c.valid) << c.token;
        if (c.valid) {
            EXPECT_EQ(v, c.value) << c.token;
        }
    }
}

TEST(YearRangeToken, AcceptsOnlyFirstDashLastInPlainDigits) {
    const struct {
        const char *token;
        bool valid;
        int first, last;
    } cases[] = {{"1991-2020", true, 1991, 2020}, {"2000-2000", true, 2000, 2000},
                 {"1-9999", true, 1, 9999},       {" 1991- 2020", false, 0, 0},
                 {"1991-2020 ", false, 0, 0},     {"+1991-2020", false, 0, 0},
                 {"2020-1991", false, 0, 0},      {"0-10", false, 0, 0},
                 {"19910-2020", false, 0, 0},     {"1991-20200", false, 0, 0},
                 {"1991", false, 0, 0},           {"-2020", false, 0, 0},
                 {"1991-", false, 0, 0},          {"1991-2020-2030", false, 0, 0}};
    for (const auto &c : cases) {
        int first = -1, last = -1;
        EXPECT_EQ(parse_year_range(c.token, first, last), c.valid) << c.token;
        if (c.valid) {
            EXPECT_EQ(first, c.first) << c.token;
            EXPECT_EQ(last, c.last) << c.token;
        }
    }
}

TEST(DoubleToken, AcceptsOnlyAWholeToken) {
    double v = 0;
    EXPECT_TRUE(parse_double("2.5", v));
    EXPECT_EQ(v, 2.5);
    for (const char *bad : {" 2.5", "2.5 ", "2.5km", "", "+"})
        EXPECT_FALSE(parse_double(bad, v)) << bad;
    EXPECT_TRUE(parse_finite_double("1e308", v));
    EXPECT_EQ(v, 1e308);
    for (const char *bad : {"1e309", "nan", "-inf", "0x10", "2.5 "})
        EXPECT_FALSE(parse_finite_double(bad, v)) << bad;
}

} // namespace
