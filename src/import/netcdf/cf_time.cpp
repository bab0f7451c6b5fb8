// CF time: calendars, the units of a time coordinate, and the real days of
// its values.
#include "cf_time.h"

#include <cctype>
#include <cmath>

namespace import::cf {

namespace {

std::string lower_trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

constexpr int days_before[2][12] = {{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
                                    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

long long floor_div(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The Julian calendar's dates as days since the Gregorian 1970-01-01
// (through the Julian day number, 2440588 on that day).
long long julian_count(const calendar_date &d) {
    const long long a = (14 - d.month) / 12;
    const long long y = d.year + 4800 - a;
    const long long m = d.month + 12 * a - 3;
    return d.day + (153 * m + 2) / 5 + 365 * y + floor_div(y, 4) - 32083 - 2440588;
}

calendar_date julian_date(long long day) {
    const long long c = day + 2440588 + 32082;
    const long long d = floor_div(4 * c + 3, 1461);
    const long long e = c - floor_div(1461 * d, 4);
    const long long m = (5 * e + 2) / 153;
    return {static_cast<int>(d - 4800 + m / 10), static_cast<int>(m + 3 - 12 * (m / 10)),
            static_cast<int>(e - (153 * m + 2) / 5 + 1)};
}

// The day the standard calendar turns Gregorian: 1582-10-15.
const long long gregorian_start = day_number(1582, 10, 15);

// A model calendar of fixed years: days counted from its 1970-01-01.
long long fixed_year_count(const calendar_date &d, bool leap) {
    return (leap ? 366LL : 365LL) * (d.year - 1970) + days_before[leap][d.month - 1] + d.day - 1;
}

calendar_date fixed_year_date(long long day, bool leap) {
    const int length = leap ? 366 : 365;
    const long long years = floor_div(day, length);
    const int in_year = static_cast<int>(day - years * length);
    int month = 12;
    while (days_before[leap][month - 1] > in_year)
        --month;
    return {static_cast<int>(1970 + years), month, in_year - days_before[leap][month - 1] + 1};
}

bool julian_leap(long year) {
    return floor_div(year, 4) * 4 == year;
}

// Whether a date exists in the calendar.
bool exists(calendar_kind calendar, const calendar_date &d) {
    if (d.month < 1 || d.month > 12 || d.day < 1)
        return false;
    const int common_length = month_length(2001, d.month);
    switch (calendar) {
    case calendar_kind::noleap:
        return d.day <= common_length;
    case calendar_kind::all_leap:
        return d.day <= (d.month == 2 ? 29 : common_length);
    case calendar_kind::proleptic_gregorian:
        return d.day <= month_length(d.year, d.month);
    case calendar_kind::standard:
        if (d.year == 0)
            return false; // the standard calendar has no year 0
        if (d >= calendar_date{1582, 10, 15})
            return d.day <= month_length(d.year, d.month);
        if (d > calendar_date{1582, 10, 4})
            return false; // the ten days the switch left out
        return d.day <= (d.month == 2 && julian_leap(d.year) ? 29 : common_length);
    }
    return false;
}

// A cursor over the units text.
struct cursor {
    std::string_view text;
    size_t at = 0;

    bool done() const { return at >= text.size(); }
    char peek() const { return done() ? '\0' : text[at]; }
    bool skip_blanks() {
        const size_t from = at;
        while (!done() && std::isspace(static_cast<unsigned char>(text[at])))
            ++at;
        return at > from;
    }
    bool take(char c) {
        if (peek() != c)
            return false;
        ++at;
        return true;
    }
    // An unsigned number of min_digits to max_digits digits.
    bool number(long long &n, size_t min_digits, size_t max_digits) {
        size_t digits = 0;
        n = 0;
        while (!done() && std::isdigit(static_cast<unsigned char>(text[at])) &&
               digits < max_digits) {
            n = n * 10 + (text[at++] - '0');
            ++digits;
        }
        return digits >= min_digits;
    }
    std::string_view word() {
        const size_t from = at;
        while (!done() && std::isalpha(static_cast<unsigned char>(text[at])))
            ++at;
        return text.substr(from, at - from);
    }
};

bool unit_of(std::string_view word, double &seconds) {
    const std::string w = lower_trimmed(word);
    const struct {
        const char *names[5];
        double seconds;
    } units[] = {{{"days", "day", "d"}, 86400},
                 {{"hours", "hour", "hrs", "hr", "h"}, 3600},
                 {{"minutes", "minute", "mins", "min"}, 60},
                 {{"seconds", "second", "secs", "sec", "s"}, 1}};
    for (const auto &u : units)
        for (const char *name : u.names)
            if (name != nullptr && w == name) {
                seconds = u.seconds;
                return true;
            }
    return false;
}

// [-]Y-M-D
bool parse_date(cursor &c, calendar_date &d) {
    const bool negative = c.take('-');
    long long year = 0, month = 0, day = 0;
    if (!c.number(year, 1, 6) || !c.take('-') || !c.number(month, 1, 2) || !c.take('-') ||
        !c.number(day, 1, 2))
        return false;
    d = {static_cast<int>(negative ? -year : year), static_cast<int>(month), static_cast<int>(day)};
    return true;
}

// H:M[:S[.F]] into seconds.
bool parse_clock(cursor &c, double &seconds) {
    long long h = 0, m = 0, s = 0;
    if (!c.number(h, 1, 2) || !c.take(':') || !c.number(m, 1, 2) || h > 24 || m > 59)
        return false;
    double fraction = 0;
    if (c.take(':')) {
        if (!c.number(s, 1, 2) || s > 60)
            return false;
        if (c.take('.')) {
            double scale = 0.1;
            long long digit = 0;
            if (!c.number(digit, 1, 1))
                return false;
            for (fraction = static_cast<double>(digit) * scale; c.number(digit, 1, 1);)
                fraction += static_cast<double>(digit) * (scale /= 10);
        }
    }
    seconds = static_cast<double>(h * 3600 + m * 60 + s) + fraction;
    return true;
}

// Z, UTC, GMT, or [+-]H[H][:MM] or [+-]HHMM: the offset from UTC in seconds.
bool parse_zone(cursor &c, double &offset) {
    offset = 0;
    if (c.take('Z'))
        return true;
    const size_t from = c.at;
    const std::string word = lower_trimmed(c.word());
    if (word == "utc" || word == "gmt")
        return true;
    c.at = from;
    const int sign = c.take('-') ? -1 : (c.take('+'), 1);
    const size_t digits_from = c.at;
    long long hhmm = 0, minutes = 0;
    if (!c.number(hhmm, 1, 4))
        return false;
    const size_t digits = c.at - digits_from;
    long long hours = digits <= 2 ? hhmm : hhmm / 100;
    if (digits > 2)
        minutes = hhmm % 100;
    else if (c.take(':') && !c.number(minutes, 2, 2))
        return false;
    if (hours > 14 || minutes > 59)
        return false;
    offset = sign * static_cast<double>(hours * 3600 + minutes * 60);
    return true;
}

} // namespace

failure parse_calendar(std::string_view name, calendar_kind &kind) {
    const std::string n = lower_trimmed(name);
    if (n.empty() || n == "standard" || n == "gregorian")
        kind = calendar_kind::standard;
    else if (n == "proleptic_gregorian")
        kind = calendar_kind::proleptic_gregorian;
    else if (n == "noleap" || n == "365_day")
        kind = calendar_kind::noleap;
    else if (n == "all_leap" || n == "366_day")
        kind = calendar_kind::all_leap;
    else if (n == "360_day")
        return {"the 360_day calendar has twelve months of 30 days, days no real calendar has; "
                "its files are not read until a mapping to real days is chosen"};
    else
        return {"the calendar \"" + std::string(name) +
                "\" is not one this tool reads (standard, gregorian, proleptic_gregorian, "
                "noleap, 365_day, all_leap, 366_day)"};
    return {};
}

failure parse_time_units(std::string_view units, calendar_kind calendar, time_axis &axis) {
    cursor c{units};
    c.skip_blanks();
    const std::string_view word = c.word();
    const std::string these = "time units \"" + std::string(units) + "\" ";
    if (!unit_of(word, axis.unit_seconds))
        return {these + "are not days, hours, minutes or seconds since a date (months and years "
                        "have no fixed length)"};
    calendar_date date;
    double clock = 0, zone = 0;
    if (!c.skip_blanks() || lower_trimmed(c.word()) != "since" || !c.skip_blanks() ||
        !parse_date(c, date))
        return {these + "are not UNIT since YEAR-MONTH-DAY"};
    const bool separated = c.take('T') || c.skip_blanks();
    if (separated && std::isdigit(static_cast<unsigned char>(c.peek())) && !parse_clock(c, clock))
        return {these + "have a time of day that is not HOUR:MINUTE[:SECOND]"};
    c.skip_blanks();
    if (!c.done() && (!parse_zone(c, zone) || (c.skip_blanks(), !c.done())))
        return {these + "end in something that is not a time zone (Z, UTC, or an offset such as "
                        "-6:00)"};
    if (!exists(calendar, date))
        return {these + "name a date that the file's calendar does not have"};
    axis.calendar = calendar;
    axis.origin_day = day_count(calendar, date);
    axis.origin_seconds = clock - zone;
    return {};
}

moment moment_of(const time_axis &axis, double value) {
    // To the millisecond: a float's hour in days (0.041666668) is an hour.
    const double total = std::round((axis.origin_seconds + value * axis.unit_seconds) * 1000.0);
    const double days = std::floor(total / 86400000.0);
    return {axis.origin_day + static_cast<long long>(days), (total - days * 86400000.0) / 1000.0};
}

long long day_count(calendar_kind calendar, const calendar_date &d) {
    switch (calendar) {
    case calendar_kind::noleap:
        return fixed_year_count(d, false);
    case calendar_kind::all_leap:
        return fixed_year_count(d, true);
    case calendar_kind::standard:
        if (d < calendar_date{1582, 10, 15})
            return julian_count(d);
        [[fallthrough]];
    case calendar_kind::proleptic_gregorian:
        break;
    }
    return day_number(d.year, d.month, d.day);
}

calendar_date date_of_count(calendar_kind calendar, long long day) {
    switch (calendar) {
    case calendar_kind::noleap:
        return fixed_year_date(day, false);
    case calendar_kind::all_leap:
        return fixed_year_date(day, true);
    case calendar_kind::standard:
        if (day < gregorian_start)
            return julian_date(day);
        [[fallthrough]];
    case calendar_kind::proleptic_gregorian:
        break;
    }
    return gregorian_date(day);
}

bool real_day(calendar_kind calendar, long long day, long long &real) {
    if (calendar == calendar_kind::standard || calendar == calendar_kind::proleptic_gregorian) {
        real = day; // the same days, whatever their labels
        return true;
    }
    const calendar_date d = date_of_count(calendar, day);
    if (d.month == 2 && d.day == 29 && !is_leap(d.year))
        return false;
    real = day_number(d.year, d.month, d.day);
    return true;
}

calendar_date gregorian_date(long long day) {
    // Howard Hinnant's civil_from_days.
    day += 719468;
    const long long era = floor_div(day, 146097);
    const long long doe = day - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(yoe + era * 400 + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

} // namespace import::cf
