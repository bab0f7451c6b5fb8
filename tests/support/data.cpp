#include "batch_builder.h"
#include "calendar.h"

std::string site_row(const std::string &name, const char *values) {
    return name + values;
}

std::string daily_file(const daily_days &days, const day_line &line_of) {
    static const int length[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::string text;
    for (int y = days.first_year; y < days.first_year + days.years; ++y) {
        int day_of_year = 0;
        for (int m = 1; m <= 12; ++m) {
            const int in_month = days.days_a_month > 0
                                     ? days.days_a_month
                                     : length[m - 1] + (m == 2 && days.leap_days && is_leap(y));
            for (int d = 1; d <= in_month; ++d)
                text += line_of(y, m, d, ++day_of_year);
        }
    }
    return text;
}

std::string site_file(const std::string &tail, bool block_names) {
    static const char *const names[] = {"PRECIP", "PRCSTD", "PRCSKW", "TMN2M", "TMX2M"};
    std::string s = block_names ? "Site parameters\nClimate block\n"
                                : "Site parameters for a test plot\n'header line two'\n";
    for (int i = 0; i < 60; ++i)
        s += "0.0000            '" +
             (block_names ? std::string(names[i / 12]) + "(" + std::to_string(i % 12 + 1)
                          : "OLD(" + std::to_string(i + 1)) +
             ")'\n";
    return s + tail;
}

void write_usual_site(const scratch_dir &dir, const std::string &name) {
    dir.write(name + ".sfp", site_file("1 ELEV\n", false));
    dir.write(name + ".wth", year_of_days("20 5 1.5"));
}
