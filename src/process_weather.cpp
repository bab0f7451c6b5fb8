// Daily weather lines to year-by-month tables.
#include "siteprep.h"

parse_status parse_daily_line(std::string_view line, daily_record &day, std::string &why) {
    return parse_status::blank;
}

int process_daily_weather(FILE *wthfp, month_table &prec, month_table &tmin, month_table &tmax,
                          daily_error &err) {
    return 0;
}
