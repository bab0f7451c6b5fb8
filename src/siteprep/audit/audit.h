// The audit of --check: what a site's daily file and site file will do to
// the statistics.
#pragma once

#include "process_weather.h"
#include "site_line.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Warnings of site-list values out of their range, a line each.
std::vector<std::string> audit_site_line(const site_line &site, const char *list_path,
                                         long line_number);

// What the audit gathers from a daily file as it is read, line by line.
struct daily_audit;
std::unique_ptr<daily_audit, void (*)(daily_audit *)> start_daily_audit();
// The audit as the daily reader's listener (nullptr for none).
daily_listener *listener_of(daily_audit *audit);
// A non-blank daily line; day is nullptr for a line that is not valid.
void audit_daily_line(daily_audit &a, std::string_view line, const daily_record *day, long number);

// What the audit says of a site: its warnings, a line each, and the line
// that sums up its daily file's findings (empty when there are none).
struct audit_said {
    std::vector<std::string> warnings;
    std::string summary;
};

// Warns of what the site file (its text, nullptr: none) and the daily file
// (audited as it was read, nullptr: not read), with the tables read from it,
// will do to the statistics, and of soil values where the site file and the
// site's list line (listed_as names it: "sites.txt line 4") disagree,
// unless the run replaces those (soil_keys_replaced: --texture-keys).
audit_said audit_site(const site_line &site, const std::string *site_text, daily_audit *audit,
                      int years, const month_table &prec, const month_table &tmin,
                      const month_table &tmax, const std::string &listed_as = "its site-list line",
                      bool soil_keys_replaced = false);
