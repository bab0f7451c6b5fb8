// Soil water characteristics from texture, and the rows of "soils.in".
#include "create_soil.h"
#include "fd.h"
#include "shown.h"
#include "streams.h"

#include <cmath>

// Saxton et al. (1986) soil-water equations with this tool's adjustments.
// Each stored intermediate is rounded to float; the expressions are written
// in the order they must be evaluated, since a reordered sum can change the
// last printed digit.
void get_soilvalues(float Sa, float Cl, float &wilting_point, float &field_capacity,
                    float &conductivity, float &bulk_density) {
    const double sa = Sa;
    const double cl = Cl;
    const double sa2 = std::pow(sa, 2.0);
    const double cl2 = std::pow(cl, 2.0);

    const float A = static_cast<float>(
        std::exp(-4.396 - 0.0715 * cl - 0.000488 * sa2 - cl * (4.285e-05 * sa2)));
    const float B = static_cast<float>(-3.14 - 0.00222 * cl2 - cl * (3.484e-05 * sa2));
    const float theta_s = static_cast<float>((0.332 - 0.0007251 * sa) + 0.1276 * std::log10(cl));
    const float theta_15 =
        static_cast<float>(std::pow(15.0 / static_cast<double>(A), 1.0 / static_cast<double>(B)));
    const float theta_033 =
        static_cast<float>(std::pow(0.333 / static_cast<double>(A), 1.0 / static_cast<double>(B)));
    const float K = static_cast<float>(std::exp(
        (12.012 - 0.0755 * sa) + (((0.03671 * sa - 3.895) - 0.1103 * cl) + 0.00087546 * cl2) /
                                     static_cast<double>(theta_s)));

    // The adjustments are a float multiply then an add, not a multiply by
    // 0.85, 1.07 or 0.92: the rounding differs.
    const float bulk_base = 2.65f * (1.0f - theta_s);
    wilting_point = theta_15 * -0.15f + theta_15;
    field_capacity = theta_033 * 0.07f + theta_033;
    conductivity = K / 1500.0f;
    bulk_density = bulk_base * -0.08f + bulk_base;
}

namespace {

constexpr int max_rows = 14;

const float min_depth[max_rows] = {0, 2, 5, 10, 20, 30, 45, 60, 75, 90, 105, 120, 150, 180};
const float max_depth[max_rows] = {2, 5, 10, 20, 30, 45, 60, 75, 90, 105, 120, 150, 180, 210};
const float evap_coeff[max_rows] = {0.8f, 0.2f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const float trans_coeff[max_rows] = {0.01f, 0.04f, 0.25f, 0.30f, 0.10f, 0.05f, 0.04f,
                                     0.03f, 0.02f, 0.01f, 0,     0,     0,     0};
const float organic_matter[max_rows] = {0.01f, 0.01f, 0.01f, 0.01f, 0.01f, 0.01f, 0.01f,
                                        0.01f, 0.01f, 0.01f, 0.01f, 0.01f, 0.01f, 0.01f};
// Share of the wilting point shown in column 11, rows 1 to 4.
const float wilting_share[4] = {0.8f, 0.6f, 0.4f, 0.1f};

// Rows for layer-count codes 1 to 9.
const int rows_for_code[9] = {3, 5, 6, 7, 9, 11, 12, 13, 14};

} // namespace

void normalise_texture(float &sand, float &silt, float &clay) {
    // Percentages or fractions: anything not summing to exactly 1 is rescaled.
    const float sum = (sand + silt) + clay;
    if (sum != 1.0f) {
        sand = sand / sum;
        silt = silt / sum;
        clay = clay / sum;
    }
}

int soil_row_count(int layer_code) {
    if (!is_valid_layer_code(layer_code))
        return max_rows;
    return rows_for_code[layer_code - 1];
}

float soil_depth_of_code(int layer_code) {
    return max_depth[soil_row_count(layer_code) - 1];
}

void create_soil(float sand, float silt, float clay, float &bulk_density, float pass_through,
                 int layer_code, std::string &said) {
    if (!is_valid_layer_code(layer_code))
        said += format_message("\n %s \n %s \n", layer_code_warning, layer_code_default);
    const int rows = soil_row_count(layer_code);

    normalise_texture(sand, silt, clay);

    for (int r = 0; r < rows; ++r) {
        float wilting_point, field_capacity, conductivity;
        get_soilvalues(sand * 100.0f, clay * 100.0f, wilting_point, field_capacity, conductivity,
                       bulk_density);
        const float share = r < 4 ? wilting_point * wilting_share[r] : 0.0f;
        newfp->print("%5.1f %5.1f %5.2f %8.5f %8.5f %5.2f %5.2f", static_cast<double>(min_depth[r]),
                     static_cast<double>(max_depth[r]), static_cast<double>(bulk_density),
                     static_cast<double>(field_capacity), static_cast<double>(wilting_point),
                     static_cast<double>(evap_coeff[r]), static_cast<double>(trans_coeff[r]));
        newfp->print(" %5.2f %5.2f %5.2f %5.2f %8.5f %5.2f\n", static_cast<double>(sand),
                     static_cast<double>(clay), static_cast<double>(organic_matter[r]),
                     static_cast<double>(share), static_cast<double>(conductivity),
                     static_cast<double>(pass_through));
    }
}
