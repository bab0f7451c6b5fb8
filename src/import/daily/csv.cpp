// A plain CSV whose columns and units the user names.
#include "reading.h"

namespace import {

failure read_csv(input &in, const import_options &o, wth_writer &writer, station_row &) {
    table t;
    t.temp = o.temp;
    t.prcp = o.prcp;
    t.missing.texts = o.missing;
    t.delimiter = o.delimiter;
    t.blank_runs = o.blank_runs;
    t.missing_hint = true;
    while (t.header.empty() && in.next())
        if (!trimmed(in.line).empty())
            t.header = split_line(in.line, o.delimiter, o.blank_runs);
    if (t.header.empty())
        return {in.err != 0 ? read_failure(in) : input_name(in.path) + ": no header row"};
    const csv_columns &c = o.columns;
    std::vector<std::pair<int *, std::string>> wanted;
    if (!c.date.empty())
        wanted = {{&t.date, c.date}};
    else
        wanted = {{&t.year, c.year}, {&t.month, c.month}, {&t.day, c.day}};
    for (int q = 0; q < quantities; ++q)
        wanted.emplace_back(&t.value[q], c.value[q]);
    for (auto &[column, name] : wanted)
        if (failure f = need_column(in, t, *column, name); f.failed())
            return f;
    return table_rows(in, t, writer);
}

} // namespace import
