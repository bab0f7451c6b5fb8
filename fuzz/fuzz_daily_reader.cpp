// Fuzz target: the daily weather reader and the statistics over its tables;
// the vectorized line parser against the general one on every line, and the
// whole reading with it against the reading without it, as a run and as a
// check (with the audit) reads a file.
#include "audit.h"
#include "daily_simd.h"
#include "site_list.h"
#include "siteprep.h"
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
           std::bit_cast<uint32_t>(a.prec) == std::bit_cast<uint32_t>(b.prec);
}

// Each line twice, so that the second meets its layout in the cache.
void compare_parsers(const std::string &text) {
    fast_daily_parser parser;
    std::string padded;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        padded.assign(text, start, end - start);
        const size_t length = padded.size();
        padded.append(line_padding, '7');
        const std::string_view line(padded.data(), length);
        for (int pass = 0; pass < 2; ++pass) {
            daily_record fast, general;
            std::string fast_why, general_why;
            const parse_status a = parse_daily_line_fast(parser, line, true, fast, fast_why);
            const parse_status b = parse_daily_line(line, general, general_why);
            if (a != b || fast_why != general_why ||
                (a == parse_status::ok && !same(fast, general)))
                std::abort();
        }
        start = end;
    }
}

// Reads the whole text into the tables as a run does, or, given findings,
// as a check does: past bad lines, with the audit, whose findings it
// returns there. -2 when the text cannot be opened.
int read_text(std::string &text, month_table &prec, month_table &tmin, month_table &tmax,
              daily_error &err, std::string *findings = nullptr) {
    FILE *fp =
        text.empty() ? std::fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
    if (fp == nullptr)
        return -2;
    daily_problems problems;
    auto audit = start_daily_audit();
    const int last = read_daily_weather(fp, prec, tmin, tmax, err, findings ? &problems : nullptr,
                                        findings ? listener_of(audit.get()) : nullptr);
    std::fclose(fp);
    if (findings != nullptr) {
        site_line site;
        site.name = "fuzz";
        const audit_said said = audit_site(site, -1, audit.get(), last + 1, prec, tmin, tmax);
        *findings = std::to_string(problems.count);
        for (const std::string &w : said.warnings)
            *findings += w + "\n";
        *findings += said.summary;
    }
    return last;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static month_table prec, tmin, tmax, portable_prec, portable_tmin, portable_tmax;
    std::string text(reinterpret_cast<const char *>(data), size);
    compare_parsers(text);
    // The whole file, with runs of lines parsed together, against the
    // portable reader's line-by-line result.
    daily_simd_enabled = false;
    daily_error portable_err;
    const int portable_last =
        read_text(text, portable_prec, portable_tmin, portable_tmax, portable_err);
    daily_simd_enabled = true;
    daily_error err;
    const int last = read_text(text, prec, tmin, tmax, err);
    if (last == -2)
        return 0;
    if (last != portable_last || err.line != portable_err.line ||
        err.reason != portable_err.reason || std::memcmp(prec, portable_prec, sizeof prec) != 0 ||
        std::memcmp(tmin, portable_tmin, sizeof tmin) != 0 ||
        std::memcmp(tmax, portable_tmax, sizeof tmax) != 0)
        std::abort();
    if (last < -1 || last >= max_years)
        std::abort();
    if (last == -1 && (err.line <= 0 || err.reason.empty()))
        std::abort();
    if (last >= 0) {
        float mean[months], dev[months], skew[months];
        stats(last + 1, prec, mean, dev, skew);
    }
    // As a check reads it, with its audit, both ways.
    std::string findings, portable_findings;
    daily_simd_enabled = false;
    const int portable_checked = read_text(text, portable_prec, portable_tmin, portable_tmax,
                                           portable_err, &portable_findings);
    daily_simd_enabled = true;
    if (read_text(text, prec, tmin, tmax, err, &findings) != portable_checked ||
        findings != portable_findings)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The statistics print their warnings; keep the fuzzer's output readable.
    return std::freopen("/dev/null", "w", stdout) == nullptr;
}
