// CF units and time as gridded files write them: what a value of each
// precipitation and temperature unit is in mm and degrees C, and the real
// day and time of a time value in each calendar.
#include "cf_time.h"
#include "cf_units.h"
#include "table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct precipitation_case {
    const char *what, *units;
    double mm_a_day; // of a value of 1 over a day; 0: refused
};

TABLE_TEST(PrecipitationUnit, precipitation_case);

TEST_P(PrecipitationUnit, GivesMillimetresADay) {
    const precipitation_case &c = GetParam();
    import::cf::precipitation_unit unit;
    const bool known = import::cf::parse_precipitation_unit(c.units, unit);
    ASSERT_EQ(known, c.mm_a_day != 0) << c.units;
    if (known) {
        EXPECT_NEAR(unit.rate ? unit.mm * 86400 : unit.mm, c.mm_a_day, 1e-9 * c.mm_a_day);
    }
}

INSTANTIATE_TABLE(
    PrecipitationUnit, precipitation_case{"flux", "kg m-2 s-1", 86400},
    precipitation_case{"flux_with_slashes", "kg/m2/s", 86400},
    precipitation_case{"flux_with_powers", "kg m**-2 s^-1", 86400},
    precipitation_case{"mm_a_second", "mm s-1", 86400}, precipitation_case{"mm_a_day", "mm/day", 1},
    precipitation_case{"mm_d_1", "mm d-1", 1}, precipitation_case{"m_an_hour", "m/hr", 24000},
    precipitation_case{"amount_kg_m_2", "kg m-2", 1}, precipitation_case{"amount_m", "m", 1000},
    precipitation_case{"amount_cm", "cm", 10}, precipitation_case{"mass_alone", "kg", 0},
    precipitation_case{"an_acceleration", "mm s-2", 0}, precipitation_case{"a_temperature", "K", 0},
    precipitation_case{"a_word", "furlongs", 0}, precipitation_case{"nothing", "", 0});

struct temperature_case {
    const char *what, *units;
    double value, celsius; // NaN: refused
};

TABLE_TEST(TemperatureUnit, temperature_case);

TEST_P(TemperatureUnit, GivesDegreesCelsius) {
    const temperature_case &c = GetParam();
    import::cf::temperature_unit unit;
    const bool known = import::cf::parse_temperature_unit(c.units, unit);
    ASSERT_EQ(known, !std::isnan(c.celsius)) << c.units;
    if (known) {
        EXPECT_NEAR((c.value + unit.offset) * unit.scale, c.celsius, 1e-9);
    }
}

INSTANTIATE_TABLE(TemperatureUnit, temperature_case{"kelvin", "K", 273.15, 0},
                  temperature_case{"degC", "degC", 12.5, 12.5},
                  temperature_case{"degree_sign",
                                   "\xc2\xb0"
                                   "C",
                                   -3, -3},
                  temperature_case{"degree_Celsius", "degree_Celsius", 7, 7},
                  temperature_case{"fahrenheit", "degF", 212, 100},
                  temperature_case{"rankine", "degR", 0, std::nan("")},
                  temperature_case{"a_length", "m", 0, std::nan("")});

struct time_case {
    const char *what, *units, *calendar;
    double value;
    calendar_date real; // {0, 0, 0}: refused, or no real day
    double seconds;
};

TABLE_TEST(TimeValue, time_case);

// The real day and the seconds into it, in UTC.
TEST_P(TimeValue, FallsOnItsRealDay) {
    const time_case &c = GetParam();
    import::cf::calendar_kind kind;
    import::cf::time_axis axis;
    failure why = import::cf::parse_calendar(c.calendar, kind);
    if (!why.failed())
        why = import::cf::parse_time_units(c.units, kind, axis);
    const bool read = !why.failed();
    long long day = 0;
    const import::cf::moment m = read ? import::cf::moment_of(axis, c.value) : import::cf::moment{};
    if (!read || !import::cf::real_day(kind, m.day, day)) {
        EXPECT_EQ(c.real, calendar_date{}) << why.message;
        return;
    }
    EXPECT_EQ(import::cf::gregorian_date(day), c.real);
    EXPECT_EQ(m.seconds, c.seconds);
}

INSTANTIATE_TABLE(
    TimeValue, time_case{"days", "days since 2001-01-01", "", 0, {2001, 1, 1}, 0},
    time_case{
        "hours_from_noon", "hours since 2000-12-31 12:00:00", "standard", 12, {2001, 1, 1}, 0},
    time_case{"seconds_utc",
              "seconds since 1970-01-01T00:00:00Z",
              "gregorian",
              86400.0 * 365,
              {1971, 1, 1},
              0},
    time_case{"a_zone_west", "days since 2000-01-01 00:00 -6:00", "", 0.5, {2000, 1, 1}, 64800},
    time_case{"minutes_as_a_float_day", "days since 2001-03-01", "", 1.0f / 24, {2001, 3, 1}, 3600},
    time_case{"standard_across_1582", "days since 1582-10-04", "standard", 1, {1582, 10, 15}, 0},
    time_case{"proleptic_across_1582",
              "days since 1582-10-04",
              "proleptic_gregorian",
              1,
              {1582, 10, 5},
              0},
    time_case{"noleap_skips_february_29", "days since 2004-01-01", "noleap", 59, {2004, 3, 1}, 0},
    time_case{
        "all_leap_february_29_of_a_common_year", "days since 2001-01-01", "366_day", 59, {}, 0},
    time_case{"all_leap_march_1", "days since 2001-01-01", "all_leap", 60, {2001, 3, 1}, 0},
    // From an origin after February, the months of a 366-day year: April
    // 1 is day 91 of it, so 30 days on is May 1.
    time_case{"all_leap_from_april", "days since 2001-04-01", "all_leap", 30, {2001, 5, 1}, 0},
    time_case{"360_day_refused", "days since 2001-01-01", "360_day", 0, {}, 0},
    time_case{"months_refused", "months since 2001-01-01", "", 0, {}, 0});

struct method_case {
    const char *what, *cell_methods;
    std::vector<std::string> time_names; // the time's dimension, coordinate, standard name
    const char *method;                  // over time; empty: none stated
};

TABLE_TEST(TimeMethod, method_case);

TEST_P(TimeMethod, IsFoundByAnyNameOfTime) {
    const method_case &c = GetParam();
    EXPECT_EQ(import::cf::time_method(c.cell_methods, c.time_names), c.method);
}

INSTANTIATE_TABLE(
    TimeMethod, method_case{"by_dimension_day", "day: Sum", {"day", "time"}, "sum"},
    method_case{"by_standard_name", "area: mean time: minimum", {"day", "time", "day"}, "minimum"},
    // gridMET's and NARCCAP's: the comment against the method.
    method_case{
        "comment_against_the_method", "time: maximum(interval: 24 hours)", {"day"}, "maximum"},
    method_case{"comment_against_a_later_method",
                "area: mean(comment) time: mean(interval: 3 hours)",
                {"time"},
                "mean"},
    method_case{"other_dimension_only", "station: mean", {"day"}, ""});

} // namespace
