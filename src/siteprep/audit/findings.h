// What the audit's parts share: its thresholds, the findings of a daily
// file and of a site file, and the facts the words of a finding need.
// Included by the audit's own files only.
#pragma once

#include "layout.h"
#include "site_line.h"

#include <span>
#include <string>
#include <vector>

// ---- thresholds ----

// Monthly statistics over fewer years say little (climate normals take 30).
inline constexpr int few_years = 10;
// Beyond the lowest (-89.2 C, Vostok) and highest (56.7 C, Death Valley)
// temperatures ever recorded.
inline constexpr float coldest = -90.0f, hottest = 60.0f;
// Precipitation is in cm a day, the unit the simulation reads.
// A day's rain above 30 cm is rare outside tropical cyclones and monsoons.
inline constexpr float wettest_day = 30.0f;
// Mean annual totals below the driest deserts' few cm or above the wettest
// places' ~1,200 cm suggest a wrong unit or a factor of 10.
inline constexpr double driest_year = 1.0, wettest_year = 1000.0;
// A file in mm, the commonest mistake, passes the bounds above with
// plausible numbers; its distribution gives it away. Days of 3 cm (30 mm)
// and more are about 1 day in 100 in most climates and 1 in 15 in the
// wettest, while a file in mm passes 3 on about 1 day in 5 of a temperate
// climate; and mean annual totals above 500 cm are found only at a handful
// of the wettest places on earth, where a temperate file in mm lands.
inline constexpr float mm_like_day = 3.0f;
inline constexpr double mm_like_share = 0.10, mm_like_year = 500.0;
inline constexpr long mm_like_min_days = 365; // fewer valid days say too little
// No climate has a mean daily maximum above 45 C: a higher mean is another
// unit (Kelvin from 200, with minima above 180; Fahrenheit up to 130).
inline constexpr double hottest_mean = 45.0, kelvin_mean = 200.0, kelvin_min = 180.0,
                        fahrenheit_mean = 130.0;
// Runs of the same value that measurements rarely give: a filled gap.
inline constexpr int same_temperature_days = 10, same_precipitation_days = 5;
// Values that stand for "missing" in many data sets, used here as data.
inline constexpr float missing_codes[] = {999.0f, 999.9f, 9999.0f};
// The lines of a finding named in its warning.
inline constexpr size_t named_lines = 10;

// The findings of a daily file, in the order they are reported.
enum kind {
    starts_late,
    ends_early,
    no_december,
    same_month_again,
    few_tmax_days,
    few_tmin_days,
    few_prec_days,
    partial_prec_months,
    no_valid_month,
    few_year_rows,
    dates_skipped,
    impossible_date,
    wrong_day_of_year,
    out_of_order,
    duplicate_date,
    missing_days,
    missing_months,
    no_leap_calendar,
    leap_without_dec31,
    tmin_above_tmax,
    temperature_range,
    negative_precipitation,
    heavy_precipitation,
    missing_code,
    annual_precipitation,
    precipitation_in_mm,
    temperature_unit,
    same_tmax_run,
    same_tmin_run,
    same_prec_run,
    empty_file,
    kinds
};

// The findings of a site file, in the order they are reported: a key found
// in another name, too few lines, no block, soil values other than the
// list's.
enum site_file_kind { renamed_key, short_file, not_block, soil_values, site_file_kinds };

struct finding {
    long count = 0;
    std::vector<long> lines;
    std::vector<std::string> items;
    std::string text;
};

// Every finding of a file, by its kind.
template <typename kind_of, int count> struct findings_of {
    finding of[static_cast<size_t>(count)];
    void note(kind_of k, long line, const std::string &item = std::string(), long times = 1) {
        finding &f = of[k];
        f.count += times;
        if (line > 0 && f.lines.size() < named_lines)
            f.lines.push_back(line);
        if (!item.empty() && f.items.size() < named_lines)
            f.items.push_back(item);
    }
};
using findings = findings_of<kind, kinds>;
using site_file_findings = findings_of<site_file_kind, site_file_kinds>;

inline constexpr const char *month_names[12] = {"January",   "February", "March",    "April",
                                                "May",       "June",     "July",     "August",
                                                "September", "October",  "November", "December"};

// What the words of a finding need beyond its own count, lines and items:
// facts of the whole file.
struct audit_facts {
    int last_month = 12;     // the month of the last day
    int years = 0;           // year rows behind the statistics
    int years_with_data = 0; // those with a monthly value
    double annual = 0;       // mean annual precipitation total
    double heavy_share = 0;  // share of the valid days above mm_like_day
    double mean_tmax = 0;
    const char *unit = ""; // what the temperatures look like
    bool swapped = false;  // minimum above maximum on most days
};

// The items of a finding as a list: "a, b, c, ..." when there are more
// than it names.
std::string joined(const std::vector<std::string> &items, long count);

// One warning a finding that has words, naming the file and the finding's
// lines.
std::vector<std::string> warnings_of(const std::string &file, std::span<const finding> all);

// The words of every finding that was made.
void word(findings &all, const audit_facts &facts);

// What the keyword, block and soil steps will do to the site file whose
// text is given (named site_file in warnings); listed_as names the site's list
// line.
std::vector<std::string> audit_site_file(const std::string &text, const std::string &site_file,
                                         const site_line &site, const std::string &listed_as);
