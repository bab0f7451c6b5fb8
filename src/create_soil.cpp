// Soil water characteristics from texture, and the rows of "soils.in".
#include "siteprep.h"

#include <cmath>

void get_soilvalues(float Sa, float Cl, float &wilting_point, float &field_capacity,
                    float &conductivity, float &bulk_density) {}

int soil_row_count(int layer_code) { return 14; }

void create_soil(float sand, float silt, float clay, float &bulk_density, float pass_through,
                 int layer_code) {}
