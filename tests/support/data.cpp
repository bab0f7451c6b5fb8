#include "data.h"
#include "calendar.h"

#include <cstdio>

std::string site_row(const std::string &name, const char *values) {
    return name + values;
}

void for_each_day(const daily_days &days, const std::function<void(const file_day &)> &day_of) {
    for (int y = days.first_year; y < days.first_year + days.years; ++y) {
        int day_of_year = 0;
        for (int m = 1; m <= 12; ++m) {
            const int in_month = days.days_a_month > 0       ? days.days_a_month
                                 : m == 2 && !days.leap_days ? 28
                                                             : month_length(y, m);
            for (int d = 1; d <= in_month; ++d)
                day_of({d, m, y, ++day_of_year});
        }
    }
}

std::string day_line(const file_day &d, const std::string &values) {
    return std::to_string(d.day) + " " + std::to_string(d.month) + " " + std::to_string(d.year) +
           " " + std::to_string(d.day_of_year) + " " + values + "\n";
}

std::string daily_file(const daily_days &days, const day_values &values_of) {
    std::string text;
    for_each_day(days, [&](const file_day &d) {
        const std::string values = values_of(d);
        if (!values.empty())
            text += day_line(d, values);
    });
    return text;
}

std::string daily_file(const daily_days &days, const std::string &values) {
    return daily_file(days, [&values](const file_day &) { return values; });
}

static std::string site_file_named(const std::string &head, const std::string &tail,
                                   const std::function<std::string(int)> &name_of) {
    std::string s = head;
    for (int i = 0; i < 60; ++i)
        s += "0.0000            '" + name_of(i) + "'\n";
    return s + tail;
}

std::string site_file(const std::string &tail) {
    return site_file_named("Site parameters for a test plot\n'header line two'\n", tail,
                           [](int i) { return "OLD(" + std::to_string(i + 1) + ")"; });
}

std::string site_file_with_block_names(const std::string &tail) {
    static const char *const names[] = {"PRECIP", "PRCSTD", "PRCSKW", "TMN2M", "TMX2M"};
    return site_file_named("Site parameters\nClimate block\n", tail, [](int i) {
        return std::string(names[i / 12]) + "(" + std::to_string(i % 12 + 1) + ")";
    });
}

void write_usual_site(const scratch_dir &dir, const std::string &name) {
    dir.write(name + ".sfp", site_file("1 ELEV\n"));
    dir.write(name + ".wth", daily_file({.days_a_month = 3}, "20 5 1.5"));
}

std::string dly(const char *element, int year, int month, int day, int value) {
    std::string line = "USC00123456" + std::to_string(year) + (month < 10 ? "0" : "") +
                       std::to_string(month) + element;
    for (int d = 1; d <= 31; ++d) {
        char slot[16];
        std::snprintf(slot, sizeof slot, "%5d   ", d == day ? value : -9999);
        line += slot;
    }
    return line + "\n";
}
