// The layer-count code a restriction depth gives: the largest code whose
// soil rows end at or above it (the depths of the soil rows: 10, 30, 45,
// 60, 90, 120, 150, 180 and 210 cm), code 1 above 10 cm.
#include "soil/soil.h"

#include <gtest/gtest.h>

namespace {

TEST(Soil, TheCodeAboveARestriction) {
    const struct {
        double depth;
        int code;
    } cases[] = {{5, 1},  {10, 1}, {29.9, 1}, {30, 2},  {44.9, 2}, {45, 3},
                 {59, 3}, {60, 4}, {90, 5},   {179, 7}, {210, 9},  {400, 9}};
    for (const auto &c : cases)
        EXPECT_EQ(import::code_above_restriction(c.depth), c.code) << c.depth;
}

} // namespace
