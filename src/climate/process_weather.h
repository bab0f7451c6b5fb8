// Daily weather lines to year-by-month tables: monthly mean maximum and
// minimum temperature and monthly precipitation total.
#pragma once

#include "daily_line.h"
#include "layout.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Where and why a daily weather file could not be read.
struct daily_error {
    long line = 0; // 0: the stream failed (reason holds the system's text)
    std::string reason;
};

// Fills the tables and returns the index of the last year row, or -1 when the
// file cannot be used (err says where and why).
int process_daily_weather(FILE *wthfp, month_table &prec, month_table &tmin, month_table &tmax,
                          daily_error &err);
// The same from a regular file's descriptor, read without a stream.
int process_daily_weather(int wthfd, month_table &prec, month_table &tmin, month_table &tmax,
                          daily_error &err);

// The bad lines of a whole daily file: how many, and the first few.
struct daily_problems {
    static constexpr int kept = 20;
    int count = 0;
    std::vector<daily_error> first;
};

// Who is handed a daily file's lines as they are read, besides the tables
// (the audit of a check).
struct daily_listener {
    // A non-blank line; day is nullptr for a bad line; date holds its date
    // fields where the parser found them (nullptr: read them from line).
    virtual void line(std::string_view line, const daily_record *day, long number,
                      const daily_date *date) = 0;

  protected:
    ~daily_listener() = default;
};

// The same reading. With all_bad, a bad line is counted there and skipped,
// so that a check sees every one; a read error or too many years still end
// the reading. Without it, the first bad line ends it, in err. With a
// listener, every non-blank line is also handed to it.
int read_daily_weather(FILE *wthfp, month_table &prec, month_table &tmin, month_table &tmax,
                       daily_error &err, daily_problems *all_bad,
                       daily_listener *listener = nullptr);
