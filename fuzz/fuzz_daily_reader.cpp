// Fuzz target: the daily weather reader and the statistics over its tables.
#include "siteprep.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static month_table prec, tmin, tmax;
    std::string text(reinterpret_cast<const char *>(data), size);
    FILE *fp = size == 0 ? std::fopen("/dev/null", "r") : fmemopen(text.data(), size, "r");
    if (fp == nullptr)
        return 0;
    daily_error err;
    const int last = process_daily_weather(fp, prec, tmin, tmax, err);
    std::fclose(fp);
    if (last < -1 || last >= max_years)
        std::abort();
    if (last == -1 && (err.line <= 0 || err.reason.empty()))
        std::abort();
    if (last >= 0) {
        float mean[months], dev[months], skew[months];
        stats(last + 1, prec, mean, dev, skew);
    }
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The statistics print their warnings; keep the fuzzer's output readable.
    return std::freopen("/dev/null", "w", stdout) == nullptr;
}
