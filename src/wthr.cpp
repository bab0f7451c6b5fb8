// Monthly statistics and the weather block of a site parameter file.
#include "siteprep.h"

void stats(int years, const month_table &table, float mean[months], float deviation[months],
           float skewness[months]) {}

// Until the statistics exist, the site file is written back unchanged.
bool weather(FILE *wthfp, daily_error &err) {
    (void)wthfp;
    (void)err;
    line_reader reader(oldfp);
    std::string_view line;
    while (next_line(reader, line))
        put_text(newfp, line);
    return true;
}
