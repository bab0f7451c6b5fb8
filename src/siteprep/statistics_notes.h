// What the check says of a completeness rule and a period: the run's
// statistics against the defaults, the months they leave out, and the
// calendar months with too few years for a normal.
#pragma once

#include "site.h"

#include <string>
#include <vector>

// The line that names the choice at the start of a check's output.
std::string choice_note(const statistics_choice &choice);

// What the choice changes of a site's statistics (weather made with
// compare): the largest change of PRECIP, PRCSTD, TMN2M and TMX2M against
// the defaults, with its month, and the months left out by the rule, each
// quantity's counted and the first few named; and the year rows outside
// the period.
std::string change_note(const std::string &weather_file, const statistics_choice &choice,
                        const site_weather &weather);

// A warning for each calendar month with valid values of a quantity in
// fewer than the share of the period's years, naming those quantities and
// their years.
std::vector<std::string> normals_warnings(const std::string &weather_file,
                                          const statistics_choice &choice, float share,
                                          const weather_stats &ws);
