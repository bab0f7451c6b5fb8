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
