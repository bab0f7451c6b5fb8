// An import's input through the seam: its lines split at any line end
// however the reads fall, and a read that fails in the middle of a line
// told as the input's read failure, not as a bad line.
#include "data.h"
#include "formats.h"
#include "input.h"
#include "readers.h"
#include "sys_faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using os::sys::call;

// A plain CSV of years of days, past several blocks of the line reader.
std::string csv_of_days(const char *line_end) {
    std::string text = std::string("date,prcp,tmax,tmin") + line_end;
    for_each_day({1990, 12}, [&text, line_end](const file_day &d) {
        char row[64];
        std::snprintf(row, sizeof row, "%04d-%02d-%02d,%d.5,%d,%d%s", d.year, d.month, d.day,
                      d.day_of_year % 7, 10 + d.day_of_year % 20, d.day_of_year % 10, line_end);
        text += row;
    });
    return text;
}

import::import_options csv_options(){import::import_options o;
o.format = import::find_daily_format("csv");
o.prcp = import::prcp_unit::mm;
o.columns.date = "date";
o.columns.value[import::tmax] = "tmax";
o.columns.value[import::tmin] = "tmin";
o.columns.value[import::prcp] = "prcp";
return o;
} // namespace

// The daily file imported from text, or what failed.
std::string imported(const scratch_dir &dir, const std::string &text) {
    dir.write("in.csv", text);
    char *out = nullptr;
    size_t size = 0;
    os::out_stream wth(open_memstream(&out, &size));
    import::station_row row;
    const failure why = import::import_file(dir.file("in.csv"), csv_options(), wth, row);
    EXPECT_TRUE(wth.close());
    const std::string daily(out, size);
    std::free(out);
    return why.failed() ? why.message : daily;
}

TEST(ImportInput, AnyLineEndAndAnyReadsGiveTheSameDays) {
    scratch_dir dir;
    os::sys::clear_faults();
    const std::string expected = imported(dir, csv_of_days("\n"));
    ASSERT_EQ(expected.rfind("1 1 1990 1 ", 0), 0u) << expected.substr(0, 100);
    for (const char *line_end : {"\n", "\r\n", "\r"}) {
        for (const long short_reads : {0, 1000}) {
            os::sys::injected_fault fault(call::read, 1, os::sys::short_transfer, short_reads);
            const std::string got = imported(dir, csv_of_days(line_end));
            EXPECT_TRUE(got == expected) << static_cast<int>(line_end[0]) << " " << short_reads
                                         << ": " << got.substr(0, 100);
        }
    }
}

TEST(ImportInput, AReadFailureIsToldAsSuch) {
    scratch_dir dir;
    for (const long nth : {1, 2}) {
        os::sys::injected_fault fault(call::read, nth, EIO);
        EXPECT_EQ(imported(dir, csv_of_days("\n")), "Error reading " +
                                                        import::input_name(dir.file("in.csv")) +
                                                        ": " + std::strerror(EIO))
            << nth;
    }
}

} // namespace
