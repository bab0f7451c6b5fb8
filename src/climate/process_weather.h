// Daily weather lines to year-by-month tables: monthly mean maximum and
// minimum temperature and monthly precipitation total.
#pragma once

#include "daily_line.h"
#include "daily_simd/daily_simd.h"
#include "layout.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where and why a daily weather file could not be read.
struct daily_error {
    long line = 0; // 0: the stream failed (reason holds the system's text)
    std::string reason;
};

// The quantities in the order of the statistics' counts.
enum stat_quantity { q_prec, q_tmin, q_tmax, stat_quantities };

// The days of one month of the tables, as the daily file gave them: bit
// d - 1 of valid[q] is set when day d has a valid value of quantity q.
struct month_days {
    uint32_t valid[stat_quantities] = {0, 0, 0};
    int year = 0; // the year field of its first day; 0: no day
};

// The days of every month of the tables, grouped as the tables are, and
// the year of each year row (the year field of its first day).
struct daily_months {
    int rows = 0;
    int row_year[max_years];
    month_days cells[max_years][months];
    // The calendar year of a cell.
    long year_of(int row, int month) const;
};

// The three year-by-month tables a daily file fills.
struct monthly_tables {
    month_table prec, tmin, tmax;
};

// The bad lines of a whole daily file: how many, and the first few.
struct daily_problems {
    static constexpr int kept = 20;
    int count = 0;
    std::vector<daily_error> first;
};

// Who is handed a daily file's lines as they are read, besides the tables
// (the audit of a check).
struct daily_listener {
    // A non-blank line; day, with its date, is nullptr for a bad line.
    virtual void line(std::string_view line, const daily_record *day, long number) = 0;
    // A run of good lines the vectorized parser read together, numbered
    // from first, each day with its date: each handed to line(), unless a
    // listener takes them at once (one call, not one a line).
    virtual void lines(const std::string_view *texts, const daily_record *days, size_t count,
                       long first) {
        for (size_t k = 0; k < count; ++k)
            line(texts[k], &days[k], first + static_cast<long>(k));
    }

    // Whether the days handed to lines() must carry their dates; one that
    // reads what it needs of them from the lines' text says no, and the
    // reader spares itself their parsing (line() always has them).
    virtual bool needs_dates() const { return true; }

  protected:
    ~daily_listener() = default;
};

// How a daily file is read besides filling the tables. With all_bad, a bad
// line is counted there and skipped, so that a check sees every one; a read
// error or too many years still end the reading. Without it, the first bad
// line ends it, in err. With a listener, every non-blank line is also
// handed to it. With months, the days of each month are gathered there as
// the tables group them (a change of the month field closes a month,
// December passes a year): each day's day of the month as its line gives
// it, and each month's and year row's year field of its first day. simd is
// the most the vectorized parser may use.
struct daily_options {
    daily_problems *all_bad = nullptr;
    daily_listener *listener = nullptr;
    daily_months *months = nullptr;
    simd_level simd = simd_level::avx512;
};

// Reads the daily file, line by line from wth, into the tables and returns
// the index of the last year row, or -1 when the file cannot be used (err
// says where and why).
int process_daily_weather(os::line_reader &wth, month_table &prec, month_table &tmin,
                          month_table &tmax, daily_error &err,
                          const daily_options &how = daily_options());
