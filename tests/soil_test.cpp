// Soil water characteristics and the rows of "soils.in".
#include "create_soil.h"
#include "streams.h"
#include "tool_runner.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

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

// The same steps, each product and sum forced through its own rounding by a
// volatile store. Any fused multiply-add in the build differs from this in
// the last bit for some of the inputs below.
void soilvalues_step_by_step(float Sa, float Cl, float &wp, float &fc, float &k, float &bd) {
    volatile double sa = Sa, cl = Cl;
    volatile double sa2 = sa * sa, cl2 = cl * cl;
    volatile double t1 = 0.0715 * cl, t2 = 0.000488 * sa2, t3 = 4.285e-05 * sa2;
    volatile double t4 = cl * t3;
    volatile double a1 = -4.396 - t1;
    volatile double a2 = a1 - t2;
    volatile double a3 = a2 - t4;
    volatile float A = static_cast<float>(std::exp(a3));
    volatile double b1 = 0.00222 * cl2, b2 = 3.484e-05 * sa2;
    volatile double b3 = cl * b2;
    volatile double b4 = -3.14 - b1;
    volatile float B = static_cast<float>(b4 - b3);
    volatile double s1 = 0.0007251 * sa;
    volatile double s2 = 0.332 - s1;
    volatile double s3 = 0.1276 * std::log10(cl);
    volatile float ts = static_cast<float>(s2 + s3);
    volatile float t15 = static_cast<float>(std::pow(15.0 / A, 1.0 / B));
    volatile float t033 = static_cast<float>(std::pow(0.333 / A, 1.0 / B));
    volatile double k1 = 0.0755 * sa;
    volatile double k2 = 12.012 - k1;
    volatile double k3 = 0.03671 * sa;
    volatile double k4 = k3 - 3.895;
    volatile double k5 = 0.1103 * cl;
    volatile double k6 = k4 - k5;
    volatile double k7 = 0.00087546 * cl2;
    volatile double k8 = k6 + k7;
    volatile double k9 = k8 / static_cast<double>(ts);
    volatile float K = static_cast<float>(std::exp(k2 + k9));
    volatile float base1 = 1.0f - ts;
    volatile float base = 2.65f * base1;
    volatile float w1 = t15 * -0.15f;
    wp = w1 + t15;
    volatile float f1 = t033 * 0.07f;
    fc = f1 + t033;
    k = K / 1500.0f;
    volatile float d1 = base * -0.08f;
    bd = d1 + base;
}

bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(SoilValues, EveryOperationIsRoundedOnItsOwn) {
    int compared = 0;
    for (int sand = 0; sand <= 100; sand += 3) {
        for (int clay = 1; clay + sand <= 100; clay += 3) {
            float Sa = static_cast<float>(sand) * 1.01f, Cl = static_cast<float>(clay) * 0.99f;
            float wp, fc, k, bd, rwp, rfc, rk, rbd;
            get_soilvalues(Sa, Cl, wp, fc, k, bd);
            soilvalues_step_by_step(Sa, Cl, rwp, rfc, rk, rbd);
            ASSERT_TRUE(same_bits(wp, rwp)) << Sa << " " << Cl;
            ASSERT_TRUE(same_bits(fc, rfc)) << Sa << " " << Cl;
            ASSERT_TRUE(same_bits(k, rk)) << Sa << " " << Cl;
            ASSERT_TRUE(same_bits(bd, rbd)) << Sa << " " << Cl;
            ++compared;
        }
    }
    EXPECT_GT(compared, 500);
}

TEST(SoilRows, CountFollowsTheLayerCode) {
    const int expected[] = {14, 14, 3, 5, 6, 7, 9, 11, 12, 13, 14, 14, 14};
    for (int code = -1; code <= 11; ++code)
        EXPECT_EQ(soil_row_count(code), expected[code + 1]) << code;
}

// ---- "soils.in" end to end ----

struct soil_file_case {
    const char *what;
    const char *texture; // sand silt clay
    const char *code;
    const char *expected; // the whole of soils.in
    const char *expected_out;
};

void PrintTo(const soil_file_case &c, std::ostream *os) {
    *os << c.what;
}

const char code1_rows[] =
    "  0.0   2.0  1.29  0.28089  0.10642  0.80  0.01  0.40  0.20  0.01  0.09  0.00058  7.25\n"
    "  2.0   5.0  1.29  0.28089  0.10642  0.20  0.04  0.40  0.20  0.01  0.06  0.00058  7.25\n"
    "  5.0  10.0  1.29  0.28089  0.10642  0.00  0.25  0.40  0.20  0.01  0.04  0.00058  7.25\n";

const char rows_4_to_14[] =
    " 10.0  20.0  1.29  0.28089  0.10642  0.00  0.30  0.40  0.20  0.01  0.01  0.00058  7.25\n"
    " 20.0  30.0  1.29  0.28089  0.10642  0.00  0.10  0.40  0.20  0.01  0.00  0.00058  7.25\n"
    " 30.0  45.0  1.29  0.28089  0.10642  0.00  0.05  0.40  0.20  0.01  0.00  0.00058  7.25\n"
    " 45.0  60.0  1.29  0.28089  0.10642  0.00  0.04  0.40  0.20  0.01  0.00  0.00058  7.25\n"
    " 60.0  75.0  1.29  0.28089  0.10642  0.00  0.03  0.40  0.20  0.01  0.00  0.00058  7.25\n"
    " 75.0  90.0  1.29  0.28089  0.10642  0.00  0.02  0.40  0.20  0.01  0.00  0.00058  7.25\n"
    " 90.0 105.0  1.29  0.28089  0.10642  0.00  0.01  0.40  0.20  0.01  0.00  0.00058  7.25\n"
    "105.0 120.0  1.29  0.28089  0.10642  0.00  0.00  0.40  0.20  0.01  0.00  0.00058  7.25\n"
    "120.0 150.0  1.29  0.28089  0.10642  0.00  0.00  0.40  0.20  0.01  0.00  0.00058  7.25\n"
    "150.0 180.0  1.29  0.28089  0.10642  0.00  0.00  0.40  0.20  0.01  0.00  0.00058  7.25\n"
    "180.0 210.0  1.29  0.28089  0.10642  0.00  0.00  0.40  0.20  0.01  0.00  0.00058  7.25\n";

