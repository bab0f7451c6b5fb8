// Fuzz target: the site keyword pass over an arbitrary site parameter file.
#include "create_site.h"
#include "fd.h"
#include "streams.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    oldfp = size == 0 ? std::fopen("/dev/null", "r") : fmemopen(text.data(), size, "r");
    char *out = nullptr;
    size_t out_size = 0;
    newfp = open_memstream(&out, &out_size);
    if (oldfp == nullptr || newfp == nullptr)
        std::abort();
    create_site(41.5f, -105.25f, 3.0f, 1530.0f);
    std::fclose(oldfp);
    if (close_output(newfp, false) != 0)
        std::abort();
    oldfp = newfp = nullptr;
    // Every line is either copied or replaced by one line.
    std::string result(out, out_size);
    std::free(out);
    const auto lines = [](const std::string &s) {
        return std::count(s.begin(), s.end(), '\n') + (!s.empty() && s.back() != '\n');
    };
    if (lines(result) != lines(text))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return std::freopen("/dev/null", "w", stdout) == nullptr;
}
