// NASA POWER's daily point CSV: a header block with the place and the
// missing value, then a table of days by year and day of year (or month
// and day); or its JSON, told by its first character.
#include "reading.h"

namespace import {

namespace {

// POWER's header block: the place and the missing value.
failure power_header(input &in, table &t, station_row &row) {
    while (in.next()) {
        if (trimmed(in.line) == "-END HEADER-")
            return {};
        const std::string low = lower(in.line);
        if (low.find("missing") != std::string::npos && in.line.rfind(':') != std::string::npos) {
            const std::string code(
                trimmed(std::string_view(in.line).substr(in.line.rfind(':') + 1)));
            if (!code.empty())
                t.missing.texts.push_back(code);
        }
        note_place(in.line, row);
    }
    return {in.err != 0 ? read_failure(in)
                        : input_name(in.path) + ": the header block has no -END HEADER- line"};
}

// A JSON input, its first line read: the rest read whole.
failure read_json(input &in, wth_writer &writer, station_row &row) {
    std::string text = in.line;
    while (in.next())
        text += '\n' + in.line;
    if (in.err != 0)
        return {read_failure(in)};
    return read_power_json(in.path, text, writer, row);
}

} // namespace

failure read_power(input &in, const import_options &, wth_writer &writer, station_row &row) {
    table t;
    t.temp = temp_unit::celsius;
    t.prcp = prcp_unit::mm;
    t.missing.texts = {"-999"};
    while (t.header.empty() && in.next()) {
        if (trimmed(in.line).empty())
            continue;
        if (trimmed(in.line).starts_with('{')) // a JSON object
            return read_json(in, writer, row);
        if (trimmed(in.line) == "-BEGIN HEADER-") {
            if (failure f = power_header(in, t, row); f.failed())
                return f;
            continue;
        }
        t.header = split_fields(in.line, ',');
    }
    if (t.header.empty())
        return {in.err != 0 ? read_failure(in) : input_name(in.path) + ": no header row"};
    failure why = may_column(in, t, t.day_of_year, "DOY");
    if (!why.failed())
        why = need_column(in, t, t.year, "YEAR");
    if (!why.failed() && t.day_of_year < 0)
        why = need_column(in, t, t.month, "MO");
    if (!why.failed() && t.day_of_year < 0)
        why = need_column(in, t, t.day, "DY");
    if (!why.failed())
        why = need_column(in, t, t.value[tmax], "T2M_MAX");
    if (!why.failed())
        why = need_column(in, t, t.value[tmin], "T2M_MIN");
    if (!why.failed())
        why = may_column(in, t, t.value[prcp], "PRECTOTCORR");
    if (!why.failed() && t.value[prcp] < 0)
        why = need_column(in, t, t.value[prcp], "PRECTOT");
    return why.failed() ? why : table_rows(in, t, writer);
}

} // namespace import
