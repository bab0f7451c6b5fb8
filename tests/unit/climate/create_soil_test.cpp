// Soil water characteristics and the rows of "soils.in". (The whole of
// soils.in a run writes is in the golden cases, tests/golden/soil_*.)
#include "create_soil.h"
#include "streams.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string printed(const char *format, float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, static_cast<double>(v));
    return buf;
}

struct soil_case {
    float sand, clay;
    const char *wilting_point, *field_capacity, *conductivity, *bulk_density;
};

TEST(SoilValues, PrintTheKnownValues) {
    const soil_case cases[] = {
        {40.0f, 20.0f, " 0.10642", " 0.28089", " 0.00058", " 1.29"},
        {65.0f, 10.0f, " 0.07569", " 0.20946", " 0.00178", " 1.43"},
        {20.0f, 50.0f, " 0.24359", " 0.46003", " 0.00013", " 1.14"},
    };
    for (const soil_case &c : cases) {
        float wp, fc, k, bd;
        get_soilvalues(c.sand, c.clay, wp, fc, k, bd);
        EXPECT_EQ(printed("%8.5f", wp), c.wilting_point) << c.sand << "/" << c.clay;
        EXPECT_EQ(printed("%8.5f", fc), c.field_capacity) << c.sand << "/" << c.clay;
        EXPECT_EQ(printed("%8.5f", k), c.conductivity) << c.sand << "/" << c.clay;
        EXPECT_EQ(printed("%5.2f", bd), c.bulk_density) << c.sand << "/" << c.clay;
    }
}

TEST(SoilValues, NoClayGivesNanBulkDensityOnly) {
    float wp, fc, k, bd;
    get_soilvalues(40.0f, 0.0f, wp, fc, k, bd);
    EXPECT_TRUE(std::isnan(bd));
    EXPECT_TRUE(std::isfinite(wp));
    EXPECT_TRUE(std::isfinite(fc));
    EXPECT_TRUE(std::isfinite(k));
}

std::vector<std::string> words_of(const std::string &line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

float as_float(const std::string &hex) {
    return std::bit_cast<float>(static_cast<uint32_t>(std::stoul(hex, nullptr, 16)));
}

// Every bit of the four values against an independent model
// (data/make_golden.py) over 595 textures off the whole percentages: a
// reordered, fused or widened operation changes some of them.
TEST(SoilValues, MatchTheGoldenBitsOfAnIndependentModel) {
    std::ifstream data(SITEPREP_TEST_DATA "/soil_golden.txt");
    ASSERT_TRUE(data) << "cannot read the golden data";
    const char *const names[4] = {"wilting point", "field capacity", "conductivity",
                                  "bulk density"};
    int compared = 0;
    for (std::string line; std::getline(data, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> w = words_of(line); // sand clay | four values
        ASSERT_EQ(w.size(), 7u) << line;
        const float sand = as_float(w[0]), clay = as_float(w[1]);
        float got[4];
        get_soilvalues(sand, clay, got[0], got[1], got[2], got[3]);
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(std::bit_cast<uint32_t>(got[i]),
                      std::bit_cast<uint32_t>(as_float(w[static_cast<size_t>(3 + i)])))
                << names[i] << " of sand " << sand << ", clay " << clay;
        ++compared;
    }
    EXPECT_EQ(compared, 595);
}

TEST(SoilRows, CountFollowsTheLayerCode) {
    const int expected[] = {14, 14, 3, 5, 6, 7, 9, 11, 12, 13, 14, 14, 14};
    for (int code = -1; code <= 11; ++code)
        EXPECT_EQ(soil_row_count(code), expected[code + 1]) << code;
}

std::string soil_rows(float sand, float silt, float clay, int code, std::string *said = nullptr) {
    float bulk_density = 123.0f;
    std::string rows, warning;
    EXPECT_TRUE(run_pass(
        std::string_view(),
        [&] { create_soil(sand, silt, clay, bulk_density, 0.5f, code, warning); }, rows));
    if (said != nullptr)
        *said = warning;
    return rows;
}

// Only a code that is not valid is warned of, before its rows.
TEST(SoilRows, AnInvalidCodeIsWarnedOf) {
    for (int code = -1; code <= 11; ++code) {
        std::string said;
        const std::string rows = soil_rows(0.5f, 0.25f, 0.25f, code, &said);
        EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), soil_row_count(code)) << code;
        EXPECT_EQ(said, code >= 1 && code <= 9 ? ""
                                               : "\n Invalid number of soil layers in <SITE>.sfp "
                                                 "file! \n Using default value of 9 layers. \n")
            << code;
    }
}

TEST(SoilRows, SiltIsUsedOnlyForTheSum) {
    // Both textures sum to exactly 1.0f, so neither is rescaled; only the
    // silt differs (by one unit in the last place).
    float other_silt = std::nextafter(0.25f, 1.0f);
    ASSERT_EQ((0.5f + other_silt) + 0.25f, 1.0f);
    std::string rows = soil_rows(0.5f, 0.25f, 0.25f, 9);
    EXPECT_EQ(soil_rows(0.5f, other_silt, 0.25f, 9), rows);
    EXPECT_EQ(rows.substr(0, rows.find('\n') + 1),
              "  0.0   2.0  1.28  0.28029  0.12619  0.80  0.01  0.50  0.25  "
              "0.01  0.10  0.00031  0.50\n");
}

} // namespace
