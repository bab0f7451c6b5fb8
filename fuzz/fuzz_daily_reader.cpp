// Fuzz target: the daily weather reader and the statistics over its tables;
// the vectorized line parser against the general one on every line, and the
// whole reading with it against the reading without it, as a run and as a
// check (with the audit) reads a file.
#include "audit/audit.h"
#include "daily_simd/daily_simd.h"
#include "site_line.h"
#include "target.h"
#include "wthr.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool same(const daily_record &a, const daily_record &b) {
    return a.month == b.month &&
           std::bit_cast<uint32_t>(a.tmax) == std::bit_cast<uint32_t>(b.tmax) &&
           std::bit_cast<uint32_t>(a.tmin) == std::bit_cast<uint32_t>(b.tmin) &&
           std::bit_cast<uint32_t>(a.prec) == std::bit_cast<uint32_t>(b.prec) && a.day == b.day &&
           a.year == b.year && a.day_of_year == b.day_of_year;
}

// The vector instruction sets this CPU has, each parser against the general one.
const simd_level vector_levels[] = {simd_level::avx2, simd_level::avx512};

void compare_parsers(const std::string &text) {
    for (simd_level level : vector_levels) {
        fast_daily_parser parser(level);
        if (parser.level != level)
            continue;
        // Each line twice, so that the second meets its layout in the cache.
        for (size_t start = 0, pass = 0; start < text.size(); pass ^= 1) {
            size_t end = text.find('\n', start);
            end = end == std::string::npos ? text.size() : end + 1;
            const std::string_view line(text.data() + start, end - start);
            daily_record fast, general;
            std::string fast_why, general_why;
            const parse_status a = parse_daily_line_fast(parser, line, fast, fast_why);
            const parse_status b = parse_daily_line(line, general, general_why);
            if (a != b || fast_why != general_why ||
                (a == parse_status::ok && !same(fast, general)))
                std::abort();
            if (pass == 1)
                start = end;
        }
    }
}

// Reads the whole text into the tables as a run does, or, given findings,
// as a check does: past bad lines, with the audit, whose findings it
// returns there; given days, the days of each month gathered there too.
// -2 when the text cannot be opened.
int read_text(std::string &text, simd_level level, month_table &prec, month_table &tmin,
              month_table &tmax, daily_error &err, std::string *findings = nullptr,
              daily_months *days = nullptr) {
    FILE *fp =
        text.empty() ? std::fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
    if (fp == nullptr)
        return -2;
    daily_problems problems;
    auto audit = start_daily_audit();
    daily_options how;
    how.all_bad = findings ? &problems : nullptr;
    how.listener = findings ? listener_of(audit.get()) : nullptr;
    how.simd = level;
    how.months = days;
    os::line_reader reader(fp, os::max_daily_line);
    const int last = process_daily_weather(reader, prec, tmin, tmax, err, how);
    std::fclose(fp);
    if (findings != nullptr) {
        site_line site;
        site.name = "fuzz";
        const audit_said said = audit_site(site, nullptr, audit.get(), last + 1, prec, tmin, tmax);
        *findings = std::to_string(problems.count);
        for (const std::string &w : said.warnings)
            *findings += w + "\n";
        *findings += said.summary;
    }
    return last;
}

// Whether two readings gathered the same days of each month.
bool same_months(const daily_months &a, const daily_months &b) {
    if (a.rows != b.rows)
        return false;
    for (int row = 0; row < a.rows; ++row) {
        if (a.row_year[row] != b.row_year[row])
            return false;
        for (int m = 0; m < months; ++m) {
            const month_days &x = a.cells[row][m], &y = b.cells[row][m];
            if (x.year != y.year || std::memcmp(x.valid, y.valid, sizeof x.valid) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static month_table prec, tmin, tmax, portable_prec, portable_tmin, portable_tmax;
    static daily_months days, portable_days;
    std::string text(reinterpret_cast<const char *>(data), size);
    compare_parsers(text);
    // The whole file, with runs of lines parsed together, against the
    // portable reader's line-by-line result, as a run and as a check reads it.
    const simd_level portable = simd_level::portable;
    daily_error portable_err, checked_err;
    std::string portable_findings;
    const int portable_checked = read_text(text, portable, portable_prec, portable_tmin,
                                           portable_tmax, checked_err, &portable_findings);
    const int portable_last = read_text(text, portable, portable_prec, portable_tmin, portable_tmax,
                                        portable_err, nullptr, &portable_days);
    for (simd_level level : vector_levels) {
        daily_error err;
        const int last = read_text(text, level, prec, tmin, tmax, err, nullptr, &days);
        if (last == -2)
            break;
        // The months' days are read from the lines' text where the vector
        // path took them, from the general parser's dates where not.
        if (last >= 0 && !same_months(days, portable_days))
            std::abort();
        if (last != portable_last || err.line != portable_err.line ||
            err.reason != portable_err.reason ||
            std::memcmp(prec, portable_prec, sizeof prec) != 0 ||
            std::memcmp(tmin, portable_tmin, sizeof tmin) != 0 ||
            std::memcmp(tmax, portable_tmax, sizeof tmax) != 0)
            std::abort();
        std::string findings;
        if (read_text(text, level, prec, tmin, tmax, err, &findings) != portable_checked ||
            findings != portable_findings)
            std::abort();
    }
    if (portable_last < -1 || portable_last >= max_years)
        std::abort();
    if (portable_last == -1 && (portable_err.line <= 0 || portable_err.reason.empty()))
        std::abort();
    if (portable_last >= 0) {
        float mean[months], dev[months], skew[months];
        stats(portable_last + 1, portable_prec, mean, dev, skew);
    }
    return 0;
}