const char warning[] = "\n Invalid number of soil layers in <SITE>.sfp file! \n"
                       " Using default value of 9 layers. \n";

class SoilFile : public ::testing::TestWithParam<soil_file_case> {};

TEST_P(SoilFile, HoldsTheSiteRows) {
    const soil_file_case &c = GetParam();
    scratch_dir dir;
    dir.write("sites.txt",
              std::string("plot 41.5 -105.25 ") + c.texture + " 9.99 7.249 " + c.code + " 1530\n");
    dir.write("plot.sfp", site_file_with_tail(""));
    dir.write("plot.wth", "1 1 2000 1 10.0 -2.0 0.5\n");
    dir.write("soils.in", "rows of an earlier run\n");
    tool_result r = run_tool(dir.path(), {"sites.txt"});
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_EQ(dir.read("soils.in"), c.expected) << c.what;
    EXPECT_EQ(r.out.substr(0, std::strlen(c.expected_out)), c.expected_out) << c.what;
    if (*c.expected_out == '\0') {
        EXPECT_EQ(r.out.find("Invalid number"), std::string::npos) << c.what;
    }
}

const std::string all_rows = std::string(code1_rows) + rows_4_to_14;

INSTANTIATE_TEST_SUITE_P(
    Codes, SoilFile,
    ::testing::Values(soil_file_case{"code1_percentages", "40 40 20", "1", code1_rows, ""},
                      soil_file_case{"code1_fractions", "0.4 0.4 0.2", "1", code1_rows, ""},
                      soil_file_case{"code9", "40 40 20", "9", all_rows.c_str(), ""},
                      soil_file_case{"code0", "40 40 20", "0", all_rows.c_str(), warning},
                      soil_file_case{"code12", "40 40 20", "12", all_rows.c_str(), warning},
                      soil_file_case{"code_negative", "40 40 20", "-2", all_rows.c_str(), warning}),
    [](const ::testing::TestParamInfo<soil_file_case> &info) { return info.param.what; });

TEST(SoilFileValues, OtherTexturesAndDegenerateOnes) {
    const struct {
        const char *texture;
        const char *first_row;
        const char *fifth_row;
    } cases[] = {
        {"0.65 0.25 0.10",
         "  0.0   2.0  1.43  0.20946  0.07569  0.80  0.01  0.65  0.10  0.01  0.06  0.00178 -3.00\n",
         " 20.0  30.0  1.43  0.20946  0.07569  0.00  0.10  0.65  0.10  0.01  0.00  0.00178 "
         "-3.00\n"},
        {"0.20 0.30 0.50",
         "  0.0   2.0  1.14  0.46003  0.24359  0.80  0.01  0.20  0.50  0.01  0.19  0.00013 -3.00\n",
         " 20.0  30.0  1.14  0.46003  0.24359  0.00  0.10  0.20  0.50  0.01  0.00  0.00013 "
         "-3.00\n"},
        {"0 0 0",
         "  0.0   2.0  -nan     -nan     -nan  0.80  0.01  -nan  -nan  0.01  -nan     -nan -3.00\n",
         " 20.0  30.0  -nan     -nan     -nan  0.00  0.10  -nan  -nan  0.01  0.00     -nan "
         "-3.00\n"},
        {"60 40 0",
         "  0.0   2.0  -nan  0.21403  0.05057  0.80  0.01  0.60  0.00  0.01  0.04  1.18386 -3.00\n",
         nullptr},
    };
    for (const auto &c : cases) {
        scratch_dir dir;
        dir.write("sites.txt", std::string("plot 1 2 ") + c.texture + " 1.3 -2.999 2 5\n");
        dir.write("plot.sfp", site_file_with_tail(""));
        dir.write("plot.wth", "1 1 2000 1 10.0 -2.0 0.5\n");
        tool_result r = run_tool(dir.path(), {"sites.txt"});
        EXPECT_EQ(r.status, 0) << c.texture;
        EXPECT_EQ(r.out.find("Invalid number"), std::string::npos) << c.texture;
        std::string soils = dir.read("soils.in");
        std::string first = soils.substr(0, soils.find('\n') + 1);
        EXPECT_EQ(first, c.first_row) << c.texture;
        if (c.fifth_row != nullptr) {
            size_t pos = 0;
            for (int i = 0; i < 4; ++i)
                pos = soils.find('\n', pos) + 1;
            EXPECT_EQ(soils.substr(pos, soils.find('\n', pos) + 1 - pos), c.fifth_row) << c.texture;
        }
    }
}

std::string soil_rows(float sand, float silt, float clay, int code) {
    float bulk_density = 123.0f;
    std::string rows;
    EXPECT_TRUE(run_pass(
        std::string_view(), [&] { create_soil(sand, silt, clay, bulk_density, 0.5f, code); },
        rows));
    return rows;
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
