// The words of the audit's findings: each fixed, or worded from the
// finding and the facts of its file.
#include "findings.h"
#include "shown.h"

#include <iterator>

std::string joined(const std::vector<std::string> &items, long count) {
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : ", ") + item;
    if (count > static_cast<long>(items.size()))
        text += ", ...";
    return text;
}

std::vector<std::string> warnings_of(const std::string &file, std::span<const finding> all) {
    std::vector<std::string> warnings;
    for (const finding &f : all) {
        if (f.count == 0 || f.text.empty())
            continue;
        std::string where = file;
        if (f.lines.size() == 1 && f.count == 1) {
            where += " line " + std::to_string(f.lines[0]);
        } else if (!f.lines.empty()) {
            std::vector<std::string> numbers;
            for (long l : f.lines)
                numbers.push_back(std::to_string(l));
            where +=
                " lines " + joined(numbers, f.count) + " (" + std::to_string(f.count) + " in all)";
        }
        warnings.push_back("Warning: " + where + ": " + f.text);
    }
    return warnings;
}

namespace {

std::string listed(const finding &f) {
    return joined(f.items, f.count);
}

std::string ends_early_text(const finding &, const audit_facts &facts) {
    return format_message("the file ends in %s: the months after it, to December, of the last "
                          "year enter the statistics as 0.0",
                          month_names[facts.last_month - 1]);
}
std::string no_december_text(const finding &f, const audit_facts &) {
    return "a year without a December (" + listed(f) +
           "): two years share one row of the statistics, the later overwriting the earlier";
}
std::string few_days_text(const finding &f, const char *quantity, const char *needs) {
    return counted(f.count, "month") + " left out of the " + quantity +
           " statistics for too few valid days (a " + needs + "): " + listed(f);
}
std::string few_tmax_text(const finding &f, const audit_facts &) {
    return few_days_text(f, "maximum temperature", "mean needs 2");
}
std::string few_tmin_text(const finding &f, const audit_facts &) {
    return few_days_text(f, "minimum temperature", "mean needs 2");
}
std::string few_prec_text(const finding &f, const audit_facts &) {
    return few_days_text(f, "precipitation", "total needs 1");
}
std::string no_valid_month_text(const finding &f, const audit_facts &) {
    return "no valid value in any year for " + listed(f) + ": those block lines will read nan";
}
std::string few_years_text(const finding &, const audit_facts &facts) {
    const std::string fewer = ", fewer than " + std::to_string(few_years);
    if (facts.years_with_data == facts.years)
        return "only " + counted(facts.years, "year") + " behind the statistics" + fewer;
    // Years of missing values only (an import over a longer span) add no value.
    return format_message("only %s with data behind the statistics (of %s; the other %d have no "
                          "monthly value)",
                          counted(facts.years_with_data, "year").c_str(),
                          counted(facts.years, "year row").c_str(),
                          facts.years - facts.years_with_data) +
           fewer;
}
std::string partial_prec_text(const finding &f, const audit_facts &) {
    return (f.count == 1 ? std::string("1 month's precipitation total is")
                         : std::to_string(f.count) + " months' precipitation totals are") +
           " summed from part of the month (the fewest days: " + f.items.front() + ")";
}
std::string missing_days_text(const finding &f, const audit_facts &) {
    return counted(f.count, "day") + " missing: their months have fewer days behind their values";
}
std::string missing_months_text(const finding &f, const audit_facts &) {
    return "whole months missing (" + listed(f) +
           "): no line closes such a month, so its cell keeps 0.0 and enters the statistics "
           "as a value of 0.0 (one more year behind that month, a lower mean)";
}
std::string leap_without_dec31_text(const finding &f, const audit_facts &) {
    return "December 31 of " + counted(f.count, "leap year") +
           " has no value: the source's calendar has 365 days, keeping February 29 and "
           "dropping December 31, as Daymet's does; such a December's precipitation total is "
           "summed from 30 days, and a rule that allows no day missing (--completeness wmo, "
           "wmo35) leaves it out. siteprep-import daymet --fill-from FILE.wth (or fill --donor) "
           "fills those days from a donor";
}
std::string tmin_above_tmax_text(const finding &, const audit_facts &facts) {
    return std::string("minimum temperature above maximum") +
           (facts.swapped ? " on most days: the two columns look swapped"
                          : ": both enter their means as they are");
}
std::string temperature_range_text(const finding &, const audit_facts &) {
    return format_message("temperatures outside %g to %g degrees C: they enter the monthly means",
                          static_cast<double>(coldest), static_cast<double>(hottest));
}
std::string negative_precipitation_text(const finding &, const audit_facts &) {
    return format_message("negative precipitation from %g up: counted as data, it lowers the "
                          "monthly totals",
                          static_cast<double>(missing_cut));
}
std::string heavy_precipitation_text(const finding &, const audit_facts &) {
    return format_message("daily precipitation above %g cm: check the unit",
                          static_cast<double>(wettest_day));
}
// A whole number with a comma between thousands: 10,000.
std::string thousands(double value) {
    const std::string digits = format_message("%.0f", value);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string annual_precipitation_text(const finding &, const audit_facts &facts) {
    return format_message("a mean annual precipitation total of %.1f cm, below %s or above %s: a "
                          "wrong unit or a factor of 10?",
                          facts.annual, thousands(driest_year).c_str(),
                          thousands(wettest_year).c_str());
}
std::string precipitation_in_mm_text(const finding &, const audit_facts &facts) {
    return format_message("precipitation looks like mm, not cm: %.0f%% of the days above %g and "
                          "a mean annual total of %.0f (more than %.0f%% of the days above %g, "
                          "or a total above %g, is rare in cm): divide by 10",
                          facts.heavy_share * 100, static_cast<double>(mm_like_day), facts.annual,
                          mm_like_share * 100, static_cast<double>(mm_like_day), mm_like_year);
}
std::string missing_code_text(const finding &, const audit_facts &) {
    std::string codes;
    for (size_t i = 0; i < std::size(missing_codes); ++i)
        codes += format_message("%s%g",
                                i == 0                              ? ""
                                : i + 1 == std::size(missing_codes) ? " or "
                                                                    : ", ",
                                static_cast<double>(missing_codes[i]));
    return codes + ", codes for missing values, used as data: they enter the statistics";
}
std::string same_run_text(const char *what, int days) {
    return format_message("the same %s on %d or more consecutive days", what, days);
}
std::string same_tmax_text(const finding &, const audit_facts &) {
    return same_run_text("maximum temperature", same_temperature_days);
}
std::string same_tmin_text(const finding &, const audit_facts &) {
    return same_run_text("minimum temperature", same_temperature_days);
}
std::string same_prec_text(const finding &, const audit_facts &) {
    return same_run_text("non-zero precipitation", same_precipitation_days);
}
std::string temperature_unit_text(const finding &, const audit_facts &facts) {
    return format_message("a mean maximum temperature of %.1f: the temperatures look like %s, "
                          "not degrees C",
                          facts.mean_tmax, facts.unit);
}

using wording = std::string (*)(const finding &, const audit_facts &);

// The words of each finding: fixed, or worded from the finding and the
// file's facts.
struct finding_text {
    kind what;
    const char *fixed;
    wording worded;
};

const finding_text finding_texts[] = {
    {starts_late,
     "the file starts after January: January of the first year is missing, and the months "
     "between it and the first month enter the statistics as 0.0",
     nullptr},
    {ends_early, nullptr, ends_early_text},
    {no_december, nullptr, no_december_text},
    {same_month_again,
     "the same month on consecutive lines across a change of year: taken as one month, its "
     "days counted together",
     nullptr},
    {few_tmax_days, nullptr, few_tmax_text},
    {few_tmin_days, nullptr, few_tmin_text},
    {few_prec_days, nullptr, few_prec_text},
    {partial_prec_months, nullptr, partial_prec_text},
    {no_valid_month, nullptr, no_valid_month_text},
    {few_year_rows, nullptr, few_years_text},
    {dates_skipped,
     "fields 1, 3 and 4 do not look like day, year and day of year: the date checks were "
     "skipped",
     nullptr},
    {impossible_date,
     "impossible dates (a day past the end of its month): counted in their month all the same",
     nullptr},
    {wrong_day_of_year, "the day of year disagrees with the date", nullptr},
    {out_of_order,
     "dates out of order: a month that comes again is a new month, and years may pass early",
     nullptr},
    {duplicate_date, "duplicated dates: both days are summed into their month", nullptr},
    {missing_days, nullptr, missing_days_text},
    {missing_months, nullptr, missing_months_text},
    {no_leap_calendar,
     "a 365-day calendar without February 29 (information: not counted as missing days)", nullptr},
    {leap_without_dec31, nullptr, leap_without_dec31_text},
    {tmin_above_tmax, nullptr, tmin_above_tmax_text},
    {temperature_range, nullptr, temperature_range_text},
    {negative_precipitation, nullptr, negative_precipitation_text},
    {heavy_precipitation, nullptr, heavy_precipitation_text},
    {missing_code, nullptr, missing_code_text},
    {annual_precipitation, nullptr, annual_precipitation_text},
    {precipitation_in_mm, nullptr, precipitation_in_mm_text},
    {temperature_unit, nullptr, temperature_unit_text},
    {same_tmax_run, nullptr, same_tmax_text},
    {same_tmin_run, nullptr, same_tmin_text},
    {same_prec_run, nullptr, same_prec_text},
    {empty_file,
     "the daily file holds no day: January reads nan and every other month 0.0000 in the "
     "weather block",
     nullptr},
};
static_assert(std::size(finding_texts) == kinds, "every finding has its words");

} // namespace

void word(findings &all, const audit_facts &facts) {
    for (const finding_text &t : finding_texts) {
        finding &f = all.of[t.what];
        if (f.count > 0)
            f.text = t.fixed != nullptr ? t.fixed : t.worded(f, facts);
    }
}
