// Monthly statistics over the years, and the weather pass that writes
// them as the block of a site parameter file.
#pragma once

#include "process_weather.h"

#include <string>

// Computes mean, deviation and skewness of every month over the years;
// returns how many months' skewness could not be computed and was replaced
// by 0 (the weather pass says so for each).
int stats(int years, const month_table &table, float mean[months], float deviation[months],
          float skewness[months]);

// What the weather block of a site is made of, computed from the daily file
// before the site file is touched.
struct weather_stats {
    int years = 0;
    float prec_mean[months], prec_dev[months], prec_skew[months];
    float tmin_mean[months], tmin_dev[months], tmin_skew[months];
    float tmax_mean[months], tmax_dev[months], tmax_skew[months];
    int skew_replaced = 0;     // months whose skewness was replaced by 0
    int count[3][months] = {}; // valid year cells of precipitation, Tmin, Tmax
};

// The statistics of the tables of years year rows.
void compute_stats(weather_stats &ws, int years, const month_table &prec, const month_table &tmin,
                   const month_table &tmax);

// The weather pass: a line for each skewness replaced by 0 appended to
// said (the caller's to print), then oldfp copied to newfp with lines 3
// to 62 replaced by the block.
void weather(const weather_stats &ws, std::string &said);
