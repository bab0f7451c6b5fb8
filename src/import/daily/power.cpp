// NASA POWER's daily point CSV: a header block with the place and the
// missing value, then a table of days by year and day of year (or month
// and day).
#include "reading.h"

namespace import {

namespace {

// POWER's header block: the place and the missing value.
std::string power_header(input &in, table &t, station_row &row) {
    while (in.next()) {
        if (trimmed(in.line) == "-END HEADER-")
            return std::string();
        const std::string low = lower(in.line);
        if (low.find("missing") != std::string::npos && in.line.rfind(':') != std::string::npos) {
            const std::string code(
                trimmed(std::string_view(in.line).substr(in.line.rfind(':') + 1)));
            if (!code.empty())
                t.missing.texts.push_back(code);
        }
        note_place(in.line, row);
    }
    return in.err != 0 ? read_failure(in)
                       : input_name(in.path) + ": the header block has no -END HEADER- line";
}

} // namespace

std::string read_power(input &in, const import_options &, wth_writer &writer, station_row &row) {
    table t;
    t.temp = temp_unit::celsius;
    t.prcp = prcp_unit::mm;
    t.missing.texts = {"-999"};
    while (t.header.empty() && in.next()) {
        if (trimmed(in.line).empty())
            continue;
        if (trimmed(in.line) == "-BEGIN HEADER-") {
            if (std::string why = power_header(in, t, row); !why.empty())
                return why;
            continue;
        }
        t.header = split_fields(in.line, ',');
    }
    if (t.header.empty())
        return in.err != 0 ? read_failure(in) : input_name(in.path) + ": no header row";
    std::string why = may_column(in, t, t.day_of_year, "DOY");
    if (why.empty())
        why = need_column(in, t, t.year, "YEAR");
    if (why.empty() && t.day_of_year < 0)
        why = need_column(in, t, t.month, "MO");
    if (why.empty() && t.day_of_year < 0)
        why = need_column(in, t, t.day, "DY");
    if (why.empty())
        why = need_column(in, t, t.value[tmax], "T2M_MAX");
    if (why.empty())
        why = need_column(in, t, t.value[tmin], "T2M_MIN");
    if (why.empty())
        why = may_column(in, t, t.value[prcp], "PRECTOTCORR");
    if (why.empty() && t.value[prcp] < 0)
        why = need_column(in, t, t.value[prcp], "PRECTOT");
    return why.empty() ? table_rows(in, t, writer) : why;
}

} // namespace import
