// Daymet's single-pixel CSV: a preamble with the place, then a table of
// days by year and day of year (1 to 365), in mm and degrees C.
#include "reading.h"

namespace import {

failure read_daymet(input &in, const import_options &, wth_writer &writer, station_row &row) {
    table t;
    t.daymet_days = true;
    t.temp = temp_unit::celsius;
    t.prcp = prcp_unit::mm;
    t.missing.texts = {"-9999"};
    while (t.header.empty() && in.next()) {
        const std::vector<std::string> f = split_fields(in.line, ',');
        if (!f.empty() && column_key(f[0]) == "year")
            t.header = f;
        else
            note_place(in.line, row);
    }
    if (t.header.empty())
        return {in.err != 0 ? read_failure(in)
                            : input_name(in.path) +
                                  ": no header row starting with year,yday: not a Daymet file"};
    for (auto [column, name] :
         {std::pair{&t.year, "year"}, std::pair{&t.day_of_year, "yday"},
          std::pair{&t.value[tmax], "tmax"}, std::pair{&t.value[tmin], "tmin"},
          std::pair{&t.value[prcp], "prcp"}})
        if (failure f = need_column(in, t, *column, name); f.failed())
            return f;
    return table_rows(in, t, writer);
}

} // namespace import
