// Monthly statistics over the years, and the weather pass that writes
// them as the block of a site parameter file.
#pragma once

#include "process_weather.h"

// Computes mean, deviation and skewness of every month over the years. A
// month whose skewness cannot be computed says so on standard output, or,
// with replaced given, is counted there for the caller to say later.
void stats(int years, const month_table &table, float mean[months], float deviation[months],
           float skewness[months], int *replaced = nullptr);

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

// The statistics of the tables of years year rows; the skewness messages
// are counted, not printed.
void compute_stats(weather_stats &ws, int years, const month_table &prec, const month_table &tmin,
                   const month_table &tmax);

// Reads the daily file and computes the statistics; false when the file
// cannot be used (err says where and why).
bool compute_weather(FILE *wthfp, weather_stats &ws, daily_error &err);
// The same from a regular file's descriptor.
bool compute_weather(int wthfd, weather_stats &ws, daily_error &err);

// Prints the skewness messages of a site's statistics.
void say_skew_replacements(const weather_stats &ws);

// The weather pass: oldfp to newfp with lines 3 to 62 replaced by the block.
void weather(const weather_stats &ws);
