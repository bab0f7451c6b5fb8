// Soil water characteristics from texture, and the rows of "soils.in",
// written to newfp.
#pragma once

#include <string>

// Layer-count codes 1 to 9 choose the rows; any other gets a warning and 14.
inline bool is_valid_layer_code(int code) {
    return code >= 1 && code <= 9;
}
// The warning for another code, in two sentences.
inline constexpr char layer_code_warning[] = "Invalid number of soil layers in <SITE>.sfp file!";
inline constexpr char layer_code_default[] = "Using default value of 9 layers.";

void get_soilvalues(float Sa, float Cl, float &wilting_point, float &field_capacity,
                    float &conductivity, float &bulk_density);
// The texture as the soil rows take it: fractions, rescaled unless the
// three sum to exactly 1.
void normalise_texture(float &sand, float &silt, float &clay);
int soil_row_count(int layer_code);
// The bottom of the deepest soil row a layer-count code writes, in cm (10
// for code 1 ... 210 for code 9 and for any other code).
float soil_depth_of_code(int layer_code);
// The rows of a layer-count code, to newfp; for a code that is not valid,
// the warning appended to said first (the caller's to print).
void create_soil(float sand, float silt, float clay, float &bulk_density, float pass_through,
                 int layer_code, std::string &said);
