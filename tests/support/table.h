// Table-driven tests: a parameterised test over a table of cases, each case
// a struct whose first member, `what`, names it in the test's name and in
// the messages of a failure.
//
//   struct refusal_case { const char *what; ... };
//   TABLE_TEST(Refusal, refusal_case);
//   TEST_P(Refusal, LosesNothing) { const refusal_case &c = GetParam(); ... }
//   INSTANTIATE_TABLE(Refusal, refusal_case{"fifo", ...}, refusal_case{...});
#pragma once

#include <cctype>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

// A case's name as a test name takes it: letters, digits and underscores.
template <class Case> std::string case_name(const ::testing::TestParamInfo<Case> &info) {
    std::string name;
    for (const char *p = info.param.what; *p != '\0'; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

#define TABLE_TEST(Fixture, Case)                                                                  \
    [[maybe_unused]] void PrintTo(const Case &c, std::ostream *os) {                               \
        *os << c.what;                                                                             \
    }                                                                                              \
    class Fixture : public ::testing::TestWithParam<Case> {}

#define INSTANTIATE_TABLE(Fixture, ...)                                                            \
    INSTANTIATE_TEST_SUITE_P(Cases, Fixture, ::testing::Values(__VA_ARGS__),                       \
                             case_name<Fixture::ParamType>)
