// What the check says of a completeness rule and a period.
#include "statistics_notes.h"
#include "calendar.h"
#include "shown.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

// Months named in a list, at most this many.
constexpr int named_months = 10;

std::string fixed4(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", v);
    return text;
}

// The largest change of one series of the block, where both have a value.
std::string largest_change(const char *name, const float now[months], const float before[months]) {
    double largest = 0;
    int at = -1;
    for (int m = 0; m < months; ++m) {
        const double change =
            std::fabs(static_cast<double>(now[m]) - static_cast<double>(before[m]));
        if (std::isfinite(change) && change > largest) {
            largest = change;
            at = m;
        }
    }
    return std::string(name) + " " + fixed4(largest) +
           (at >= 0 ? " (" + std::string(month_names[at]) + ")" : std::string());
}

std::string year_month(long year, int month) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld-%02d", year, month);
    return text;
}

// The months of the period that had a value of a quantity by default and
// are left out by the rule: how many, the first few named.
std::string left_out(const std::vector<month_summary> &list, int quantity) {
    int count = 0;
    std::string named;
    const unsigned bit = 1u << quantity;
    for (const month_summary &s : list)
        if (s.in_period && (s.legacy & bit) != 0 && (s.used & bit) == 0 && ++count <= named_months)
            named += (named.empty() ? "" : ", ") + year_month(s.year, s.month);
    if (count == 0)
        return std::string("0 of ") + quantity_names[quantity];
    return std::to_string(count) + " of " + quantity_names[quantity] + " (" + named +
           (count > named_months ? ", ..." : "") + ")";
}

// Whether n of period years reach the share, exactly: the share as the
// shortest decimal that reads back as the float the user's text gave
// (0.8, not 0.800000012), against the digits of n / period by long
// division, so that 8 of 10 reach 0.8.
bool reaches_share(int n, int period, float share) {
    char text[64]; // the fixed form of any float shares take: at most 48 characters
    const char *end = std::to_chars(text, text + sizeof text, share, std::chars_format::fixed).ptr;
    long rest = n;
    for (const char *c = text; c != end; ++c) {
        if (*c == '.')
            continue;
        const long digit = rest / period;
        if (digit != *c - '0')
            return digit > *c - '0';
        rest = rest % period * 10;
    }
    return true; // every digit of the share matched: n / period is at least the share
}

} // namespace

std::string choice_note(const statistics_choice &choice) {
    return "Statistics under " + choice_name(choice) +
           " (the defaults: --completeness legacy over every year row); each site's changes "
           "against the defaults follow its other lines";
}

std::string change_note(const std::string &weather_file, const statistics_choice &choice,
                        const site_weather &weather) {
    const weather_stats &now = weather.ws, &before = weather.legacy;
    std::string note = shown_name(weather_file) + " under " + choice_name(choice) +
                       ", against the defaults: largest change " +
                       largest_change("PRECIP", now.prec_mean, before.prec_mean) + ", " +
                       largest_change("PRCSTD", now.prec_dev, before.prec_dev) + ", " +
                       largest_change("TMN2M", now.tmin_mean, before.tmin_mean) + ", " +
                       largest_change("TMX2M", now.tmax_mean, before.tmax_mean) +
                       "; months left out: ";
    for (int q = 0; q < stat_quantities; ++q)
        note += (q > 0 ? ", " : "") + left_out(weather.month_list, q);
    if (choice.first_year != 0) {
        const int outside = before.years - now.years;
        note += "; " + std::to_string(outside) + (outside == 1 ? " year row" : " year rows") +
                " outside " + period_name(choice);
    }
    return note;
}

std::vector<std::string> normals_warnings(const std::string &weather_file,
                                          const statistics_choice &choice, float share,
                                          const weather_stats &ws) {
    std::vector<std::string> said;
    const int period = choice.last_year - choice.first_year + 1;
    for (int m = 0; m < months; ++m) {
        std::string few;
        for (int q = 0; q < stat_quantities; ++q)
            if (const int n = ws.count[q][m]; !reaches_share(n, period, share))
                few += (few.empty() ? "" : ", ") + std::string(quantity_names[q]) + " " +
                       std::to_string(n);
        if (!few.empty())
            said.push_back(format_message("Warning: %s: %s has values in fewer than %g of the %d "
                                          "years of %s that a normal needs (--normals-min): %s",
                                          shown_name(weather_file).c_str(), month_names[m], share,
                                          period, period_name(choice).c_str(), few.c_str()));
    }
    return said;
}
