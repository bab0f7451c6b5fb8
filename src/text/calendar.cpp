// The Gregorian calendar.
#include "calendar.h"

bool is_real_date(const calendar_date &d) {
    return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= month_length(d.year, d.month);
}

bool date_of_day(int year, int day, calendar_date &d) {
    if (year < 1 || year > 9999 || day < 1)
        return false;
    for (int m = 1; m <= 12; ++m) {
        if (day <= month_length(year, m)) {
            d = {year, m, day};
            return true;
        }
        day -= month_length(year, m);
    }
    return false;
}

// After Howard Hinnant's civil_from_days, the inverse of day_number.
calendar_date date_of_number(long number) {
    number += 719468;
    const long era = (number >= 0 ? number : number - 146096) / 146097;
    const long doe = number - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long day = doy - (153 * mp + 2) / 5 + 1;
    const long month = mp < 10 ? mp + 3 : mp - 9;
    const long year = yoe + era * 400 + (month <= 2);
    return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}
